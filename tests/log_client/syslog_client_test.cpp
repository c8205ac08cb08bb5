// The client's bound: a TCP server that stops reading never holds a caller for long.
#include "log_client/syslog_client.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace mox::log_client {
namespace {

TEST(SyslogClient, ServerThatStopsReadingCostsAtMostTheBoundThenNothing) {
  // A listener whose connections are never accepted or read: the kernel takes bytes until its
  // buffers are full.
  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), size), 0);
  ASSERT_EQ(listen(listener, 4), 0);
  ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size), 0);

  ClientParams params;
  params.transport = Transport::kTcp;
  params.host = "127.0.0.1";
  params.port = ntohs(address.sin_port);
  const auto client = SyslogClient::Create(params);
  ASSERT_TRUE(client);

  using Clock = std::chrono::steady_clock;
  const std::string text(64 * 1024, 'x');
  const LogLine line{45352.5, "host", "mod", "", text};
  bool refused = false;
  for (int i = 0; i < 1000 && !refused; ++i) {
    const auto start = Clock::now();
    refused = !client->Send(line);
    EXPECT_LT(Clock::now() - start, kSendBound + std::chrono::milliseconds(300));
  }
  EXPECT_TRUE(refused);
  // Until the reconnect interval has passed, lines are refused without a wait.
  const auto start = Clock::now();
  EXPECT_FALSE(client->Send(line));
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(50));
  close(listener);
}

}  // namespace
}  // namespace mox::log_client
