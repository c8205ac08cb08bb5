// mox-host: loads the plug-in by path, sends it commands and prints the replies decoded.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "tools/command_parser.h"
#include "tools/host_options.h"
#include "tools/host_session.h"
#include "tools/plugin_module.h"
#include "tools/text_concat.h"

namespace {

using namespace mox::host;

int UsageError(const std::string& message) {
  std::cerr << "mox-host: " << message << "\n(mox-host --help tells more)\n";
  return kExitUsage;
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
    std::ifstream file(*options.script_path, std::ios::binary);
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
  const ParsedOptions parsed = ParseHostOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed.options) return UsageError(parsed.error);
  const HostOptions& options = *parsed.options;
  if (options.help) {
    std::cout << UsageText();
    return kExitOk;
  }

  const bool stdin_is_terminal = isatty(STDIN_FILENO) == 1;
  const bool at_prompt = options.commands.empty() && !options.script_path &&
                         (options.interactive || stdin_is_terminal);
  std::vector<std::string> errors;
  const std::vector<HostCommand> commands = GatherCommands(options, errors);
  if (!errors.empty()) {
    for (const std::string& error : errors) std::cerr << "mox-host: " << error << '\n';
    return kExitUsage;
  }
  if (!at_prompt && commands.empty())
    return UsageError("no commands given (as arguments, with --script, or at a prompt)");

  std::string error;
  const auto path = ResolvePluginPath(options.plugin_path, ExecutableDirectory(),
                                      std::filesystem::current_path(), &error);
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

  SessionSettings settings{options.timeout_seconds, options.timeout_text, options.expect_no_reply,
                           options.show_passwords};
  HostSession session(module->Api(), settings, std::cout);
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
