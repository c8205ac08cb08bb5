#include "log_client/syslog_client.h"

#include <gtest/gtest.h>
#include <netinet/in.h>

#include <atomic>
#include <thread>
#include <vector>

namespace mox::log_client {
namespace {

TEST(SyslogClient, ServerThatStopsReadingCostsAtMostTheBoundThenNothing) {
  // Connections to this listener are never accepted: the kernel takes bytes until its buffers fill.
  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
  socklen_t size = sizeof address;
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), size), 0);
  ASSERT_EQ(listen(listener, 4), 0);
  ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size), 0);
  const auto client = SyslogClient::Create(
      *ParseClientParams("tcp://127.0.0.1:" + std::to_string(ntohs(address.sin_port))));
  ASSERT_TRUE(client);

  // Several threads at once (ThreadSanitizer builds watch this): every short line is taken.
  std::atomic<int> taken = 0;
  std::vector<std::jthread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 50; ++i) taken += client->Send({45352.5, "host", "mod", "", "short"});
    });
  }
  threads.clear();
  EXPECT_EQ(taken, 200);

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
  const auto start = Clock::now();  // within the reconnect interval: refused without a wait
  EXPECT_FALSE(client->Send(line));
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(50));
  close(listener);
}

}  // namespace
}  // namespace mox::log_client
