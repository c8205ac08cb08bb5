// Shared libraries: run-time loading, as an owning handle, the names of the libraries the plug-in
// loads, and the conventions of the functions a library exports.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <string_view>

// Names and conventions that differ between the systems the plug-in is built for.
#if defined(_WIN32)
// The calling convention of functions exported by DLLs (__stdcall on 32-bit Windows; the only
// convention on 64-bit Windows).
#define MOX_SYSTEM_CALL __stdcall
// Marks one of the plug-in's exported functions.
#define MOX_EXPORT extern "C" __declspec(dllexport)
#else
#define MOX_SYSTEM_CALL
#define MOX_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace mox::platform {

class DynamicLibrary {
 public:
  DynamicLibrary() = default;

  // Loads `name`: a name with a directory part from that file, a bare name from the places
  // SearchPlaces() names, never from the working directory. Returns an empty library when loading
  // fails, and then the system's reason in `error` (when given), without the name in front.
  static DynamicLibrary Open(const std::string& name, std::string* error = nullptr);

  // Where Open looks for a bare name, for messages.
  static std::string SearchPlaces();

  explicit operator bool() const { return handle_ != nullptr; }

  // Address of the exported symbol `name`, or nullptr.
  void* Symbol(const char* name) const;

  // Typed form of Symbol for function pointers.
  template <typename Function>
  Function Get(const char* name) const {
    return reinterpret_cast<Function>(Symbol(name));
  }

  // Unloads now (also done by the destructor).
  void Close();

  // Keeps the already loaded library at `path` in memory until the process ends, whatever
  // unloads it later: for code that a thread left running may still execute. False when the
  // library is not loaded or the loader refused.
  static bool PinLoaded(const std::string& path) noexcept;

 private:
  struct Closer {
    void operator()(void* handle) const noexcept;
  };
  std::unique_ptr<void, Closer> handle_;
};

#if defined(_WIN32)
// The Firebird/InterBase client library: its classic name first, then the name current client
// installations use.
inline constexpr std::array<std::string_view, 2> kClientLibraryNames = {"gds32.dll",
                                                                        "fbclient.dll"};
// The log-server client library.
inline constexpr char kLogClientLibraryName[] = "LogClient.dll";
#else
inline constexpr std::array<std::string_view, 2> kClientLibraryNames = {"libfbclient.so.2",
                                                                        "libfbclient.so"};
inline constexpr char kLogClientLibraryName[] = "libLogClient.so";
#endif

}  // namespace mox::platform
