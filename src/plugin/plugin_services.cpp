// The worker's services wired to the real subsystems. Kept out of worker/ so that the worker
// depends on none of them, and a binary that builds a worker on other services never links them.
#include "plugin/plugin_services.h"

#include <algorithm>

#include "config/settings.h"
#include "log/program_log.h"
#include "platform/dynamic_library.h"
#include "platform/module_path.h"
#include "plugin/plugin_name.h"

namespace mox {
namespace {

class ServicesOfThePlugin final : public WorkerServices {
 public:
  void InitSettings() override { mox::InitSettings(); }
  std::size_t QueueLimit() noexcept override {
    return static_cast<std::size_t>(std::max(0, mox::gQueueMaxCommands));
  }
  std::size_t QueueByteLimit() noexcept override {
    return static_cast<std::size_t>(std::max(0, mox::gQueueMaxBytes));
  }
  std::size_t MaxCommandBytes() noexcept override {
    return mox::gQueueMaxCommandBytes > 0 ? static_cast<std::size_t>(mox::gQueueMaxCommandBytes)
                                          : kDefaultMaxCommandBytes;
  }
  void KeepLibraryLoaded() noexcept override {
    platform::DynamicLibrary::PinLoaded(platform::ThisModulePath());
  }
  void WriteLog(std::string_view text) noexcept override { mox::WriteLog(text); }
  void WriteProtocol(std::string_view text) noexcept override { mox::WriteProtocol(text); }
  const char* PluginName() noexcept override { return mox::PluginName(); }
};

// At namespace scope, so that it is made when the library loads and goes only with the library's
// other globals, after every exit handler that may still stop a worker using it.
constinit ServicesOfThePlugin gPluginServices;

}  // namespace

WorkerServices& PluginServices() {
  return gPluginServices;
}

}  // namespace mox
