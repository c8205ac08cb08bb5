// The plug-in module and the executable's folder on Windows (LoadLibraryA).
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "tools/plugin_module.h"

namespace mox::host {

const char* const kDefaultPluginFileName = "apMoxSettingsManager.dll";
const char* const kExamplePluginPath = "C:\\Host\\Plugins\\apMoxSettingsManager.dll";
const char* const kExamplePluginCopy = ".\\apMoxSettingsManager_Office2.dll";
const char* const kArgumentQuote = "\"";
const char* const kQuoteInsideArgument = "\\\"";

std::string SettingsFileAccessLine(const std::filesystem::path& file) {
  return "  access: set by the file's access control list; it holds the password, so only the "
         "host service's account and administrators should read it (icacls \"" +
         file.string() + "\" shows who may)\n";
}

namespace {

template <typename Function>
bool Resolve(HMODULE module, const char* name, Function& target, std::string* error) {
  const FARPROC address = GetProcAddress(module, name);
  if (address == nullptr) {
    if (error) *error = std::string("the library has no export ") + name;
    return false;
  }
  target = reinterpret_cast<Function>(reinterpret_cast<void*>(address));
  return true;
}

}  // namespace

void PluginModule::Closer::operator()(void* handle) const {
  FreeLibrary(static_cast<HMODULE>(handle));
}

std::optional<PluginModule> PluginModule::Load(const std::filesystem::path& path,
                                               std::string* error) {
  std::unique_ptr<void, Closer> handle(LoadLibraryA(path.string().c_str()));
  if (!handle) {
    if (error) *error = "LoadLibraryA failed with error " + std::to_string(GetLastError());
    return std::nullopt;
  }
  const auto module = static_cast<HMODULE>(handle.get());
  PluginApi api;
  if (!Resolve(module, "Init_Plugin", api.init, error) ||
      !Resolve(module, "GetName_Plugin", api.get_name, error) ||
      !Resolve(module, "Command_Plugin", api.command, error) ||
      !Resolve(module, "Finalize_Plugin", api.finalize, error))
    return std::nullopt;
  return PluginModule(std::move(handle), api);
}

std::filesystem::path ExecutableDirectory() {
  std::string buffer(32768, '\0');
  const DWORD n = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  if (n == 0 || n >= buffer.size()) return {};
  return std::filesystem::path(buffer.substr(0, n)).parent_path();
}

std::tm LocalCalendar(std::time_t t) {
  std::tm local{};
  localtime_s(&local, &t);
  return local;
}

bool StdinIsTerminal() {
  return _isatty(_fileno(stdin)) != 0;
}

}  // namespace mox::host
