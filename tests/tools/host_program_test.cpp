// mox-host run as a program against the fake plug-in: exit codes, printout, plug-in lookup.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "support/firebird_fixture.h"

namespace {

namespace fs = std::filesystem;

struct ProgramRun {
  int exit_code = -1;
  std::string out;  // standard output and standard error together
};

std::string ShellQuoted(const std::string& word) {
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// Runs `program` with `args` in `cwd`, standard input empty or piped from `input`.
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const fs::path& cwd = fs::current_path(),
                      const std::optional<std::string>& input = std::nullopt) {
  std::string command = "cd ";
  command += ShellQuoted(cwd.string());
  command += " && ";
  if (input) command += "printf '%s' " + ShellQuoted(*input) + " | ";
  command += ShellQuoted(program);
  for (const std::string& arg : args) (command += ' ') += ShellQuoted(arg);
  command += input ? " 2>&1" : " </dev/null 2>&1";
  ProgramRun run;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[4096];
  for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.out.append(buffer, n);
  const int status = pclose(pipe);
  if (WIFEXITED(status)) run.exit_code = WEXITSTATUS(status);
  return run;
}

ProgramRun RunHost(const std::vector<std::string>& args) {
  std::vector<std::string> all = {"--plugin", MOX_FAKE_PLUGIN_PATH};
  all.insert(all.end(), args.begin(), args.end());
  return RunProgram(MOX_HOST_PATH, all);
}

// A scratch folder, removed afterwards.
class ScratchDir {
 public:
  ScratchDir() {
    std::string name = (fs::temp_directory_path() / "mox-host-test-XXXXXX").string();
    if (mkdtemp(name.data()) != nullptr) path_ = name;
  }
  ~ScratchDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

std::string ReadText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::size_t Occurrences(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++count;
  return count;
}

TEST(HostProgram, PrintsEveryReplyAndSucceedsWhenAllAreGood) {
  const ProgramRun run =
      RunHost({"getdata binary", "setstate 42 1",
               "blockings-setpwd OfficeID=7,BlockNumberPWD=old,BlockNumberPWDNew=new"});
  EXPECT_EQ(run.exit_code, 0) << run.out;
  EXPECT_EQ(run.out, "plug-in: " MOX_FAKE_PLUGIN_PATH
                     "\n"
                     "name: FakeMox\n"
                     "#1 > getdata binary\n"
                     "#1 < code 1 MSG_GETDATABYID: ok, state 1\n"
                     "    text: \"a\\x00b\\xff\\\"\"\n"
                     "#2 > setstate 42 1\n"
                     "#2 < code 3 MSG_SETMODIFIEDSTATEBYID: ok, state 1\n"
                     "#3 > blockings-setpwd OfficeID=7,BlockNumberPWD=***,BlockNumberPWDNew=***\n"
                     "#3 < code 11 MSG_BLOCKINGS_SETPWD: ok, 4 entries\n"
                     "    OfficeID=7\n"
                     "    BlockNumberPWD=***\n"
                     "    BlockNumberPWDNew=***\n"
                     "    Status=ok\n"
                     "done: 3 commands, 3 ok, 0 failed, 0 without reply\n");

  const ProgramRun shown = RunHost({"--show-passwords", "blockings-getdata BlockNumberPWD=old"});
  EXPECT_EQ(shown.exit_code, 0) << shown.out;
  EXPECT_NE(shown.out.find("    BlockNumberPWD=old\n"), std::string::npos) << shown.out;
}

TEST(HostProgram, ExitCodes) {
  EXPECT_EQ(RunHost({"getdata 1", "getdata fail"}).exit_code, 1);
  EXPECT_EQ(RunHost({"--timeout", "0.2", "getstate silent"}).exit_code, 1);
  EXPECT_EQ(RunHost({"--timeout=0.2", "--expect-no-reply", "raw 9 x", "getstate 1"}).exit_code, 0);
  EXPECT_EQ(RunHost({"--timeout", "0.2", "raw 9 x"}).exit_code, 1);

  // A bad command stops the run before the plug-in is loaded.
  const ProgramRun bad = RunHost({"getdata 1", "setstate 1 300"});
  EXPECT_EQ(bad.exit_code, 2);
  EXPECT_EQ(bad.out.find("plug-in:"), std::string::npos) << bad.out;
  EXPECT_NE(bad.out.find("command 2: setstate"), std::string::npos) << bad.out;
  EXPECT_EQ(RunHost({"--timeout", "0", "getdata 1"}).exit_code, 2);
  EXPECT_EQ(RunHost({"--bogus"}).exit_code, 2);
  EXPECT_EQ(RunHost({}).exit_code, 2);  // no commands, and input is no terminal
  EXPECT_EQ(RunHost({"--script", "x", "getdata 1"}).exit_code, 2);

  EXPECT_EQ(RunProgram(MOX_HOST_PATH, {"--plugin", "/nonexistent/x.so", "getdata 1"}).exit_code, 3);
  const ProgramRun no_exports =
      RunProgram(MOX_HOST_PATH, {"--plugin", "/lib/x86_64-linux-gnu/libm.so.6", "getdata 1"});
  if (fs::exists("/lib/x86_64-linux-gnu/libm.so.6")) {
    EXPECT_EQ(no_exports.exit_code, 3);
    EXPECT_NE(no_exports.out.find("the library has no export Init_Plugin"), std::string::npos)
        << no_exports.out;
  }
  // A bare name is a file in the current directory, never a search of the library path.
  const ProgramRun bare = RunProgram(MOX_HOST_PATH, {"--plugin", "libc.so.6", "getdata 1"}, "/");
  EXPECT_EQ(bare.exit_code, 3);
  EXPECT_NE(bare.out.find("cannot use /libc.so.6: "), std::string::npos) << bare.out;
  EXPECT_EQ(bare.out.find("no export"), std::string::npos) << bare.out;
}

TEST(HostProgram, ScriptsAndInteractiveInput) {
  ScratchDir dir;
  const fs::path script = dir.path() / "checks.txt";
  std::ofstream(script) << "# deployment check\n\ngetstate 1\n  getdata 2\nquit\ngetdata 3\n";
  const ProgramRun run = RunHost({"--script", script.string()});
  EXPECT_EQ(run.exit_code, 0) << run.out;
  EXPECT_NE(run.out.find("#2 > getdata 2\n"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("getdata 3"), std::string::npos) << run.out;

  std::ofstream(script) << "getstate 1\nsetstate 1\nfrob\n";
  const ProgramRun bad = RunHost({"--script", script.string()});
  EXPECT_EQ(bad.exit_code, 2);
  EXPECT_NE(bad.out.find("checks.txt: line 2: "), std::string::npos) << bad.out;
  EXPECT_NE(bad.out.find("checks.txt: line 3: "), std::string::npos) << bad.out;

  // With --interactive and empty input the session just starts and ends.
  const ProgramRun empty = RunHost({"--interactive"});
  EXPECT_EQ(empty.exit_code, 0) << empty.out;
  EXPECT_NE(empty.out.find("done: 0 commands"), std::string::npos) << empty.out;
}

TEST(HostProgram, FindsThePluginBesideItselfThenInTheCurrentDirectory) {
  ScratchDir bin;
  ScratchDir work;
  const fs::path host = bin.path() / "mox-host";
  fs::copy_file(MOX_HOST_PATH, host);

  ProgramRun run = RunProgram(host.string(), {"getstate 1"}, work.path());
  EXPECT_EQ(run.exit_code, 3);
  EXPECT_NE(run.out.find("no apMoxSettingsManager.so found"), std::string::npos) << run.out;

  fs::copy_file(MOX_FAKE_PLUGIN_PATH, work.path() / "apMoxSettingsManager.so");
  run = RunProgram(host.string(), {"getstate 1"}, work.path());
  EXPECT_EQ(run.exit_code, 0) << run.out;
  EXPECT_NE(
      run.out.find(std::string("plug-in: ") + (work.path() / "apMoxSettingsManager.so").string()),
      std::string::npos)
      << run.out;

  fs::copy_file(MOX_FAKE_PLUGIN_PATH, bin.path() / "apMoxSettingsManager.so");
  run = RunProgram(host.string(), {"getstate 1"}, work.path());
  EXPECT_NE(
      run.out.find(std::string("plug-in: ") + (bin.path() / "apMoxSettingsManager.so").string()),
      std::string::npos)
      << run.out;

  // A bare file name given with --plugin means the file in the current directory.
  run =
      RunProgram(host.string(), {"--plugin", "apMoxSettingsManager.so", "getstate 1"}, work.path());
  EXPECT_NE(
      run.out.find(std::string("plug-in: ") + (work.path() / "apMoxSettingsManager.so").string()),
      std::string::npos)
      << run.out;
}

// The real plug-in with a database that does not exist: every known command is answered with its
// code alone, and the files lie where --help says.
TEST(HostProgram, DrivesTheRealPluginWithoutADatabase) {
  ScratchDir dir;
  fs::copy_file(MOX_HOST_PATH, dir.path() / "mox-host");
  fs::copy_file(MOX_PLUGIN_PATH, dir.path() / "apMoxSettingsManager.so");
  const fs::path database = dir.path() / "missing" / "settings.fdb";
  std::ofstream(dir.path() / "apMoxSettingsManager.ini")
      << "[DB]\nDBFile=" << database.string() << "\nDBTime=0\n";

  const ProgramRun run =
      RunProgram((dir.path() / "mox-host").string(),
                 {"--timeout", "30", "getstate 1", "blockings-getdata OfficeID=7"}, dir.path());
  EXPECT_EQ(run.exit_code, 1) << run.out;
  EXPECT_NE(run.out.find("name: MoxSettingsManager\n"), std::string::npos) << run.out;
  // A failure names the log file that holds its cause, relative to the current directory.
  const std::string failed = "#1 < code 2 MSG_GETMODIFIEDSTATEBYID: failed, see ";
  const std::size_t named = run.out.find(failed);
  ASSERT_NE(named, std::string::npos) << run.out;
  const std::size_t path_begin = named + failed.size();
  const std::string log_file =
      run.out.substr(path_begin, run.out.find('\n', path_begin) - path_begin);
  EXPECT_TRUE(log_file.starts_with("Logs/")) << log_file;
  EXPECT_NE(ReadText(dir.path() / log_file).find("DBOpen:: Cannot connect to database"),
            std::string::npos)
      << log_file;
  EXPECT_NE(run.out.find("#2 < code 10 MSG_BLOCKINGS_GETDATA: failed, see " + log_file + "\n"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("done: 2 commands, 0 ok, 2 failed, 0 without reply\n"), std::string::npos)
      << run.out;

  ASSERT_TRUE(fs::is_directory(dir.path() / "Logs"));
  int log_files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(dir.path() / "Logs")) {
    const std::string name = entry.path().filename().string();
    if (entry.is_regular_file() && name.size() > 3 &&
        name.substr(2) == "_apMoxSettingsManager.so.log")
      ++log_files;
  }
  EXPECT_EQ(log_files, 1);
  const std::string text = ReadText(dir.path() / "apMoxSettingsManager.ini");
  EXPECT_NE(text.find("Protocol="), std::string::npos) << text;
}

// Libraries planted in the current directory are not loaded; the log client beside the host is.
TEST(HostProgram, LibrariesPlantedInTheCurrentDirectoryAreNotLoaded) {
  ScratchDir bin, plugin, work;
  const fs::path host = bin.path() / "mox-host",
                 library = plugin.path() / "apMoxSettingsManager.so";
  fs::copy_file(MOX_HOST_PATH, host);
  fs::copy_file(MOX_PLUGIN_PATH, library);
  std::ofstream(plugin.path() / "apMoxSettingsManager.ini") << "[DB]\nDBFile=/nonexistent/x.fdb\n";
  std::ofstream(bin.path() / "mox-host.ini") << "[Debug]\napMoxSettingsManager.so=udp://[::1]:9\n";
  for (const fs::path& planted :
       {work.path() / "libfbclient.so.2", work.path() / "libLogClient.so"})
    fs::copy_file(MOX_PLANTED_LIBRARY_PATH, planted);
  const std::vector<std::string> args = {"--plugin", library.string(), "getstate 1"};
  const ProgramRun run = RunProgram(host.string(), args, work.path());
  EXPECT_NE(run.out.find("MSG_GETMODIFIEDSTATEBYID: failed"), std::string::npos) << run.out;
  EXPECT_FALSE(fs::exists(work.path() / "libfbclient.so.2.loads"));
  EXPECT_FALSE(fs::exists(work.path() / "libLogClient.so.loads"));
  fs::copy_file(MOX_PLANTED_LIBRARY_PATH, bin.path() / "libLogClient.so");
  RunProgram(host.string(), args, work.path());
  EXPECT_TRUE(fs::exists(bin.path() / "libLogClient.so.loads"));
}

TEST(HostProgram, HelpExplainsOptionsCommandsAndFiles) {
  const ProgramRun run = RunProgram(MOX_HOST_PATH, {"--help"});
  EXPECT_EQ(run.exit_code, 0);
  for (const char* part :
       {"--plugin PATH", "--timeout SECONDS", "--script FILE", "--interactive", "--expect-no-reply",
        "--show-passwords", "--check [PLUGIN]", "--id ID", "blockings-setlink LIST",
        "raw CODE [TEXT]", "Exit status:", "Logs/YYYY_MM_DD/HH_", "apMoxSettingsManager.ini",
        // Names and quoting of the system it runs on.
        "--check /opt/host/plugins/apMoxSettingsManager.so\n", "16_apMoxSettingsManager.so.log",
        "mox-host 'blockings-setlink \"OfficeID=Main office\",BlockNumber"})
    EXPECT_NE(run.out.find(part), std::string::npos) << part;
  EXPECT_EQ(run.out.find(".dll"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find('@'), std::string::npos) << run.out;
}

// A plug-in that cannot start (its settings file cannot be written: a folder has its name) is
// given up on as soon as its log says so, not after the time-out.
TEST(HostProgram, CheckStopsWaitingWhenThePluginLogsThatItIsNotInitialised) {
  ScratchDir dir;
  fs::copy_file(MOX_HOST_PATH, dir.path() / "mox-host");
  fs::copy_file(MOX_PLUGIN_PATH, dir.path() / "apMoxSettingsManager.so");
  fs::create_directory(dir.path() / "apMoxSettingsManager.ini");
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--check", "--timeout", "600"},
        std::vector<std::string>{"--timeout", "600", "getstate 1"}}) {
    const ProgramRun run = RunProgram((dir.path() / "mox-host").string(), args, dir.path());
    EXPECT_EQ(run.exit_code, 1) << run.out;
    EXPECT_NE(run.out.find("#1 - code 2 MSG_GETMODIFIEDSTATEBYID: no reply: the plug-in logged "
                           "that it is not initialised, see Logs/"),
              std::string::npos)
        << run.out;
  }
}

// The messages that tell a user what went wrong and what to do.
TEST(HostProgram, HintsForMistakesAndWhereTheLogIs) {
  struct Case {
    std::vector<std::string> args;
    std::optional<std::string> input;
    int exit_code;
    std::string expected;
  };
  const std::string plugin = MOX_FAKE_PLUGIN_PATH;
  const Case cases[] = {
      {{"getdata", "ABC", "getstate", "XYZ"},
       {},
       2,
       "quote it whole, as in mox-host 'getdata ABC' 'getstate XYZ'\n"},
      {{"getdata", "A", "B"}, {}, 2, "quote it whole, as in mox-host 'getdata ABC'\n"},
      {{}, "getdata 1\n", 2, "read with --script - (or at a prompt with -i)\n"},
      {{"--script", "-"}, "getdata 1\n", 0, "#1 < code 1 MSG_GETDATABYID: ok, state 1\n"},
      {{"getdata fail"}, {}, 1, "failed, see Logs/"},
      {{"--timeout", "0.2", "getstate silent"},
       {},
       1,
       "no reply within 0.2 s; the plug-in may not be initialised, see Logs/"},
      {{"--timeout", "0.2", "raw 9 x"}, {}, 1, "no reply within 0.2 s; the plug-in answers no"},
      {{"--id", "7", "getdata 1"}, {}, 2, "--id belongs to --check"},
      {{"--check", "a.so", "b.so"}, {}, 2, "--check takes one plug-in library"},
  };
  ScratchDir bin;
  const fs::path host = bin.path() / "mox-host";
  fs::copy_file(MOX_HOST_PATH, host);
  for (const Case& test : cases) {
    std::vector<std::string> args = {"--plugin", plugin};
    args.insert(args.end(), test.args.begin(), test.args.end());
    const ProgramRun run = RunProgram(host.string(), args, bin.path(), test.input);
    EXPECT_EQ(run.exit_code, test.exit_code) << run.out;
    EXPECT_NE(run.out.find(test.expected), std::string::npos) << test.expected << "\n" << run.out;
  }

  // Run from its own folder, the two default places of the plug-in are one and named once.
  const ProgramRun alone = RunProgram(host.string(), {"getstate 1"}, bin.path());
  EXPECT_EQ(Occurrences(alone.out, (bin.path() / "apMoxSettingsManager.so").string()), 1u)
      << alone.out;
}

// --check against the server: right settings pass; a wrong password fails, and the output
// carries the client's own message. Embedded access would take any password, hence TCP.
TEST(HostProgram, CheckTellsWhetherAnInstallationWorks) {
  MOX_REQUIRE_TEST_SERVER();
  const mox::test::SampleDatabase database(mox::test::DbAccess::kServer);
  ScratchDir dir;
  fs::copy_file(MOX_HOST_PATH, dir.path() / "mox-host");
  const fs::path plugin = dir.path() / "apMoxSettingsManager.so";
  fs::copy_file(MOX_PLUGIN_PATH, plugin);
  const fs::path settings = dir.path() / "apMoxSettingsManager.ini";
  auto write_settings = [&](const std::string& password, fs::perms mode) {
    std::ofstream(settings) << "[DB]\nDBFile=" << database.AttachName()
                            << "\nDBUser=SYSDBA\nDBPass=" << password << "\nProtocol=1\n";
    fs::permissions(settings, mode);
  };
  const std::string host = (dir.path() / "mox-host").string();

  write_settings(database.Password(), fs::perms::owner_read | fs::perms::owner_write);
  const ProgramRun good = RunProgram(host, {"--check", plugin.string(), "--id", "ABC"}, "/");
  EXPECT_EQ(good.exit_code, 0) << good.out;
  for (const std::string& part :
       {"  DBFile=" + database.AttachName() + "\n", std::string("  DBPass=***\n"),
        std::string("  DBTime is missing"), std::string("permissions 0600: not readable by others"),
        std::string("#1 < code 2 MSG_GETMODIFIEDSTATEBYID: ok, state 0\n"),
        std::string("DBOpen:: Successfully connected to database"), std::string("check passed")})
    EXPECT_NE(good.out.find(part), std::string::npos) << part << "\n" << good.out;
  EXPECT_EQ(good.out.find(database.Password()), std::string::npos) << good.out;

  write_settings("wrong-password",
                 fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
  const ProgramRun wrong = RunProgram(host, {"--check"}, dir.path());
  EXPECT_EQ(wrong.exit_code, 1) << wrong.out;
  for (const char* part :
       {"readable by others, and it holds the password",
        "MSG_GETMODIFIEDSTATEBYID: failed, see Logs/",
        "DBOpen:: Cannot connect to database: Your user name and password are not defined",
        "check failed"})
    EXPECT_NE(wrong.out.find(part), std::string::npos) << part << "\n" << wrong.out;
}

}  // namespace
