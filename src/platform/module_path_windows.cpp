#include <windows.h>

#include <string>

#include "platform/system_detail.h"

namespace mox::platform::detail {
namespace {

// An address inside this DLL, for GetModuleHandleExA.
void AnchorInThisModule() {}

std::string ModuleFileName(HMODULE module) {
  std::string buffer(MAX_PATH, '\0');
  for (;;) {
    const DWORD n = GetModuleFileNameA(module, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    // A full buffer means the name was cut: try again with more room.
    if (n < buffer.size()) return buffer.substr(0, n);
    if (buffer.size() >= 32768) return {};
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace

std::string SystemModulePath() {
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCSTR>(&AnchorInThisModule), &module)) {
    return {};
  }
  return ModuleFileName(module);
}

std::string SystemExecutablePath() {
  return ModuleFileName(nullptr);
}

}  // namespace mox::platform::detail
