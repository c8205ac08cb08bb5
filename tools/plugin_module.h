// The plug-in library, loaded by path (dlopen, or LoadLibraryW on Windows), and its four exports.
// The system's side lives in plugin_module_posix.cpp and plugin_module_windows.cpp.
#pragma once

#include <ctime>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "apMoxSettingsManager.h"

namespace mox::host {

// apMoxSettingsManager.so, or apMoxSettingsManager.dll on Windows.
extern const char* const kDefaultPluginFileName;
// Where a host might keep the plug-in, as --help's examples show it on this system.
extern const char* const kExamplePluginPath;
// A copy of the plug-in under another name, in the current directory.
extern const char* const kExamplePluginCopy;
// How a command line of this system's shell quotes an argument that holds blanks ('...' in a
// POSIX shell, "..." in cmd.exe), and a double quote inside it.
extern const char* const kArgumentQuote;
extern const char* const kQuoteInsideArgument;

// The line of --check about who may read the settings file, which holds the password: from its
// mode bits on POSIX systems, where they tell; on Windows its access control list decides, which
// the mode bits that the C++ library reports do not show.
std::string SettingsFileAccessLine(const std::filesystem::path& file);

// The four exports; every pointer is set.
struct PluginApi {
  MoxInitPluginFunction init = nullptr;
  MoxGetNamePluginFunction get_name = nullptr;
  MoxCommandPluginFunction command = nullptr;
  MoxFinalizePluginFunction finalize = nullptr;
};

// Owns the library handle: the library is closed when the object goes.
class PluginModule {
 public:
  // Opens the library and resolves the exports; empty with `error` set when either fails.
  static std::optional<PluginModule> Load(const std::filesystem::path& path, std::string* error);

  const PluginApi& Api() const { return api_; }

 private:
  struct Closer {
    void operator()(void* handle) const;
  };
  PluginModule(std::unique_ptr<void, Closer> handle, PluginApi api)
      : handle_(std::move(handle)), api_(api) {}

  std::unique_ptr<void, Closer> handle_;
  PluginApi api_;
};

// The command line's arguments after the program's name. On Windows they come from the wide
// command line, as UTF-8 (the ANSI `argv` turns every character its code page lacks into "?");
// elsewhere they are `argv` as it is.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// The path named by `text`, a path as CommandLineArguments gives it (UTF-8 on Windows, where a
// std::filesystem::path made from a std::string would read it byte by byte).
std::filesystem::path PathFromText(const std::string& text);

// The directory of the running executable; empty when the system cannot tell.
std::filesystem::path ExecutableDirectory();

// True when standard input is a terminal.
bool StdinIsTerminal();

// `t` broken down in the local time zone.
std::tm LocalCalendar(std::time_t t);

// Where to look for the plug-in when no path is given: beside the executable, then in the
// current directory.
std::vector<std::filesystem::path> DefaultPluginCandidates(const std::filesystem::path& exe_dir,
                                                           const std::filesystem::path& cwd);

// The library to load: `given` made absolute against `cwd` (so that a bare file name means the
// file in the current directory, not a library search), or else the first default candidate that
// exists. Empty with `error` set when no default candidate exists.
std::optional<std::filesystem::path> ResolvePluginPath(const std::optional<std::string>& given,
                                                       const std::filesystem::path& exe_dir,
                                                       const std::filesystem::path& cwd,
                                                       std::string* error);

}  // namespace mox::host
