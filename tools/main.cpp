// mox-host: loads the plug-in by path, sends it commands and prints the replies decoded.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "tools/command_parser.h"
#include "tools/host_options.h"
#include "tools/host_session.h"
#include "tools/input_hints.h"
#include "tools/installation_check.h"
#include "tools/plugin_log.h"
#include "tools/plugin_module.h"
#include "tools/text_concat.h"

namespace {

using namespace mox::host;

int UsageError(const std::string& message, const std::string& hint = {}) {
  std::cerr << "mox-host: " << message << '\n';
  if (!hint.empty()) std::cerr << "mox-host: " << hint << '\n';
  std::cerr << "(mox-host --help tells more)\n";
  return kExitUsage;
}

// A pipe or a file on standard input: commands there are read only with --script -.
bool StdinCarriesInput() {
  struct stat info {};
  return fstat(STDIN_FILENO, &info) == 0 && (S_ISFIFO(info.st_mode) || S_ISREG(info.st_mode));
}

// The commands given as arguments or in a script, all read before anything is loaded so that
// a typo costs nothing. Empty with `errors` filled when any is wrong.
std::vector<HostCommand> GatherCommands(const HostOptions& options,
                                        std::vector<std::string>& errors) {
  if (!options.script_path) {
    std::vector<HostCommand> commands;
    for (std::size_t i = 0; i < options.commands.size(); ++i) {
      ParsedLine parsed = ParseCommandLine(options.commands[i]);
      if (!parsed.error.empty())
        errors.push_back(Concat({"command ", std::to_string(i + 1), ": ", parsed.error}));
      else if (parsed.command)
        commands.push_back(std::move(*parsed.command));
    }
    return commands;
  }
  CommandScript script;
  if (*options.script_path == "-") {
    script = ReadCommandScript(std::cin);
  } else {
    std::ifstream file(PathFromText(*options.script_path), std::ios::binary);
    if (!file) {
      errors.push_back("cannot read the script " + *options.script_path);
      return {};
    }
    script = ReadCommandScript(file);
  }
  for (std::string& error : script.errors) errors.push_back(*options.script_path + ": " + error);
  return std::move(script.commands);
}

}  // namespace

int main(int argc, char** argv) {
  const ParsedOptions parsed = ParseHostOptions(CommandLineArguments(argc, argv));
  if (!parsed.options) return UsageError(parsed.error);
  const HostOptions& options = *parsed.options;
  if (options.help) {
    std::cout << UsageText();
    return kExitOk;
  }
  const std::filesystem::path host_dir = ExecutableDirectory();
  const std::filesystem::path cwd = std::filesystem::current_path();
  std::string error;
  if (options.check) {
    const auto path = ResolvePluginPath(options.plugin_path, host_dir, cwd, &error);
    if (!path) {
      std::cerr << "mox-host: " << error << '\n';
      return kExitPluginUnusable;
    }
    return RunInstallationCheck(
        {*path, options.check_id, options.timeout_seconds, options.timeout_text, host_dir, cwd},
        std::cout);
  }

  const bool stdin_is_terminal = StdinIsTerminal();
  const bool at_prompt = options.commands.empty() && !options.script_path &&
                         (options.interactive || stdin_is_terminal);
  std::vector<std::string> errors;
  const std::vector<HostCommand> commands = GatherCommands(options, errors);
  if (!errors.empty()) {
    for (const std::string& message : errors) std::cerr << "mox-host: " << message << '\n';
    if (!options.script_path)
      if (const auto hint = QuotingHint(options.commands))
        std::cerr << "mox-host: " << *hint << '\n';
    return kExitUsage;
  }
  if (!at_prompt && commands.empty())
    return UsageError("no commands given (as arguments, with --script, or at a prompt)",
                      !stdin_is_terminal && StdinCarriesInput() ? kPipedInputHint : "");

  const auto path = ResolvePluginPath(options.plugin_path, host_dir, cwd, &error);
  if (!path) {
    std::cerr << "mox-host: " << error << '\n';
    return kExitPluginUnusable;
  }
  std::optional<PluginModule> module = PluginModule::Load(*path, &error);
  if (!module) {
    std::cerr << "mox-host: cannot use " << path->string() << ": " << error << '\n';
    return kExitPluginUnusable;
  }
  std::cout << "plug-in: " << path->string() << '\n';

  const std::string library_file_name = path->filename().string();
  const PluginLogWatch watch(host_dir, library_file_name);
  SessionSettings settings{options.timeout_seconds, options.timeout_text, options.expect_no_reply,
                           options.show_passwords, [&] { return watch.LoggedNotInitialised(); }};

  HostSession session(module->Api(), settings, std::cout, [&] {
    return ShownPath(PluginLogFile(host_dir, library_file_name, std::chrono::system_clock::now()),
                     cwd);
  });
  session.Start();
  if (at_prompt) {
    if (stdin_is_terminal) std::cout << "Type help for the commands, quit or Ctrl-D to end.\n";
    RunPrompt(session, std::cin, std::cout, std::cerr, stdin_is_terminal);
  } else {
    for (const HostCommand& command : commands) {
      if (command.kind == CommandKind::kQuit) break;
      if (command.kind == CommandKind::kHelp)
        std::cout << CommandFormsText();
      else
        session.Send(command);
    }
  }
  session.Finish();
  return session.Tally().AllGood() ? kExitOk : kExitCommandFailed;
}
