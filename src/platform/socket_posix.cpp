#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/socket.h"

namespace mox::platform {
namespace {

int SocketType(SocketKind kind) {
  return kind == SocketKind::kStream ? SOCK_STREAM : SOCK_DGRAM;
}

// Milliseconds left until `deadline`, at least 0.
int MillisecondsLeft(Deadline deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Waits until `fd` is ready for `events` or the deadline passes; false on time-out or error.
bool WaitFor(int fd, short events, Deadline deadline) {
  for (;;) {
    pollfd entry{fd, events, 0};
    const int ready = poll(&entry, 1, MillisecondsLeft(deadline));
    if (ready > 0) return true;
    if (ready == 0 || errno != EINTR) return false;
  }
}

SocketAddress FromRaw(const void* raw, std::size_t size) {
  SocketAddress address;
  address.bytes.resize(size);
  std::memcpy(address.bytes.data(), raw, size);
  return address;
}

}  // namespace

std::optional<SocketAddress> ResolveInetAddress(const std::string& host, int port,
                                                SocketKind kind) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SocketType(kind);
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 ||
      found == nullptr) {
    return std::nullopt;
  }
  SocketAddress address = FromRaw(found->ai_addr, found->ai_addrlen);
  freeaddrinfo(found);
  return address;
}

std::optional<SocketAddress> UnixSocketAddress(const std::string& path) {
  sockaddr_un raw{};
  if (path.empty() || path.size() >= sizeof raw.sun_path) return std::nullopt;
  raw.sun_family = AF_UNIX;
  std::memcpy(raw.sun_path, path.data(), path.size());
  return FromRaw(&raw, sizeof raw);
}

void Socket::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

Socket Socket::Connect(const SocketAddress& address, SocketKind kind, Deadline deadline) {
  if (address.bytes.size() < sizeof(sa_family_t)) return {};
  sockaddr_storage raw{};
  if (address.bytes.size() > sizeof raw) return {};
  std::memcpy(&raw, address.bytes.data(), address.bytes.size());
  const auto raw_size = static_cast<socklen_t>(address.bytes.size());

  Socket socket(::socket(raw.ss_family, SocketType(kind) | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!socket.IsOpen()) return {};
  if (::connect(socket.fd_, reinterpret_cast<const sockaddr*>(&raw), raw_size) == 0) return socket;
  if (errno != EINPROGRESS && errno != EAGAIN) return {};
  if (!WaitFor(socket.fd_, POLLOUT, deadline)) return {};
  int error = 0;
  socklen_t error_size = sizeof error;
  if (getsockopt(socket.fd_, SOL_SOCKET, SO_ERROR, &error, &error_size) != 0 || error != 0) {
    return {};
  }
  return socket;
}

bool Socket::SendAll(std::string_view data, Deadline deadline) {
  if (!IsOpen()) return false;
  while (!data.empty()) {
    const ssize_t sent = ::send(fd_, data.data(), data.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent >= 0) {
      data.remove_prefix(static_cast<std::size_t>(sent));
      continue;
    }
    if (errno == EINTR) continue;
    if ((errno != EAGAIN && errno != EWOULDBLOCK) || !WaitFor(fd_, POLLOUT, deadline)) {
      return false;
    }
  }
  return true;
}

bool Socket::PeerClosed() const {
  if (!IsOpen()) return true;
  char byte = 0;
  const ssize_t peeked = ::recv(fd_, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
  if (peeked > 0) return false;
  if (peeked == 0) return true;
  return errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR;
}

}  // namespace mox::platform
