// The parameter text of the log client: where to send and how to label the messages.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace mox::log_client {

enum class Transport { kUdp, kTcp, kUnix };

struct ClientParams {
  Transport transport = Transport::kUdp;
  std::string host;      // kUdp, kTcp
  int port = 0;          // kUdp, kTcp
  std::string path;      // kUnix
  std::string app_name;  // empty: the host executable's name
  int facility = 1;      // user
};

// Reads "udp://HOST[:PORT]", "tcp://HOST[:PORT]" or "unix:/PATH", each optionally followed by
// ";app=NAME" and ";facility=NAME-OR-NUMBER" (kern, user, ..., local0..local7, or 0..23).
// An IPv6 host is written in brackets. The ports default to 514 (udp) and 601 (tcp). Spaces
// around the parts are ignored. nullopt for anything else.
std::optional<ClientParams> ParseClientParams(std::string_view text);

}  // namespace mox::log_client
