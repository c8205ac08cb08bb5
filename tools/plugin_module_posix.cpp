// The plug-in module and the executable's folder on POSIX systems (dlopen).
#include <dlfcn.h>
#include <unistd.h>

#include <system_error>

#include "tools/plugin_module.h"
#include "tools/settings_file_report.h"

namespace mox::host {

const char* const kDefaultPluginFileName = "apMoxSettingsManager.so";
const char* const kExamplePluginPath = "/opt/host/plugins/apMoxSettingsManager.so";
const char* const kExamplePluginCopy = "./apMoxSettingsManager_Office2.so";
const char* const kArgumentQuote = "'";
const char* const kQuoteInsideArgument = "\"";

std::string SettingsFileAccessLine(const std::filesystem::path& file) {
  std::error_code ignored;
  return SettingsFileModeLine(file, std::filesystem::status(file, ignored).permissions());
}

namespace {

template <typename Function>
bool Resolve(void* handle, const char* name, Function& target, std::string* error) {
  void* address = dlsym(handle, name);
  if (address == nullptr) {
    if (error) *error = std::string("the library has no export ") + name;
    return false;
  }
  target = reinterpret_cast<Function>(address);
  return true;
}

}  // namespace

void PluginModule::Closer::operator()(void* handle) const {
  dlclose(handle);
}

std::optional<PluginModule> PluginModule::Load(const std::filesystem::path& path,
                                               std::string* error) {
  std::unique_ptr<void, Closer> handle(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL));
  if (!handle) {
    const char* reason = dlerror();
    if (error) *error = reason ? reason : "dlopen failed";
    return std::nullopt;
  }
  PluginApi api;
  if (!Resolve(handle.get(), "Init_Plugin", api.init, error) ||
      !Resolve(handle.get(), "GetName_Plugin", api.get_name, error) ||
      !Resolve(handle.get(), "Command_Plugin", api.command, error) ||
      !Resolve(handle.get(), "Finalize_Plugin", api.finalize, error))
    return std::nullopt;
  return PluginModule(std::move(handle), api);
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}

std::filesystem::path PathFromText(const std::string& text) {
  return text;
}

std::filesystem::path ExecutableDirectory() {
  std::error_code ignored;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ignored);
  return exe.empty() ? exe : exe.parent_path();
}

std::tm LocalCalendar(std::time_t t) {
  std::tm local{};
  localtime_r(&t, &local);
  return local;
}

bool StdinIsTerminal() {
  return isatty(STDIN_FILENO) == 1;
}

}  // namespace mox::host
