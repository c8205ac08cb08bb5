// The process and this module: the Windows side.
#include <windows.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <string>

#include "platform/file_system.h"
#include "platform/process.h"

namespace mox::platform {

// Paths of the module and the executable.

namespace detail {
namespace {

// An address inside this DLL, for GetModuleHandleExW.
void AnchorInThisModule() {}

// The module's path in UTF-8: the wide name holds any character, where the ANSI one would turn
// those its code page lacks into "?". A name that is not UTF-16 counts as unknown.
std::string ModuleFileName(HMODULE module) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    // A full buffer means the name was cut: try again with more room.
    if (n < buffer.size()) return Utf8FromWide(std::wstring_view(buffer).substr(0, n)).value_or("");
    if (buffer.size() >= 32768) return {};
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace

std::string SystemModulePath() {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&AnchorInThisModule), &module)) {
    return {};
  }
  return ModuleFileName(module);
}
}  // namespace detail

std::string HostExecutablePath() {
  return detail::ModuleFileName(nullptr);
}

// Exit handlers.

// In a DLL, the C runtime keeps an exit table of its own: atexit handlers run when the DLL is
// unloaded, or at process exit when it is still loaded then.
bool AtModuleExit(void (*handler)()) noexcept {
  return std::atexit(handler) == 0;
}

// Process exit.

namespace {

constinit std::atomic<bool> gOtherThreadsEnded{false};

}  // namespace

bool OtherThreadsEndedByProcessExit() noexcept {
  return gOtherThreadsEnded.load();
}

void MarkOtherThreadsEndedByProcessExit() noexcept {
  gOtherThreadsEnded.store(true);
}

// Host identity.

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

// Heap.

void ReturnFreeMemoryToSystem() noexcept {
  // Coalesces the free blocks of the process heap and releases what it can.
  HeapCompact(GetProcessHeap(), 0);
}

}  // namespace mox::platform
