#include "tools/host_options.h"

#include <cmath>
#include <cstdlib>
#include <string_view>
#include <utility>

#include "tools/command_parser.h"
#include "tools/plugin_module.h"

namespace mox::host {

namespace {

constexpr double kMaxTimeoutSeconds = 24 * 60 * 60;

bool ParseTimeout(const std::string& text, double& seconds) {
  if (text.empty()) return false;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !std::isfinite(value)) return false;
  if (value <= 0 || value > kMaxTimeoutSeconds) return false;
  seconds = value;
  return true;
}

ParsedOptions Error(std::string message) {
  return {std::nullopt, std::move(message)};
}

}  // namespace

ParsedOptions ParseHostOptions(const std::vector<std::string>& args) {
  HostOptions options;
  bool options_ended = false;
  bool id_given = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_ended || arg.empty() || arg[0] != '-' || arg == "-") {
      options.commands.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_ended = true;
      continue;
    }
    std::string name = arg;
    std::optional<std::string> inline_value;
    if (const auto equals = arg.find('='); equals != std::string::npos) {
      name = arg.substr(0, equals);
      inline_value = arg.substr(equals + 1);
    }
    auto value = [&]() -> std::optional<std::string> {
      if (inline_value) return inline_value;
      if (i + 1 < args.size()) return args[++i];
      return std::nullopt;
    };
    const bool takes_value =
        name == "--plugin" || name == "--timeout" || name == "--script" || name == "--id";
    if (!takes_value && inline_value) return Error(name + " takes no value");

    if (name == "--help" || name == "-h") {
      options.help = true;
    } else if (name == "--interactive" || name == "-i") {
      options.interactive = true;
    } else if (name == "--expect-no-reply") {
      options.expect_no_reply = true;
    } else if (name == "--show-passwords") {
      options.show_passwords = true;
    } else if (name == "--check") {
      options.check = true;
    } else if (takes_value) {
      const std::optional<std::string> given = value();
      if (!given || given->empty()) return Error(name + " needs a value");
      if (name == "--plugin") {
        options.plugin_path = *given;
      } else if (name == "--script") {
        options.script_path = *given;
      } else if (name == "--id") {
        options.check_id = *given;
        id_given = true;
      } else {
        if (!ParseTimeout(*given, options.timeout_seconds))
          return Error("--timeout needs a number of seconds greater than 0 and at most 86400");
        options.timeout_text = *given;
      }
    } else {
      return Error("unknown option " + name);
    }
  }
  if (options.help) return {std::move(options), {}};
  if (id_given && !options.check) return Error("--id belongs to --check");
  if (options.check) {
    if (options.script_path || options.interactive || options.expect_no_reply)
      return Error("--check sends its own command: it takes no --script, -i or --expect-no-reply");
    if (options.commands.size() > 1 || (options.commands.size() == 1 && options.plugin_path))
      return Error("--check takes one plug-in library: --check [PLUGIN]");
    if (!options.commands.empty()) options.plugin_path = options.commands.front();
    options.commands.clear();
    return {std::move(options), {}};
  }

  const int sources = (options.commands.empty() ? 0 : 1) + (options.script_path ? 1 : 0) +
                      (options.interactive ? 1 : 0);
  if (sources > 1)
    return Error(
        "give commands in one way only: as arguments, with --script or with --interactive");
  return {std::move(options), {}};
}

std::string UsageText() {
  std::string text = R"(Usage: mox-host [OPTIONS] [COMMAND ...]
       mox-host --check [--id ID] [PLUGIN]

Loads the plug-in library, starts it, sends it commands one at a time, waits for
each reply and prints it decoded, then finalises and unloads the plug-in. A sample
host: it uses only the plug-in's public interface (apMoxSettingsManager.h).

Commands come from the arguments (one command per argument, quoted as one word),
from a script file (--script), or else from a prompt when standard input is a
terminal (or with --interactive).

Options:
  --plugin PATH       the plug-in library to load. Default: @LIB@
                      beside mox-host, else in the current directory.
  --timeout SECONDS   how long to wait for each reply (default 10; fractions allowed).
  --script FILE       read commands from FILE, one per line; lines starting with "#"
                      and blank lines are skipped; "-" reads standard input.
  --interactive, -i   read commands at a prompt, even when input is not a terminal.
  --expect-no-reply   commands whose code selects no command (raw 0, 4..9, 13..255)
                      are expected to go unanswered: their time-out is no failure,
                      but a reply to one is.
  --show-passwords    print the values of password entries (names containing "pwd"
                      or "password", in any case) instead of ***.
  --check [PLUGIN]    check an installation before the host starts: print the
                      settings file beside the plug-in (DBPass as ***) and whether
                      others can read it, load the plug-in as a host does, send one
                      read-only command (getstate ID), print its reply and the log
                      lines the plug-in wrote meanwhile (they name a connect error, a
                      missing procedure, a character set the server refuses). Exit
                      status 0 only when that command was answered with success.
                      PLUGIN is the library, as with --plugin.
  --id ID             the record ID that --check reads (default mox-host-check).
  --help, -h          show this text.

)";
  text += CommandFormsText();
  text += R"(
Examples:
  mox-host @Q@getdata 42@Q@ @Q@getstate 42@Q@ @Q@setstate 42 1@Q@
  mox-host --plugin @COPY@ @Q@getstate 42@Q@
  mox-host @Q@blockings-getdata OfficeID=7,BlockNumber=12,BlockNumberPWD=secret@Q@
  mox-host @Q@blockings-setpwd OfficeID=7,BlockNumber=12,BlockNumberPWD=old,BlockNumberPWDNew=new@Q@
  mox-host @Q@blockings-setlink @IQ@OfficeID=Main office@IQ@,BlockNumber=12,BlockNumberPWD=secret,LinkNumber=3@Q@
  mox-host --expect-no-reply --timeout 2 @Q@raw 5 odd\x00bytes\xff@Q@
  mox-host --script checks.txt
  mox-host --script - < checks.txt
  mox-host --check @INSTALLED@

Output: each command as sent, with its tag, then its reply decoded:
  #1 > getdata 42
  #1 < code 1 MSG_GETDATABYID: ok, state 1
      text: "record data"
  #2 > blockings-getdata OfficeID=7,BlockNumber=12,BlockNumberPWD=***
  #2 < code 10 MSG_BLOCKINGS_GETDATA: ok, 3 entries
      OfficeID=7
      BlockNumber=12
      BlockNumberPWD=***
  #3 > getstate 43
  #3 < code 2 MSG_GETMODIFIEDSTATEBYID: failed, see Logs/2026_12_08/14_@LIB@.log
  #4 > raw 5 odd\x00bytes\xff
  #4 - code 5 (unknown): no reply within 2 s, as expected
  done: 4 commands, 2 ok, 1 failed, 0 without reply, 1 without reply as expected
"failed" is a reply of the code byte alone; the plug-in's log (named after "see")
tells why. A reply that does not come at all often means that Init_Plugin failed:
the log then has "Init_Plugin:: FAIL: ..." and "PLUGIN PANIC: Plugin is not
initialized!" for each command. Bytes outside printable ASCII are
shown as \xHH and a backslash as \\ (in quoted text a double quote as \").
Lines with "!" tell where the plug-in broke its calling rules (wrong name, user
value or thread, a reply for no command or a second one).

Exit status:
  0  every command was answered with success (or went unanswered as expected);
     with --check: the read-only command was answered with success
  1  a reply failed or was malformed, a reply did not come in time, or a line
     with "!" was printed
  2  bad options or commands: nothing was sent
  3  the plug-in library could not be loaded or lacks one of its four exports

Files of the plug-in:
  settings  the .ini file named like the library, beside the library (for
            @LIB@: apMoxSettingsManager.ini), section [DB] with
            DBFile, DBUser, DBPass, DBLang, DBTime and Protocol; read and written
            back at every start.
  log       Logs/YYYY_MM_DD/HH_<library file name>.log under the directory of the
            host executable, that is beside mox-host (for example
            Logs/2026_12_08/16_@LIB@.log).
)";
  // Library names and paths as this system spells them.
  for (const auto& [mark, value] : {std::pair{"@LIB@", kDefaultPluginFileName},
                                    {"@COPY@", kExamplePluginCopy},
                                    {"@INSTALLED@", kExamplePluginPath},
                                    {"@Q@", kArgumentQuote},
                                    {"@IQ@", kQuoteInsideArgument}}) {
    for (std::size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at))
      text.replace(at, std::string_view(mark).size(), value);
  }
  return text;
}

}  // namespace mox::host
