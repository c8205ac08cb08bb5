#include "tcp_proxy.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace mox::test {
namespace {

[[noreturn]] void ThrowErrno(const char* what) {
  throw std::system_error(errno, std::generic_category(), what);
}

sockaddr_in Loopback(uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

int ConnectToTarget(uint16_t port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  const sockaddr_in address = Loopback(port);
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  const int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return fd;
}

}  // namespace

TcpProxy::TcpProxy(uint16_t target_port) : target_port_(target_port) {
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener_ < 0) ThrowErrno("socket");
  const int one = 1;
  setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address = Loopback(0);
  socklen_t size = sizeof address;
  if (bind(listener_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener_, 16) != 0 ||
      getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    const int error = errno;
    close(listener_);
    throw std::system_error(error, std::generic_category(), "listen");
  }
  port_ = ntohs(address.sin_port);
  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC | O_NONBLOCK) != 0) {
    const int error = errno;
    close(listener_);
    throw std::system_error(error, std::generic_category(), "pipe");
  }
  wake_read_ = pipe_fds[0];
  wake_write_ = pipe_fds[1];
  thread_ = std::thread([this] { Run(); });
}

TcpProxy::~TcpProxy() {
  {
    std::lock_guard lock(lock_);
    stopping_ = true;
  }
  Wake();
  thread_.join();
  close(listener_);
  close(wake_read_);
  close(wake_write_);
}

void TcpProxy::SetStalled(bool stalled) {
  {
    std::lock_guard lock(lock_);
    stalled_ = stalled;
  }
  Wake();
}

void TcpProxy::CutAll() {
  Ask(Request::kCut);
}

void TcpProxy::ResetAll() {
  Ask(Request::kReset);
}

void TcpProxy::Ask(Request request) {
  std::unique_lock lock(lock_);
  done_.wait(lock, [this] { return request_ == Request::kNone; });
  request_ = request;
  lock.unlock();
  Wake();
  lock.lock();
  done_.wait(lock, [this] { return request_ == Request::kNone || stopping_; });
}

int TcpProxy::Accepted() {
  std::lock_guard lock(lock_);
  return accepted_;
}

int TcpProxy::Open() {
  std::lock_guard lock(lock_);
  return open_;
}

void TcpProxy::Wake() {
  const char byte = 1;
  // A full pipe already holds a wake-up.
  [[maybe_unused]] const auto written = write(wake_write_, &byte, 1);
}

void TcpProxy::CloseLink(Link& link, bool reset) {
  for (int fd : {link.client, link.server}) {
    if (fd < 0) continue;
    if (reset) {
      const linger abort{1, 0};
      setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    } else {
      shutdown(fd, SHUT_RDWR);
    }
    close(fd);
  }
  link.client = link.server = -1;
}

bool TcpProxy::Pump(int from, int to) {
  char buffer[64 * 1024];
  const ssize_t got = recv(from, buffer, sizeof buffer, MSG_DONTWAIT);
  if (got == 0) return false;
  if (got < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
  // The far side's receive buffer may be full: a blocking send keeps the byte order and only
  // waits as long as the peer reads, which a forwarding peer does.
  ssize_t sent = 0;
  while (sent < got) {
    const ssize_t n = send(to, buffer + sent, static_cast<size_t>(got - sent), MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    sent += n;
  }
  return true;
}

void TcpProxy::Run() {
  for (;;) {
    bool stalled = false;
    {
      std::lock_guard lock(lock_);
      if (stopping_) break;
      stalled = stalled_;
      if (request_ != Request::kNone) {
        for (Link& link : links_) CloseLink(link, request_ == Request::kReset);
        links_.clear();
        open_ = 0;
        request_ = Request::kNone;
        done_.notify_all();
      }
    }

    std::vector<pollfd> fds;
    fds.push_back({wake_read_, POLLIN, 0});
    if (!stalled) {
      fds.push_back({listener_, POLLIN, 0});
      for (const Link& link : links_) {
        fds.push_back({link.client, POLLIN, 0});
        fds.push_back({link.server, POLLIN, 0});
      }
    }
    if (poll(fds.data(), fds.size(), 1000) < 0) continue;
    if (fds[0].revents != 0) {
      char drain[64];
      while (read(wake_read_, drain, sizeof drain) > 0) {
      }
    }
    if (stalled) continue;

    if (fds[1].revents & POLLIN) {
      const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client >= 0) {
        const int one = 1;
        setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        const int server = ConnectToTarget(target_port_);
        std::lock_guard lock(lock_);
        ++accepted_;
        if (server < 0) {
          // The server is down: the client sees its connection refused after the fact.
          Link refused{client, -1};
          CloseLink(refused, true);
        } else {
          links_.push_back({client, server});
          ++open_;
        }
      }
    }
    // Links are polled in the order they were pushed, two entries each, from index 2.
    std::size_t index = 2;
    for (std::size_t i = 0; i < links_.size() && index + 1 < fds.size(); ++i, index += 2) {
      Link& link = links_[i];
      const bool client_ok =
          !(fds[index].revents & (POLLIN | POLLHUP | POLLERR)) || Pump(link.client, link.server);
      const bool server_ok = !(fds[index + 1].revents & (POLLIN | POLLHUP | POLLERR)) ||
                             Pump(link.server, link.client);
      if (!client_ok || !server_ok) CloseLink(link, false);
    }
    std::lock_guard lock(lock_);
    std::erase_if(links_, [](const Link& link) { return link.client < 0; });
    open_ = static_cast<int>(links_.size());
  }
  for (Link& link : links_) CloseLink(link, false);
  links_.clear();
  std::lock_guard lock(lock_);
  open_ = 0;
  done_.notify_all();
}

}  // namespace mox::test
