#include "log_client/syslog_client.h"

#include "log_client/ole_date.h"
#include "log_client/syslog_message.h"
#include "platform/clock.h"
#include "platform/process.h"

namespace mox::log_client {
namespace {

using Clock = std::chrono::steady_clock;

std::optional<platform::SocketAddress> Resolve(const ClientParams& params) {
  if (params.transport == Transport::kUnix) return platform::UnixSocketAddress(params.path);
  const auto kind = params.transport == Transport::kTcp ? platform::SocketKind::kStream
                                                        : platform::SocketKind::kDatagram;
  return platform::ResolveInetAddress(params.host, params.port, kind);
}

}  // namespace

// The turn at the socket, taken for the life of the object if `Taken()`.
class SyslogClient::Turn {
 public:
  Turn(SyslogClient& client, platform::Deadline deadline) : client_(client) {
    MutexLock lock(client_.turn_mutex_);
    while (client_.turn_taken_ && client_.turn_free_.WaitUntil(client_.turn_mutex_, deadline)) {
    }
    taken_ = !client_.turn_taken_;
    if (taken_) client_.turn_taken_ = true;
  }
  ~Turn() {
    if (!taken_) return;
    {
      const MutexLock lock(client_.turn_mutex_);
      client_.turn_taken_ = false;
    }
    client_.turn_free_.NotifyOne();
  }
  Turn(const Turn&) = delete;
  Turn& operator=(const Turn&) = delete;

  bool Taken() const { return taken_; }

 private:
  SyslogClient& client_;
  bool taken_ = false;
};

std::unique_ptr<SyslogClient> SyslogClient::Create(const ClientParams& params,
                                                   std::chrono::milliseconds hold_off) {
  auto address = Resolve(params);
  if (!address) return nullptr;
  std::unique_ptr<SyslogClient> client(new SyslogClient(params, std::move(*address), hold_off));
  client->EnsureConnected(Clock::now() + kSendBound);
  return client;
}

SyslogClient::SyslogClient(const ClientParams& params, platform::SocketAddress address,
                           std::chrono::milliseconds hold_off)
    : params_(params),
      address_(std::move(address)),
      // /dev/log and the UDP port take datagrams; only tcp:// is a stream.
      kind_(params.transport == Transport::kTcp ? platform::SocketKind::kStream
                                                : platform::SocketKind::kDatagram),
      hold_off_(hold_off),
      host_name_(platform::HostName()),
      process_id_(platform::ProcessId()) {}

std::string SyslogClient::Frame(const LogLine& line) const {
  SyslogFields fields;
  fields.facility = params_.facility;
  fields.time = FromOleAutomationDate(line.ole_date_local);
  if (fields.time) fields.utc_offset_minutes = platform::UtcOffsetMinutes(*fields.time);
  fields.host_name = host_name_;
  fields.app_name = params_.app_name.empty() ? line.host_exe_name : params_.app_name;
  fields.process_id = process_id_;
  fields.msg_id = line.module_name;
  fields.prefix = line.prefix;
  fields.text = line.text;
  std::string message = FormatSyslogMessage(fields);
  if (kind_ == platform::SocketKind::kDatagram) return message;
  // Octet counting: the length in decimal, a space, the message.
  return std::to_string(message.size()) + ' ' + message;
}

bool SyslogClient::EnsureConnected(platform::Deadline deadline) {
  if (socket_.IsOpen() && kind_ == platform::SocketKind::kStream && socket_.PeerClosed()) {
    Disconnect();  // the line that notices the drop is refused; a later one connects again
    return false;
  }
  if (socket_.IsOpen()) return true;
  if (Clock::now() < next_connect_) return false;
  socket_ = platform::Socket::Connect(address_, kind_, deadline);
  if (!socket_.IsOpen()) next_connect_ = Clock::now() + hold_off_;
  return socket_.IsOpen();
}

void SyslogClient::Disconnect() {
  socket_.Close();
  next_connect_ = Clock::now() + hold_off_;
}

bool SyslogClient::Send(const LogLine& line) {
  const auto deadline = Clock::now() + kSendBound;
  const std::string frame = Frame(line);
  const Turn turn(*this, deadline);
  return turn.Taken() && SendFrame(frame, deadline);
}

bool SyslogClient::SendFrame(const std::string& frame, platform::Deadline deadline) {
  if (!EnsureConnected(deadline)) return false;
  if (socket_.SendAll(frame, deadline)) return true;
  // Every transport is held off after a failure, so a receiver that stops reading costs the wait
  // once per hold-off rather than on every line. A new socket then follows the receiver: a stream
  // that took part of a frame is out of step with its reader, a Unix socket stays bound to a
  // receiver that has gone even when a new one listens at the path, and a UDP port reported
  // unreachable may have a server again.
  Disconnect();
  return false;
}

}  // namespace mox::log_client
