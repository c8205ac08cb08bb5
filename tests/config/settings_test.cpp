#include "config/settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "config_test_fixture.h"
#include "log/program_log.h"

namespace mox {
namespace {

using test::ReadFile;
using test::WriteFile;
using Lines = std::vector<std::string>;

const std::string kDefaultFile =
    "[DB]\r\n"
    "DBFile=localhost:c:\\MoxSettings.fdb\r\n"
    "DBUser=SYSDBA\r\n"
    "DBPass=PLANKROSE\r\n"
    "DBLang=WIN1251\r\n"
    "DBTime=1200000\r\n"
    "Protocol=1\r\n";

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return 0;
  return st.st_mode & 07777;
}

class SettingsTest : public test::ConfigTest {
 protected:
  // Runs InitSettings on a settings file holding `contents` and gives the file afterwards.
  // The file as a careful host leaves it: readable by its owner only.
  std::string InitFrom(const std::string& contents) {
    WriteFile(settings_file(), contents);
    std::filesystem::permissions(
        settings_file(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    Init();
    return ReadFile(settings_file());
  }

  // InitSettings on the settings file beside the library, over what the last one read.
  void Init() { InitSettings(settings_file(), settings_); }

  // The settings file's text for the given DBTime and Protocol values, the rest as the defaults.
  static std::string FileWith(const std::string& db_time, const std::string& protocol) {
    return "[DB]\r\nDBFile=localhost:c:\\MoxSettings.fdb\r\nDBUser=SYSDBA\r\nDBPass=PLANKROSE\r\n"
           "DBLang=WIN1251\r\nDBTime=" +
           db_time + "\r\nProtocol=" + protocol + "\r\n";
  }

  Settings settings_;
};

TEST_F(SettingsTest, FirstStartCreatesTheFileWithTheSixDefaults) {
  Init();
  EXPECT_EQ(ReadFile(settings_file()), kDefaultFile);
  EXPECT_EQ(ModeOf(settings_file()), 0600u);  // it holds a password
  EXPECT_EQ(settings_.db_file, "localhost:c:\\MoxSettings.fdb");
  EXPECT_EQ(settings_.db_time, 1200000);
  EXPECT_TRUE(settings_.protocol);
  EXPECT_EQ(LogLines(), (Lines{"ReadSettings:: OK", "WriteSettings:: OK"}));
}

TEST_F(SettingsTest, MissingKeysAreAddedAndPresentOnesKeptInPlace) {
  EXPECT_EQ(InitFrom("; ours\r\n[Other]\r\nDBUser=elsewhere\r\n[db]\r\ndbuser = alice \r\n\r\n"),
            "; ours\r\n[Other]\r\nDBUser=elsewhere\r\n[db]\r\nDBUser=alice\r\n"
            "DBFile=localhost:c:\\MoxSettings.fdb\r\nDBPass=PLANKROSE\r\nDBLang=WIN1251\r\n"
            "DBTime=1200000\r\nProtocol=1\r\n\r\n");
  EXPECT_EQ(settings_.db_user, "alice");
  EXPECT_EQ(settings_.db_pass, "PLANKROSE");
}

TEST_F(SettingsTest, QuotedValuesAreReadAndWrittenBackWithoutQuotes) {
  const std::string after =
      InitFrom("[DB]\r\nDBUser=\"SYSDBA\"\r\nDBPass='secret'\r\nDBFile=  \"db:/x y.fdb\" \r\n");
  EXPECT_EQ(settings_.db_user, "SYSDBA");
  EXPECT_EQ(settings_.db_pass, "secret");
  EXPECT_EQ(settings_.db_file, "db:/x y.fdb");
  EXPECT_EQ(after,
            "[DB]\r\nDBUser=SYSDBA\r\nDBPass=secret\r\nDBFile=db:/x y.fdb\r\nDBLang=WIN1251\r\n"
            "DBTime=1200000\r\nProtocol=1\r\n");
}

TEST_F(SettingsTest, IntegerAndBooleanValuesConvertOrKeepTheCurrentValue) {
  struct Case {
    std::string db_time, protocol;
    int32_t read_time;
    bool read_protocol;
    std::string written_time, written_protocol;
  };
  const Case cases[] = {
      {"0x10", "2", 16, true, "16", "1"},
      {"abc", "true", 1200000, true, "1200000", "1"},
      {"$1F", "-1", 31, true, "31", "1"},
      {"-250", "0", -250, false, "-250", "0"},
      {"2147483648", "yes", 1200000, true, "1200000", "1"},
      {"", "", 1200000, true, "1200000", "1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("DBTime=" + c.db_time + " Protocol=" + c.protocol);
    settings_ = {};
    EXPECT_EQ(InitFrom(FileWith(c.db_time, c.protocol)),
              FileWith(c.written_time, c.written_protocol));
    EXPECT_EQ(settings_.db_time, c.read_time);
    EXPECT_EQ(settings_.protocol, c.read_protocol);
  }
}

TEST_F(SettingsTest, ProtocolOffSilencesEvenTheSettingsLines) {
  InitFrom("[DB]\r\nProtocol=0\r\n");
  EXPECT_FALSE(settings_.protocol);
  EXPECT_EQ(ReadFile(settings_file()),
            "[DB]\r\nProtocol=0\r\nDBFile=localhost:c:\\MoxSettings.fdb\r\nDBUser=SYSDBA\r\n"
            "DBPass=PLANKROSE\r\nDBLang=WIN1251\r\nDBTime=1200000\r\n");
  // The log itself works: lines that do not go through the detail log still arrive.
  WriteLog("direct");
  EXPECT_EQ(LogLines(), Lines{"direct"});
}

TEST_F(SettingsTest, ALaterStartDefaultsToTheValuesInMemory) {
  InitFrom("[DB]\r\nDBTime=5000\r\nDBLang=UTF8\r\n");
  EXPECT_EQ(InitFrom("[DB]\r\nDBTime=oops\r\n"),
            "[DB]\r\nDBTime=5000\r\nDBFile=localhost:c:\\MoxSettings.fdb\r\nDBUser=SYSDBA\r\n"
            "DBPass=PLANKROSE\r\nDBLang=UTF8\r\nProtocol=1\r\n");
  EXPECT_EQ(settings_.db_time, 5000);
}

TEST_F(SettingsTest, AnExistingFileKeepsItsMode) {
  WriteFile(settings_file(), kDefaultFile);
  ASSERT_EQ(::chmod(settings_file().c_str(), 0644), 0);
  Init();
  EXPECT_EQ(ModeOf(settings_file()), 0644u);
}

TEST_F(SettingsTest, AReadOnlyFileFailsWithItsPathAndStaysUnchanged) {
  const std::string contents = "[DB]\r\nDBUser=reader\r\n";
  WriteFile(settings_file(), contents);
  ASSERT_EQ(::chmod(settings_file().c_str(), 0444), 0);
  try {
    Init();
    ADD_FAILURE() << "no error";
  } catch (const SettingsWriteError& error) {
    EXPECT_EQ(std::string(error.what()), "Unable to write to " + settings_file());
  }
  EXPECT_EQ(ReadFile(settings_file()), contents);
  EXPECT_EQ(settings_.db_user, "reader");  // what was read stays
  EXPECT_EQ(LogLines(), Lines{"ReadSettings:: OK"});
}

TEST_F(SettingsTest, AReadOnlyOrMissingDirectoryFailsWithThePath) {
  ASSERT_EQ(::chmod(lib_dir().c_str(), 0555), 0);
  EXPECT_THROW(
      {
        try {
          Init();
        } catch (const SettingsWriteError& error) {
          EXPECT_EQ(std::string(error.what()), "Unable to write to " + settings_file());
          throw;
        }
      },
      SettingsWriteError);
  EXPECT_FALSE(std::filesystem::exists(settings_file()));
  ASSERT_EQ(::chmod(lib_dir().c_str(), 0755), 0);

  EXPECT_THROW(InitSettings(temp_.File("gone/apMoxSettingsManager.ini"), settings_),
               SettingsWriteError);
}

TEST_F(SettingsTest, AFailingKeyStopsTheKeysAfterIt) {
  // A line end inside a value would add lines of its own to the file; it is refused.
  settings_.db_pass = "x\r\nDBLang=injected";
  EXPECT_THROW(WriteSettings(settings_file(), settings_), SettingsWriteError);
  EXPECT_EQ(ReadFile(settings_file()),
            "[DB]\r\nDBFile=localhost:c:\\MoxSettings.fdb\r\nDBUser=SYSDBA\r\n");
  EXPECT_TRUE(LogLines().empty());
}

TEST_F(SettingsTest, SettingsFileLiesBesideTheLibrary) {
  EXPECT_EQ(SettingsFilePath(lib_dir() + "apMoxSettingsManager.so"), settings_file());
  EXPECT_EQ(SettingsFilePath("/opt/host/plugin"), "/opt/host/plugin.ini");
  EXPECT_EQ(SettingsFilePath("/opt/host.d/plugin"), "/opt/host.d/plugin.ini");
  EXPECT_EQ(SettingsFilePath(""), ".ini");
}

// The file holds the password: a mode that lets group or others read it is logged at each start,
// whatever Protocol says, and left as the host set it.
TEST_F(SettingsTest, AFileOthersCanReadIsReportedAndKeepsItsMode) {
  for (const mode_t mode : {0600u, 0640u, 0604u}) {
    SCOPED_TRACE(mode);
    std::filesystem::remove_all(temp_.path() / "host" / "Logs");
    WriteFile(settings_file(), "[DB]\r\nProtocol=0\r\n");
    ASSERT_EQ(::chmod(settings_file().c_str(), mode), 0);
    Init();
    Init();
    const std::string line = "InitSettings:: the settings file " + settings_file() +
                             " can be read by group or others, and it holds the database password";
    EXPECT_EQ(LogLines(), mode == 0600u ? Lines{} : (Lines{line, line}));
    EXPECT_EQ(ModeOf(settings_file()), mode);
  }
}

// The queue keys are read, never written; a negative value or no number is 0, except for
// MaxQueueBytes, which only an explicit 0 turns off.
TEST_F(SettingsTest, QueueKeysAreReadAndNeverWritten) {
  const std::string file = "[Queue]\r\nMaxQueueBytes=4096\r\nMaxCommandBytes=-1\r\n";
  EXPECT_EQ(InitFrom(file), file + FileWith("1200000", "1"));
  EXPECT_EQ(settings_.queue_max_bytes, 4096);
  EXPECT_EQ(settings_.queue_max_command_bytes, 0);
  for (const auto& [value, bytes] : {std::pair{"", kDefaultMaxQueueBytes},
                                     {"0", 0},
                                     {"-5", kDefaultMaxQueueBytes},
                                     {"x", kDefaultMaxQueueBytes}}) {
    InitFrom(std::string("[Queue]\r\nMaxQueueBytes=") + value + "\r\n");
    EXPECT_EQ(settings_.queue_max_bytes, bytes) << value;
  }
}

}  // namespace
}  // namespace mox
