#include <dlfcn.h>

#include "platform/dynamic_library.h"

namespace mox::platform {

void DynamicLibrary::Closer::operator()(void* handle) const noexcept {
  dlclose(handle);
}

DynamicLibrary DynamicLibrary::Open(const std::string& name) {
  DynamicLibrary library;
  library.handle_.reset(dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL));
  return library;
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

std::string DynamicLibrary::LastError() {
  const char* text = dlerror();
  return text ? text : "";
}

}  // namespace mox::platform
