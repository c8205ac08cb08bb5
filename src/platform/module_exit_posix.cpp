#include <cxxabi.h>

#include "platform/module_exit.h"

// Provided by the toolchain's start files for every module: the handle that ties exit handlers
// to the module they belong to.
extern "C" void* __dso_handle;

namespace mox::platform {
namespace {

void CallHandler(void* handler) {
  reinterpret_cast<void (*)()>(handler)();
}

}  // namespace

bool AtModuleExit(void (*handler)()) noexcept {
  return abi::__cxa_atexit(&CallHandler, reinterpret_cast<void*>(handler), &__dso_handle) == 0;
}

}  // namespace mox::platform
