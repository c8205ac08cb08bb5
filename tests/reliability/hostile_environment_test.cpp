// What the plug-in finds around it: settings files and host ini files full of garbage or huge
// values, a log-server client that refuses, blocks or lacks a function, and a Logs path that
// cannot be a folder. Initialisation either works or fails cleanly, every command is answered,
// and nothing crashes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <sstream>

#include "reliability_support.h"

namespace mox::test {
namespace {

namespace fs = std::filesystem;

const std::string kStateOfAbc = Payload(2, "ABC");
const std::string kStateOfAbcReply("\x02\x00", 2);

std::string RandomBytes(std::mt19937& random, std::size_t size) {
  std::string bytes(size, '\0');
  std::uniform_int_distribution<int> byte(0, 255);
  for (char& c : bytes) c = static_cast<char>(byte(random));
  return bytes;
}

// ---- Settings files beside the plug-in ----

class HostileSettingsTest : public ::testing::Test {
 protected:
  // Loads a plug-in copy whose settings file holds exactly `contents`, and initialises it.
  void StartWith(const std::string& contents) {
    host_ = std::make_unique<PluginHost>(UniqueLibraryName(), nullptr);
    WriteFile(host_->settings_path(), contents);
    host_->Load();
    host_->Init();
  }

  // Sends `count` commands and expects each answered once, with `reply`.
  void ExpectAnswered(int count, const std::string& reply) {
    for (int tag = 0; tag < count; ++tag) host_->Command(tag, kStateOfAbc);
    ASSERT_TRUE(host_->WaitForReplies(static_cast<std::size_t>(count), 30s));
    std::this_thread::sleep_for(100ms);
    const auto replies = host_->Replies();
    ASSERT_EQ(replies.size(), static_cast<std::size_t>(count));
    for (int tag = 0; tag < count; ++tag) {
      EXPECT_EQ(replies[tag].tag, tag);
      EXPECT_EQ(replies[tag].bytes, reply) << "tag " << tag;
    }
  }

  std::string Section(const std::string& db_file, const std::string& user = "SYSDBA",
                      const std::string& pass = "x", const std::string& lang = "WIN1251",
                      const std::string& time = "0") {
    return "[DB]\r\nDBFile=" + db_file + "\r\nDBUser=" + user + "\r\nDBPass=" + pass +
           "\r\nDBLang=" + lang + "\r\nDBTime=" + time + "\r\nProtocol=1\r\n";
  }

  SampleDatabase db_;
  std::unique_ptr<PluginHost> host_;
};

TEST_F(HostileSettingsTest, BinaryGarbageFallsBackOnTheDefaultsAndIsKept) {
  std::mt19937 random(7);
  const std::string garbage = RandomBytes(random, 64 * 1024);
  StartWith(garbage);
  // The default database does not exist here: every command fails, once each. (Few of them: the
  // server slows down a client after a handful of failed logins.)
  ExpectAnswered(2, "\x02");
  host_->Finalize();
  const std::string rewritten = ReadFile(host_->settings_path());
  EXPECT_NE(rewritten.find("DBFile=localhost:c:\\MoxSettings.fdb"), std::string::npos);
  EXPECT_NE(rewritten.find("DBTime=1200000"), std::string::npos);
  EXPECT_EQ(CountLinesContaining(host_->LogLines(), "WriteSettings:: OK"), 1u);
}

TEST_F(HostileSettingsTest, GarbageAroundAValidSectionStillConnects) {
  std::mt19937 random(8);
  // A megabyte line without an end, a second [DB] section, CR-only line ends and odd spacing.
  std::string contents = std::string(1 << 20, 'x') + "\r\n" + Section(db_.Path()) +
                         "[DB]\rDBFile=/nowhere.fdb\r" + "[Other]\r\n" + RandomBytes(random, 4096) +
                         "\r\n  DBTime =  999999999999999999\r\n";
  StartWith(contents);
  ExpectAnswered(3, kStateOfAbcReply);
  host_->Finalize();
}

TEST_F(HostileSettingsTest, ConnectionValuesOverTheDpbLimitFailEveryConnectCleanly) {
  const std::string long_value(256, 'u');
  for (const char* key : {"User_Name", "Password", "lc_ctype"}) {
    const std::string name = key;
    StartWith(Section(db_.Path(), name == "User_Name" ? long_value : "SYSDBA",
                      name == "Password" ? long_value + "pp" : "x",
                      name == "lc_ctype" ? long_value : "WIN1251"));
    ExpectAnswered(2, "\x02");
    host_->Finalize();
    EXPECT_EQ(CountLinesContaining(host_->LogLines(),
                                   "DBOpen:: Cannot connect to database: The "
                                   "connection parameter " +
                                       name + " is longer than 255 bytes"),
              2u)
        << name;
    host_.reset();
  }
}

TEST_F(HostileSettingsTest, HugeValuesAreCutAtTheReadLimitAndFailCleanly) {
  // A megabyte name, and the sample database's path followed by 64 KiB: both are read as their
  // first 2047 bytes (the ini reader's limit), which name no database.
  const std::vector<std::string> names = {std::string(1, '/').append(1 << 20, 'n'),
                                          db_.Path() + std::string(65536, 'x')};
  for (const std::string& name : names) {
    StartWith(Section(name));
    ExpectAnswered(2, "\x02");
    host_->Finalize();
    const std::string cut = name.substr(0, 2047);
    EXPECT_EQ(CountLinesContaining(host_->LogLines(), "DBOpen:: Connecting to " + cut), 2u);
    EXPECT_NE(ReadFile(host_->settings_path()).find("DBFile=" + cut + "\r\n"), std::string::npos);
    host_.reset();
  }
}

TEST_F(HostileSettingsTest, NegativeAndOverflowingTimesAreHandled) {
  StartWith(Section(db_.Path(), "SYSDBA", "x", "WIN1251", "-5"));
  ExpectAnswered(2, "\x02");
  host_->Finalize();
  EXPECT_EQ(CountLinesContaining(host_->LogLines(), "Timeout values cannot be negative"), 2u);
  host_.reset();
  // Out of range for 32 bits: the value is not taken and the default applies.
  StartWith(Section(db_.Path(), "SYSDBA", "x", "WIN1251", "4294967296"));
  ExpectAnswered(2, kStateOfAbcReply);
  host_->Finalize();
}

TEST_F(HostileSettingsTest, SettingsPathThatIsAFolderFailsInitCleanly) {
  host_ = std::make_unique<PluginHost>(UniqueLibraryName(), nullptr);
  fs::create_directory(host_->settings_path());
  host_->Load();
  host_->Init();
  host_->Command(1, kStateOfAbc);
  host_->Finalize();
  const auto lines = host_->LogLines();
  EXPECT_TRUE(HasLineContaining(lines, "Init_Plugin:: FAIL: Unable to write to"));
  EXPECT_TRUE(HasLineContaining(lines, "PLUGIN PANIC: Plugin is not initialized!"));
  EXPECT_EQ(host_->ReplyCount(), 0u);
}

// ---- The host's own folder: its ini file, the log-server client, the Logs folder ----

// A copy of reliability_host in a folder of its own, which is the host directory of the plug-in
// it loads.
class ChildHost {
 public:
  ChildHost() {
    fs::copy_file(MOX_RELIABILITY_HOST, exe_);
    fs::permissions(exe_, fs::perms::owner_all);
  }

  std::string Dir() const { return dir_.path().string(); }
  std::string Path(const std::string& name) const { return dir_.File(name); }
  void WriteHostIni(const std::string& contents) const { WriteFile(Path("host.ini"), contents); }
  // A [Debug] section that configures the log-server client for the plug-in with `params`.
  void ConfigureLogClient(const std::string& params) const {
    WriteHostIni("[Debug]\r\napMoxSettingsManager_child.so=" + params + "\r\n");
  }
  void InstallLogClient(const char* built) const { fs::copy_file(built, Path("libLogClient.so")); }

  struct Result {
    int exit_code = -1;
    std::string output;
    int sent = -1;
    int answered = -1;
    int correct = -1;
    long long slowest_post_ms = -1;
  };
  // `environment`: assignments put before the command, as a shell takes them.
  Result Run(const std::string& db_path, int commands, const std::string& option = "",
             const std::string& environment = "") const {
    Result result;
    const std::string command = environment + " timeout 120 '" + exe_ + "' '" + db_path + "' " +
                                std::to_string(commands) + " " + option + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return result;
    char buffer[4096];
    std::size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
    const int status = pclose(pipe);
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::sscanf(result.output.c_str(), "sent=%d answered=%d correct=%d slowest_post_ms=%lld",
                &result.sent, &result.answered, &result.correct, &result.slowest_post_ms);
    return result;
  }

  // The plug-in's log lines under this host's Logs folder, without time stamps.
  std::vector<std::string> LogLines() const {
    std::vector<std::string> lines;
    std::error_code ec;
    if (!fs::is_directory(Path("Logs"), ec)) return lines;
    std::vector<std::string> files;
    for (const auto& day : fs::directory_iterator(Path("Logs"), ec)) {
      for (const auto& file : fs::directory_iterator(day.path(), ec)) {
        if (file.path().filename().string().ends_with("_apMoxSettingsManager_child.so.log"))
          files.push_back(file.path().string());
      }
    }
    std::sort(files.begin(), files.end());
    for (const std::string& file : files) {
      std::istringstream in(ReadFile(file));
      for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line.size() >= 13 ? line.substr(13) : line);
      }
    }
    return lines;
  }

  // What the log-client double recorded, one call per element.
  std::vector<std::string> ClientCalls() const {
    std::vector<std::string> calls;
    std::istringstream in(ReadFile(Path("calls.txt")));
    for (std::string line; std::getline(in, line);) calls.push_back(line);
    return calls;
  }

 private:
  TempDir dir_;
  std::string exe_ = dir_.File("host");
};

class HostileHostTest : public ::testing::Test {
 protected:
  // Runs the child host with `commands` commands and expects each answered correctly.
  ChildHost::Result RunAndExpectAllAnswered(const ChildHost& child, int commands) {
    const ChildHost::Result result = child.Run(db_.Path(), commands);
    EXPECT_EQ(result.exit_code, 0) << result.output;
    EXPECT_EQ(result.sent, commands) << result.output;
    EXPECT_EQ(result.answered, commands) << result.output;
    EXPECT_EQ(result.correct, commands) << result.output;
    return result;
  }
  std::string Record(const ChildHost& child) const { return "record=" + child.Path("calls.txt"); }

  SampleDatabase db_;
};

TEST_F(HostileHostTest, LogsPathThatIsAFileLosesTheLinesButNoCommand) {
  ChildHost child;
  WriteFile(child.Path("Logs"), "a file where the log folder would be");
  RunAndExpectAllAnswered(child, 20);
  EXPECT_EQ(ReadFile(child.Path("Logs")), "a file where the log folder would be");
}

TEST_F(HostileHostTest, LogsPathThatCannotBeAFolderEvenForRootLosesTheLinesButNoCommand) {
  // Permissions do not stop root; a link to a device does.
  ChildHost child;
  fs::create_symlink("/dev/null", child.Path("Logs"));
  RunAndExpectAllAnswered(child, 20);
  EXPECT_TRUE(fs::is_symlink(child.Path("Logs")));
}

TEST_F(HostileHostTest, HostIniOfBinaryGarbageLeavesTheLogServerOff) {
  ChildHost child;
  std::mt19937 random(11);
  child.WriteHostIni(RandomBytes(random, 64 * 1024) + "\r\n[Debug]\r\n" +
                     RandomBytes(random, 1024));
  child.InstallLogClient(MOX_LOG_CLIENT_DOUBLE);
  RunAndExpectAllAnswered(child, 10);
  EXPECT_TRUE(child.ClientCalls().empty());
  EXPECT_TRUE(HasLineContaining(child.LogLines(), "MSG_GETMODIFIEDSTATEBYID(ABC)"));
}

TEST_F(HostileHostTest, HugeLogServerParametersAreCutAtTheReadLimit) {
  ChildHost child;
  const std::string params = Record(child) + ";pad=" + std::string(1 << 20, 'p');
  child.ConfigureLogClient(params);
  child.InstallLogClient(MOX_LOG_CLIENT_DOUBLE);
  RunAndExpectAllAnswered(child, 10);
  const auto calls = child.ClientCalls();
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls[0], "DLL_Initialize|" + params.substr(0, 2047) + "|500");
  EXPECT_EQ(CountLinesContaining(calls, "MSG_GETMODIFIEDSTATEBYID(ABC)"), 10u);
  // The server took every line, so the file got none.
  EXPECT_TRUE(child.LogLines().empty());
}

TEST_F(HostileHostTest, LogServerThatRefusesEveryLineSendsThemToTheFile) {
  ChildHost child;
  child.ConfigureLogClient(Record(child) + ";refuse=*");
  child.InstallLogClient(MOX_LOG_CLIENT_DOUBLE);
  RunAndExpectAllAnswered(child, 10);
  EXPECT_EQ(CountLinesContaining(child.ClientCalls(), "MSG_GETMODIFIEDSTATEBYID(ABC)"), 10u);
  EXPECT_EQ(CountLinesContaining(child.LogLines(), "MSG_GETMODIFIEDSTATEBYID(ABC)"), 10u);
}

TEST_F(HostileHostTest, LogServerWhoseInitFailsIsStillOfferedEveryLine) {
  ChildHost child;
  child.ConfigureLogClient(Record(child) + ";init=0");
  child.InstallLogClient(MOX_LOG_CLIENT_DOUBLE);
  RunAndExpectAllAnswered(child, 10);
  const auto calls = child.ClientCalls();
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(CountLinesContaining(calls, "MSG_GETMODIFIEDSTATEBYID(ABC)"), 10u);
}

TEST_F(HostileHostTest, LogServerThatBlocksASecondPerLineSlowsOnlyTheWorker) {
  ChildHost child;
  child.ConfigureLogClient(Record(child) + ";delay=1000");
  child.InstallLogClient(MOX_LOG_CLIENT_DOUBLE);
  const auto start = std::chrono::steady_clock::now();
  const ChildHost::Result result = RunAndExpectAllAnswered(child, 3);
  // Init_Plugin's three lines, one per command and three of Finalize_Plugin: a second each.
  EXPECT_GE(MsSince(start), 9000);
  // Posting never waits for the log server.
  EXPECT_LT(result.slowest_post_ms, 500);
  EXPECT_EQ(CountLinesContaining(child.ClientCalls(), "MSG_GETMODIFIEDSTATEBYID(ABC)"), 3u);
}

TEST_F(HostileHostTest, LogServerLibraryWithoutFinalizeIsNotUsed) {
  ChildHost child;
  child.ConfigureLogClient(Record(child));
  child.InstallLogClient(MOX_LOG_CLIENT_DOUBLE_NO_FINALIZE);
  RunAndExpectAllAnswered(child, 10);
  EXPECT_TRUE(child.ClientCalls().empty());
  EXPECT_EQ(CountLinesContaining(child.LogLines(), "MSG_GETMODIFIEDSTATEBYID(ABC)"), 10u);
}

// The host's own copy of the client library wins over one of the same name earlier on the
// library search path (here an incomplete one, which would turn the log server off).
TEST_F(HostileHostTest, LogServerLibraryBesideTheHostComesFirst) {
  ChildHost child;
  child.ConfigureLogClient(Record(child));
  child.InstallLogClient(MOX_LOG_CLIENT_DOUBLE);
  const TempDir elsewhere;
  fs::copy_file(MOX_LOG_CLIENT_DOUBLE_NO_FINALIZE, elsewhere.File("libLogClient.so"));
  const ChildHost::Result result =
      child.Run(db_.Path(), 10, "", "LD_LIBRARY_PATH='" + elsewhere.path().string() + "'");
  EXPECT_EQ(result.answered, 10) << result.output;
  EXPECT_EQ(CountLinesContaining(child.ClientCalls(), "MSG_GETMODIFIEDSTATEBYID(ABC)"), 10u);
  EXPECT_TRUE(child.LogLines().empty());
}

// A host that ends its process with commands in flight, without Finalize_Plugin or unloading:
// the worker is stopped before the client library and the plug-in's globals are torn down, so
// the process exits cleanly and the log closes as a Finalize_Plugin would close it.
TEST_F(HostileHostTest, ProcessExitWithTheWorkerBusyEndsCleanly) {
  for (int round = 0; round < 3; ++round) {
    ChildHost child;
    const ChildHost::Result result = child.Run(db_.Path(), 50, "--exit-without-finalize");
    EXPECT_EQ(result.exit_code, 0) << result.output;
    EXPECT_EQ(result.output, "sent=50\n");
    const std::vector<std::string> lines = child.LogLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "MoxSettingsManager finalized");
    EXPECT_FALSE(HasLineContaining(lines, "Finalize_Plugin"));
  }
}

}  // namespace
}  // namespace mox::test
