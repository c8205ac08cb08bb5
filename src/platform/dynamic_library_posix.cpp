#include <dlfcn.h>

#include "platform/dynamic_library.h"
#include "platform/file_system.h"
#include "platform/process.h"

namespace mox::platform {

void DynamicLibrary::Closer::operator()(void* handle) const noexcept {
  dlclose(handle);
}

DynamicLibrary DynamicLibrary::Open(const std::string& name, std::string* error) {
  DynamicLibrary library;
  // A bare name is looked for in LD_LIBRARY_PATH, the calling library's run path ($ORIGIN for the
  // plug-in, with no empty entry, which the loader would read as the working directory) and the
  // system's folders.
  library.handle_.reset(dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL));
  if (!library && error != nullptr) {
    const char* text = dlerror();
    std::string reason = text != nullptr ? text : "unknown error";
    // dlerror() puts the name as given in front; the caller names the library itself.
    const std::string prefix = name + ": ";
    if (reason.starts_with(prefix)) reason.erase(0, prefix.size());
    *error = std::move(reason);
  }
  return library;
}

std::string DynamicLibrary::SearchPlaces() {
  // In the loader's order.
  return "LD_LIBRARY_PATH, " + DirectoryPart(ThisModulePath()) +
         " (the plug-in's run path) and the system's library folders";
}

void* DynamicLibrary::Symbol(const char* name) const {
  return handle_ ? dlsym(handle_.get(), name) : nullptr;
}

void DynamicLibrary::Close() {
  handle_.reset();
}

bool DynamicLibrary::PinLoaded(const std::string& path) noexcept {
  // The handle is never closed: with RTLD_NODELETE the library stays whatever happens to it.
  return !path.empty() && dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE) != nullptr;
}

}  // namespace mox::platform
