// The plug-in library as a host holds it: opened by path, its four exports looked up by name
// through the public header's function-pointer types, unloaded when the object goes.
#pragma once

#include <cstdint>
#include <string>

#include "apMoxSettingsManager.h"
#include "platform/dynamic_library.h"

namespace mox {

class PluginLibrary {
 public:
  PluginLibrary() = default;

  // Loads the library at `path` (a relative path counts from the working directory, as given to
  // the system's loader) and looks up the four exports. Returns an empty object when the library
  // cannot be loaded or lacks an export, and then why in `error` (when given).
  static PluginLibrary Open(const std::string& path, std::string* error = nullptr);

  explicit operator bool() const { return static_cast<bool>(library_); }

  // The exports, called as they are; only on a loaded library. Inline: the benchmarks time the
  // host's side of a call.
  void Init(const char** name, MoxReplyCallback callback, uint32_t user) const {
    init_(name, callback, user);
  }
  void GetName(const char** name) const { get_name_(name); }
  int32_t Command(int32_t tag, const void* payload, uint32_t length) const {
    return command_(tag, payload, length);
  }
  void Finalize() const { finalize_(); }

  // Unloads now (also done by the destructor).
  void Close();

 private:
  platform::DynamicLibrary library_;
  MoxInitPluginFunction init_ = nullptr;
  MoxGetNamePluginFunction get_name_ = nullptr;
  MoxCommandPluginFunction command_ = nullptr;
  MoxFinalizePluginFunction finalize_ = nullptr;
};

}  // namespace mox
