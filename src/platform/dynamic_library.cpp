#include "platform/dynamic_library.h"

#include <dlfcn.h>

namespace mox::platform {

void DynamicLibrary::Closer::operator()(void* handle) const noexcept { dlclose(handle); }

DynamicLibrary DynamicLibrary::Open(const std::string& name) {
  DynamicLibrary library;
  library.handle_.reset(dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL));
  return library;
}

void* DynamicLibrary::Symbol(const char* name) const {
  return handle_ ? dlsym(handle_.get(), name) : nullptr;
}

void DynamicLibrary::Close() { handle_.reset(); }

std::string DynamicLibrary::LastError() {
  const char* text = dlerror();
  return text ? text : "";
}

}  // namespace mox::platform
