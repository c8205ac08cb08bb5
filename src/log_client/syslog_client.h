// Sends log lines to one syslog server, safely from several threads at once, never waiting long.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "base/thread_annotations.h"
#include "log_client/client_params.h"
#include "platform/socket.h"

namespace mox::log_client {

// The longest a Send may keep its caller.
constexpr std::chrono::milliseconds kSendBound{200};
// After a failed connect or send on any transport, or a dropped stream, lines are refused at once
// for this long before the next line tries a new socket, so a server that is down or stalled costs
// no wait on every line.
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
  // when the server's address cannot be resolved. `hold_off` replaces kReconnectInterval (tests).
  static std::unique_ptr<SyslogClient> Create(
      const ClientParams& params, std::chrono::milliseconds hold_off = kReconnectInterval);

  // True only when the whole message was handed to the transport within kSendBound.
  bool Send(const LogLine& line);

 private:
  SyslogClient(const ClientParams& params, platform::SocketAddress address,
               std::chrono::milliseconds hold_off);

  std::string Frame(const LogLine& line) const;
  // Each of the following needs the turn (or the client not yet shared).
  // Connects when there is no connection and the reconnect interval has passed.
  bool EnsureConnected(platform::Deadline deadline);
  bool SendFrame(const std::string& frame, platform::Deadline deadline);
  // Drops the socket and holds off the next attempt.
  void Disconnect();

  // One sender at a time has the turn, and owns socket_ and next_connect_; the others wait for it
  // until their deadline. (A condition variable rather than a timed mutex: ThreadSanitizer follows
  // it.)
  class Turn;
  Mutex turn_mutex_;
  CondVar turn_free_;
  bool turn_taken_ GUARDED_BY(turn_mutex_) = false;

  const ClientParams params_;
  const platform::SocketAddress address_;
  const platform::SocketKind kind_;
  const std::chrono::milliseconds hold_off_;
  const std::string host_name_;
  const long process_id_;

  platform::Socket socket_;
  std::chrono::steady_clock::time_point next_connect_{};
};

}  // namespace mox::log_client
