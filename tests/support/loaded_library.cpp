#include "support/loaded_library.h"

#include <dlfcn.h>

namespace mox::test {

bool IsLoaded(const std::string& library_path) {
  void* handle = dlopen(library_path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle == nullptr) return false;
  dlclose(handle);
  return true;
}

}  // namespace mox::test
