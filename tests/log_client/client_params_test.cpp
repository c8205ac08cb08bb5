#include "log_client/client_params.h"

#include <gtest/gtest.h>

namespace mox::log_client {
namespace {

TEST(ClientParams, ReadsTransportsAndOptionsAndRefusesTheRest) {
  const struct {
    const char* text;
    Transport transport;
    const char* host_or_path;
    int port;
    const char* app_name;
    int facility;
  } cases[] = {
      {"udp://127.0.0.1:514", Transport::kUdp, "127.0.0.1", 514, "", 1},
      {"udp://loghost", Transport::kUdp, "loghost", 514, "", 1},
      {"tcp://[::1]", Transport::kTcp, "::1", 601, "", 1},
      {"tcp://[::1]:10514;app=svc;facility=local0", Transport::kTcp, "::1", 10514, "svc", 16},
      {" unix:/dev/log ; facility = 3 ;app=a b", Transport::kUnix, "/dev/log", 0, "a b", 3}};
  for (const auto& c : cases) {
    const auto params = ParseClientParams(c.text);
    ASSERT_TRUE(params) << c.text;
    EXPECT_EQ(params->transport, c.transport) << c.text;
    EXPECT_EQ(c.transport == Transport::kUnix ? params->path : params->host, c.host_or_path);
    EXPECT_EQ(params->port, c.port) << c.text;
    EXPECT_EQ(params->app_name, c.app_name) << c.text;
    EXPECT_EQ(params->facility, c.facility) << c.text;
  }
  for (const char* text : {"", "127.0.0.1:514", "http://h:1", "udp://", "udp://h:", "udp://h:0",
                           "udp://h:65536", "udp://h:5x", "udp://::1:514", "tcp://[::1",
                           "unix:", "unix:dev/log", "udp://h;app=", "udp://h;facility=local8",
                           "udp://h;facility=24", "udp://h;level=3", "udp://h;app"}) {
    EXPECT_FALSE(ParseClientParams(text)) << text;
  }
}

}  // namespace
}  // namespace mox::log_client
