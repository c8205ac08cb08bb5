#include <windows.h>

#include <array>

#include "platform/host_identity.h"

namespace mox::platform {

// The DNS host name, as a syslog server expects it; gethostname would need Winsock started.
std::string HostName() {
  std::array<char, 256> name{};
  DWORD size = name.size();
  if (!GetComputerNameExA(ComputerNameDnsHostname, name.data(), &size)) return {};
  return std::string(name.data(), size);
}

long ProcessId() {
  return static_cast<long>(GetCurrentProcessId());
}

}  // namespace mox::platform
