#include <windows.h>

#include <string>

#include "platform/system_detail.h"
#include "platform/text_encoding_windows.h"

namespace mox::platform::detail {
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

std::string SystemExecutablePath() {
  return ModuleFileName(nullptr);
}

}  // namespace mox::platform::detail
