#include "log/log_names.h"

#include "platform/process.h"

namespace mox {
namespace {

// Written only while the library loads or unloads.
MOX_INIT_BEFORE_LOAD_STEP std::string gHostExeName;
MOX_INIT_BEFORE_LOAD_STEP std::string gModuleName;

}  // namespace

void SetLogNames(std::string host_exe_name, std::string module_name) {
  gHostExeName = std::move(host_exe_name);
  gModuleName = std::move(module_name);
}

void ClearUniLogNames() noexcept {
  gHostExeName.clear();
  gModuleName.clear();
}

const std::string& HostExeName() {
  return gHostExeName;
}

const std::string& ModuleName() {
  return gModuleName;
}

}  // namespace mox
