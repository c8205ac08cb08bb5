#include "platform/socket.h"

#include <utility>

namespace mox::platform {

Socket::~Socket() {
  Close();
}

Socket::Socket(Socket&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

Socket& Socket::operator=(Socket&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

}  // namespace mox::platform
