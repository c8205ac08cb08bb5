// Run-time loading of shared libraries, as an owning handle.
#pragma once

#include <memory>
#include <string>

namespace mox::platform {

class DynamicLibrary {
 public:
  DynamicLibrary() = default;

  // Loads `name` through the system's normal library search (a name with a directory part is
  // taken as a path). Returns an empty library when loading fails.
  static DynamicLibrary Open(const std::string& name);

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

  // The loader's last error text, for messages.
  static std::string LastError();

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
