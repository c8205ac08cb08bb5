// Run-time loading of shared libraries, as an owning handle.
#pragma once

#include <memory>
#include <string>

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

}  // namespace mox::platform
