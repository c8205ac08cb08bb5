// Sends log lines to one syslog server, safely from several threads at once, never waiting long.
#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <string>

#include "log_client/client_params.h"
#include "platform/socket.h"

namespace mox::log_client {

// The longest a Send may keep its caller.
constexpr std::chrono::milliseconds kSendBound{200};
// After a stream connection failed or dropped, lines are refused at once for this long before the
// next line tries to connect again, so a server that is down costs no wait on every line.
constexpr std::chrono::milliseconds kReconnectInterval{1000};

struct LogLine {
  double ole_date_local = 0.0;
  std::string_view host_exe_name;
  std::string_view module_name;
  std::string_view prefix;
  std::string_view text;
};

class SyslogClient {
 public:
  // A client for `params`, already connected when the server answered within the bound; nullptr
  // when the server's address cannot be resolved.
  static std::unique_ptr<SyslogClient> Create(const ClientParams& params);

  // True only when the whole message was handed to the transport within kSendBound.
  bool Send(const LogLine& line);

 private:
  SyslogClient(const ClientParams& params, platform::SocketAddress address);

  std::string Frame(const LogLine& line) const;
  // Needs mutex_. Connects when there is no connection and the reconnect interval has passed.
  bool EnsureConnected(platform::Deadline deadline);
  // Needs mutex_. Drops the connection and holds off the next attempt.
  void Disconnect();

  const ClientParams params_;
  const platform::SocketAddress address_;
  const platform::SocketKind kind_;
  const std::string host_name_;
  const long process_id_;

  std::timed_mutex mutex_;  // guards socket_ and next_connect_
  platform::Socket socket_;
  std::chrono::steady_clock::time_point next_connect_{};
};

}  // namespace mox::log_client
