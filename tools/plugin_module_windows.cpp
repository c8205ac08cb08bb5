// The plug-in module, the command line and the executable's folder on Windows (wide calls).
#include <io.h>
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

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
  std::unique_ptr<void, Closer> handle(LoadLibraryW(path.c_str()));
  if (!handle) {
    if (error) *error = "LoadLibraryW failed with error " + std::to_string(GetLastError());
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

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  int count = 0;
  std::unique_ptr<LPWSTR, decltype(&LocalFree)> wide(CommandLineToArgvW(GetCommandLineW(), &count),
                                                     &LocalFree);
  // Without the wide command line, what the ANSI one holds.
  if (!wide || count != argc) return std::vector<std::string>(argv + 1, argv + argc);
  std::vector<std::string> arguments;
  for (int i = 1; i < count; ++i) {
    // An unpaired surrogate becomes U+FFFD: such an argument names no file that could be opened.
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.get()[i], -1, nullptr, 0, nullptr, nullptr);
    std::string argument(n > 0 ? static_cast<std::size_t>(n) : 1, '\0');
    if (n > 0) {
      WideCharToMultiByte(CP_UTF8, 0, wide.get()[i], -1, argument.data(), n, nullptr, nullptr);
    }
    argument.pop_back();  // the terminating NUL
    arguments.push_back(std::move(argument));
  }
  return arguments;
}

std::filesystem::path PathFromText(const std::string& text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::filesystem::path ExecutableDirectory() {
  std::wstring buffer(32768, L'\0');
  const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
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
