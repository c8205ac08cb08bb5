#include <windows.h>

#include <initializer_list>

#include "platform/dynamic_library.h"
#include "platform/file_system.h"
#include "platform/process.h"

namespace mox::platform {
namespace {

// A bare name is looked for in the host executable's folder, then in the system folder: never in
// the working directory nor in PATH, where anyone may have put a DLL of that name.
constexpr DWORD kBareNameSearch =
    LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32;
// A path is that file; its own dependencies come from its folder and the system folder.
constexpr DWORD kPathSearch = LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32;

constexpr const char* kOwnBitness = sizeof(void*) == 8 ? "64-bit" : "32-bit";

std::string SystemDirectory() {
  wchar_t buffer[MAX_PATH];
  const UINT n = GetSystemDirectoryW(buffer, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return {};
  const std::optional<std::string> folder = Utf8FromWide(std::wstring_view(buffer, n));
  return folder ? *folder + '\\' : std::string();
}

bool IsNotFound(DWORD error) {
  return error == ERROR_MOD_NOT_FOUND || error == ERROR_FILE_NOT_FOUND ||
         error == ERROR_PATH_NOT_FOUND;
}

HMODULE LoadWide(const std::string& path, DWORD flags) {
  const std::optional<std::wstring> wide = WidePath(path);
  return wide ? LoadLibraryExW(wide->c_str(), nullptr, flags) : nullptr;
}

HMODULE Load(const std::string& name, bool bare) {
  HMODULE module = LoadWide(name, bare ? kBareNameSearch : kPathSearch);
  if (module != nullptr || GetLastError() != ERROR_INVALID_PARAMETER) return module;
  // A Windows older than 8 without update KB2533623 knows none of these flags. Then only full
  // paths are loaded, and a bare name is the file in the host's folder, then in the system folder.
  if (!bare) return LoadWide(name, LOAD_WITH_ALTERED_SEARCH_PATH);
  DWORD error = ERROR_MOD_NOT_FOUND;
  for (const std::string& folder : {DirectoryPart(HostExecutablePath()), SystemDirectory()}) {
    if (folder.empty()) continue;
    module = LoadWide(folder + name, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (module != nullptr) return module;
    // The reason worth telling is a file found but refused, not its absence from a folder.
    if (IsNotFound(error)) error = GetLastError();
  }
  SetLastError(error);
  return nullptr;
}

// "error 126 (<the system's text for 126>)", and for error 193 what it means here.
std::string Reason(DWORD error) {
  std::string reason = "error " + std::to_string(error);
  char* text = nullptr;
  const DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
  std::string message = n > 0 && text != nullptr ? std::string(text, n) : std::string();
  LocalFree(text);
  while (!message.empty() &&
         (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) {
    message.pop_back();
  }
  if (!message.empty()) reason += " (" + message + ")";
  if (error == ERROR_BAD_EXE_FORMAT) {
    reason += ", built for another architecture: this DLL is ";
    reason += kOwnBitness;
  }
  return reason;
}

}  // namespace

void DynamicLibrary::Closer::operator()(void* handle) const noexcept {
  FreeLibrary(static_cast<HMODULE>(handle));
}

DynamicLibrary DynamicLibrary::Open(const std::string& name, std::string* error) {
  DynamicLibrary library;
  // No "missing DLL" dialog box in a service: a failure is only reported. Set for this thread
  // only, so that the host's other threads keep their mode.
  DWORD old_mode = 0;
  const bool mode_set = SetThreadErrorMode(SEM_FAILCRITICALERRORS, &old_mode) != FALSE;
  library.handle_.reset(Load(name, DirectoryPart(name).empty()));
  const DWORD load_error = GetLastError();
  if (mode_set) SetThreadErrorMode(old_mode, nullptr);
  if (!library && error != nullptr) *error = Reason(load_error);
  return library;
}

std::string DynamicLibrary::SearchPlaces() {
  return DirectoryPart(HostExecutablePath()) + " (the host's folder) and " + SystemDirectory() +
         " (the system folder)";
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
  if (path.empty()) return false;
  try {
    const std::optional<std::wstring> wide = WidePath(path);
    return wide &&
           GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN, wide->c_str(), &module) != FALSE;
  } catch (...) {
    // No memory for the wide path.
    return false;
  }
}

}  // namespace mox::platform
