#include <windows.h>

#include "platform/dynamic_library.h"

namespace mox::platform {

void DynamicLibrary::Closer::operator()(void* handle) const noexcept {
  FreeLibrary(static_cast<HMODULE>(handle));
}

DynamicLibrary DynamicLibrary::Open(const std::string& name) {
  DynamicLibrary library;
  // No "missing DLL" dialog box in a service: a failure is only reported. Set for this thread
  // only, so that the host's other threads keep their mode.
  DWORD old_mode = 0;
  const bool mode_set = SetThreadErrorMode(SEM_FAILCRITICALERRORS, &old_mode) != FALSE;
  library.handle_.reset(LoadLibraryA(name.c_str()));
  const DWORD error = GetLastError();
  if (mode_set) SetThreadErrorMode(old_mode, nullptr);
  SetLastError(error);
  return library;
}

void* DynamicLibrary::Symbol(const char* name) const {
  return handle_
             ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_.get()), name))
             : nullptr;
}

void DynamicLibrary::Close() {
  handle_.reset();
}

bool DynamicLibrary::PinLoaded(const std::string& path) noexcept {
  HMODULE module = nullptr;
  return !path.empty() &&
         GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_PIN, path.c_str(), &module) != FALSE;
}

std::string DynamicLibrary::LastError() {
  const DWORD error = GetLastError();
  if (error == 0) return {};
  char* text = nullptr;
  const DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
  std::string result = n > 0 && text != nullptr ? std::string(text, n) : std::string();
  LocalFree(text);
  while (!result.empty() && (result.back() == '\n' || result.back() == '\r')) result.pop_back();
  return result.empty() ? "error " + std::to_string(error) : result;
}

}  // namespace mox::platform
