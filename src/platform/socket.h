// Connected sockets with bounded waits, for sending log lines to a syslog server.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace mox::platform {

using Deadline = std::chrono::steady_clock::time_point;

enum class SocketKind { kDatagram, kStream };

// An address a socket can connect to: IPv4, IPv6 or a Unix-domain path. Opaque outside platform/.
struct SocketAddress {
  std::vector<std::byte> bytes;
};

// The address of `host` (a name or a numeric address) and `port`; nullopt when it cannot be
// resolved. May block while a name is looked up.
std::optional<SocketAddress> ResolveInetAddress(const std::string& host, int port, SocketKind kind);

// The address of the Unix-domain socket at `path`; nullopt when the path is too long.
std::optional<SocketAddress> UnixSocketAddress(const std::string& path);

// One connected, non-blocking socket; closed when destroyed.
class Socket {
 public:
  Socket() = default;
  ~Socket() { Close(); }
  Socket(Socket&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Socket& operator=(Socket&& other) noexcept {
    if (this != &other) {
      Close();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  // A socket of `kind` connected to `address`, or a closed one when that failed or took until
  // `deadline`.
  static Socket Connect(const SocketAddress& address, SocketKind kind, Deadline deadline);

  bool IsOpen() const { return fd_ >= 0; }

  // Sends all of `data` (one datagram, or bytes on a stream) before `deadline`. False on any
  // error or when the deadline passed; a stream may then have sent part of it.
  bool SendAll(std::string_view data, Deadline deadline);

  // For a stream: true when the peer has closed or reset the connection, as far as is known
  // without waiting.
  bool PeerClosed() const;

  void Close();

 private:
  // A POSIX descriptor or a Winsock SOCKET (whose INVALID_SOCKET is -1 here); -1 when closed.
  explicit Socket(std::intptr_t fd) : fd_(fd) {}
  std::intptr_t fd_ = -1;
};

}  // namespace mox::platform
