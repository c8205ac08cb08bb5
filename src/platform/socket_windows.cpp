#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cstring>

#include "platform/socket.h"

namespace mox::platform {
namespace {

// Winsock is started once, on first use (never from DllMain), and left started: other code in
// the process may use it too, and it goes with the process.
bool WinsockStarted() {
  static const bool started = [] {
    WSADATA data{};
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}

int SocketType(SocketKind kind) {
  return kind == SocketKind::kStream ? SOCK_STREAM : SOCK_DGRAM;
}

SOCKET Native(std::intptr_t fd) {
  return static_cast<SOCKET>(fd);
}

// Waits until `fd` is writable (a connect finished, or room to send) or the deadline passes;
// false on time-out, error or a failed connect. select rather than WSAPoll: WSAPoll does not
// report a refused connection on every Windows version.
bool WaitWritable(SOCKET fd, Deadline deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
      deadline - std::chrono::steady_clock::now());
  const long long micros = left.count() > 0 ? left.count() : 0;
  timeval timeout{static_cast<long>(micros / 1'000'000), static_cast<long>(micros % 1'000'000)};
  fd_set writable;
  fd_set failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(fd, &writable);
  FD_SET(fd, &failed);
  if (select(0, nullptr, &writable, &failed, &timeout) <= 0) return false;
  return FD_ISSET(fd, &writable) && !FD_ISSET(fd, &failed);
}

}  // namespace

std::optional<SocketAddress> ResolveInetAddress(const std::string& host, int port,
                                                SocketKind kind) {
  if (!WinsockStarted()) return std::nullopt;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SocketType(kind);
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 ||
      found == nullptr) {
    return std::nullopt;
  }
  SocketAddress address;
  address.bytes.resize(found->ai_addrlen);
  std::memcpy(address.bytes.data(), found->ai_addr, found->ai_addrlen);
  freeaddrinfo(found);
  return address;
}

// Windows has no syslog socket to write to: unix: parameters are refused.
std::optional<SocketAddress> UnixSocketAddress(const std::string& /*path*/) {
  return std::nullopt;
}

void Socket::Close() {
  if (fd_ >= 0) closesocket(Native(fd_));
  fd_ = -1;
}

Socket Socket::Connect(const SocketAddress& address, SocketKind kind, Deadline deadline) {
  if (!WinsockStarted()) return {};
  sockaddr_storage raw{};
  if (address.bytes.size() < sizeof raw.ss_family || address.bytes.size() > sizeof raw) return {};
  std::memcpy(&raw, address.bytes.data(), address.bytes.size());
  const auto raw_size = static_cast<int>(address.bytes.size());

  // Not inherited by processes the host starts.
  const SOCKET native = WSASocketW(raw.ss_family, SocketType(kind), 0, nullptr, 0,
                                   WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
  if (native == INVALID_SOCKET) return {};
  Socket socket(static_cast<std::intptr_t>(native));
  u_long non_blocking = 1;
  if (ioctlsocket(native, FIONBIO, &non_blocking) != 0) return {};
  if (::connect(native, reinterpret_cast<const sockaddr*>(&raw), raw_size) == 0) return socket;
  if (WSAGetLastError() != WSAEWOULDBLOCK) return {};
  if (!WaitWritable(native, deadline)) return {};
  return socket;
}

bool Socket::SendAll(std::string_view data, Deadline deadline) {
  if (!IsOpen()) return false;
  while (!data.empty()) {
    const int chunk = static_cast<int>(std::min<std::size_t>(data.size(), 1 << 30));
    const int sent = ::send(Native(fd_), data.data(), chunk, 0);
    if (sent >= 0) {
      data.remove_prefix(static_cast<std::size_t>(sent));
      continue;
    }
    if (WSAGetLastError() != WSAEWOULDBLOCK || !WaitWritable(Native(fd_), deadline)) return false;
  }
  return true;
}

bool Socket::PeerClosed() const {
  if (!IsOpen()) return true;
  char byte = 0;
  const int peeked = ::recv(Native(fd_), &byte, 1, MSG_PEEK);
  if (peeked > 0) return false;
  if (peeked == 0) return true;
  return WSAGetLastError() != WSAEWOULDBLOCK;
}

}  // namespace mox::platform
