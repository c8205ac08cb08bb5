// The worker's services wired to the real subsystems. Kept out of worker/ so that the worker
// depends on none of them, and a binary that builds a worker on other services never links them.
#include "plugin/plugin_services.h"

#include <optional>

#include "config/settings.h"
#include "log/program_log.h"
#include "platform/dynamic_library.h"
#include "platform/process.h"
#include "plugin/plugin_name.h"

namespace mox {
namespace {

class ServicesOfThePlugin final : public WorkerServices {
 public:
  Settings LoadSettings() override {
    // Read over what the last initialisation read, so that a key missing from the file keeps its
    // value; what was read stays even when writing the file back fails.
    Settings& settings = last_settings_ ? *last_settings_ : last_settings_.emplace();
    InitSettings(SettingsFilePath(platform::ThisModulePath()), settings);
    return settings;
  }
  void KeepLibraryLoaded() noexcept override {
    platform::DynamicLibrary::PinLoaded(platform::ThisModulePath());
  }
  void Log(std::string_view text) noexcept override { mox::WriteLog(text); }
  void LogDetail(std::string_view text) noexcept override { mox::WriteProtocol(text); }
  bool DetailOn() noexcept override { return mox::ProtocolOn(); }
  const char* PluginName() noexcept override { return mox::PluginName(); }

  void ForgetSettings() noexcept { last_settings_.reset(); }

 private:
  // Only Init_Plugin uses it, which never runs concurrently with another export.
  std::optional<Settings> last_settings_;
};

// At namespace scope, so that it is made when the library loads and goes only with the library's
// other globals, after every exit handler that may still stop a worker using it.
constinit ServicesOfThePlugin gPluginServices;

}  // namespace

WorkerServices& PluginServices() {
  return gPluginServices;
}

void ForgetPluginSettings() noexcept {
  gPluginServices.ForgetSettings();
}

}  // namespace mox
