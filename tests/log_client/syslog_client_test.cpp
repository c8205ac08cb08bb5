#include "log_client/syslog_client.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/un.h>

#include <atomic>
#include <thread>
#include <vector>

#include "support/temp_dir.h"

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

TEST(SyslogClient, DatagramReceiverThatIsAwayOrStallsHoldsLinesOffThenIsReachedAgain) {
  const LogLine line{45352.5, "host", "mod", "", "line"};
  // UDP to a closed port: the send that reports the ICMP answer to an earlier datagram is refused,
  // and the next line within the hold-off too.
  const int closed = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
  socklen_t size = sizeof address;
  ASSERT_EQ(bind(closed, reinterpret_cast<sockaddr*>(&address), size), 0);
  ASSERT_EQ(getsockname(closed, reinterpret_cast<sockaddr*>(&address), &size), 0);
  close(closed);
  const auto udp = SyslogClient::Create(
      *ParseClientParams("udp://127.0.0.1:" + std::to_string(ntohs(address.sin_port))));
  int sent = 0;
  while (sent < 100 && udp->Send(line)) ++sent, usleep(10'000);
  EXPECT_LT(sent, 100);
  EXPECT_FALSE(udp->Send(line));

  // A Unix receiver that stops reading, then one bound anew at the same path.
  test::TempDir temp;
  const std::string path = temp.File("log.sock");
  const auto bind_receiver = [&] {
    unlink(path.c_str());
    sockaddr_un unix_address{AF_UNIX, {}};
    path.copy(unix_address.sun_path, path.size());
    const int fd = socket(AF_UNIX, SOCK_DGRAM, 0);
    EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&unix_address), sizeof unix_address), 0);
    return fd;
  };
  int receiver = bind_receiver();
  constexpr std::chrono::milliseconds kHoldOff{500};
  const auto client = SyslogClient::Create(*ParseClientParams("unix:" + path), kHoldOff);
  for (int i = 0; i < 100000 && client->Send(line); ++i) continue;  // fills the receiver's queue
  char buffer[256];
  while (recv(receiver, buffer, sizeof buffer, MSG_DONTWAIT) > 0) continue;
  // The receiver has room again, but within the hold-off lines are refused without a send.
  for (int i = 0; i < 5; ++i) EXPECT_FALSE(client->Send(line));
  EXPECT_LT(recv(receiver, buffer, sizeof buffer, MSG_DONTWAIT), 0);
  std::this_thread::sleep_for(kHoldOff);
  EXPECT_TRUE(client->Send(line));
  close(receiver);
  receiver = bind_receiver();
  EXPECT_FALSE(client->Send(line));  // the old socket is tied to the receiver that went
  std::this_thread::sleep_for(kHoldOff);
  EXPECT_TRUE(client->Send(line));
  EXPECT_GT(recv(receiver, buffer, sizeof buffer, MSG_DONTWAIT), 0);
  close(receiver);
}

}  // namespace
}  // namespace mox::log_client
