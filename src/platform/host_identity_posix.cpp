#include "platform/host_identity.h"

#include <unistd.h>

#include <array>

namespace mox::platform {

std::string HostName() {
  std::array<char, 256> name{};
  if (gethostname(name.data(), name.size() - 1) != 0) return {};
  return name.data();
}

long ProcessId() {
  return static_cast<long>(getpid());
}

}  // namespace mox::platform
