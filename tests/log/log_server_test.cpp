// The program log with a log-server client: a test double of the client library is copied beside
// the pretend host, configured through the host's ini file, and records its calls in a file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "log/program_log.h"
#include "log_test_support.h"
#include "support/loaded_library.h"

namespace mox {
namespace {

using test::At;
using test::ReadFile;

class LogServer : public test::ProgramLogTest {
 protected:
  std::string client_path() const { return host_dir() + kLogClientLibraryName; }
  std::string record_path() const { return temp_.File("calls.txt"); }

  void CopyClient(const char* built_double) {
    std::filesystem::copy_file(built_double, client_path());
  }

  // Writes the host's ini file with `params` as this module's Debug entry.
  void ConfigureClient(const std::string& params) {
    test::WriteFile(
        host_dir() + "host app.ini",
        "[Other]\r\nx=1\r\n[Debug]\r\n" + std::string(kModuleName) + "=" + params + "\r\n");
  }
  std::string RecordingParams(const std::string& extra = "") const {
    return "record=" + record_path() + extra;
  }

  // The calls the double recorded, one per element.
  std::vector<std::string> Calls() const {
    std::vector<std::string> calls;
    std::istringstream in(ReadFile(record_path()));
    for (std::string line; std::getline(in, line);) calls.push_back(line);
    return calls;
  }

  int LoadCount() const {
    const std::string loads = ReadFile(client_path() + ".loads");
    return static_cast<int>(std::count(loads.begin(), loads.end(), '\n'));
  }

  bool ClientIsLoaded() const { return test::IsLoaded(client_path()); }

  // The texts of the lines in the log files, whatever their hour.
  std::vector<std::string> FileLines() const {
    std::vector<std::string> lines;
    std::error_code none;
    for (const auto& file :
         std::filesystem::recursive_directory_iterator(host_dir() + "Logs", none)) {
      std::istringstream in(file.is_regular_file() ? ReadFile(file.path().string()) : "");
      for (std::string line; std::getline(in, line);)
        lines.push_back(line.substr(13, line.size() - 14));
    }
    return lines;
  }

  std::string OleText(const platform::LocalDateTime& when) const {
    char text[64];
    std::snprintf(text, sizeof text, "%.17g", platform::ToOleAutomationDate(when));
    return text;
  }

  const platform::LocalDateTime when_ = At(2024, 3, 1, 9, 5, 7, 8);
};

TEST_F(LogServer, WithoutDebugEntryTheClientIsNeverLoaded) {
  CopyClient(MOX_LOG_CLIENT_DOUBLE);
  OpenLog();  // no ini file at all
  ASSERT_TRUE(gProgramLog.IsOpen());
  EXPECT_FALSE(gProgramLog.HasLogClient());
  gProgramLog.Close();

  test::WriteFile(host_dir() + "host app.ini", "[Debug]\r\nother.so=" + RecordingParams() +
                                                   "\r\n[Else]\r\n" + kModuleName + "=" +
                                                   RecordingParams() + "\r\n");
  OpenLog();
  ASSERT_TRUE(gProgramLog.IsOpen());
  EXPECT_FALSE(gProgramLog.HasLogClient());
  gProgramLog.SetClock(test::FixedClock(when_));
  EXPECT_TRUE(WriteLog("to the file"));
  EXPECT_EQ(ReadFile(LogFile(when_)), "09:05:07.008 to the file\r\n");
  EXPECT_EQ(LoadCount(), 0);
  EXPECT_FALSE(std::filesystem::exists(record_path()));
}

TEST_F(LogServer, DebugEntryWithoutClientLibraryLogsToFiles) {
  ConfigureClient(RecordingParams());
  OpenLog();
  ASSERT_TRUE(gProgramLog.IsOpen());
  EXPECT_FALSE(gProgramLog.HasLogClient());
  const std::string absent = ": cannot open shared object file: No such file or directory";
  EXPECT_EQ(FileLines(), std::vector<std::string>{"LogClient:: FAIL: libLogClient.so not loaded: " +
                                                  client_path() + absent + "; libLogClient.so" +
                                                  absent + "; lines go to the log files"});
  gProgramLog.SetClock(test::FixedClock(when_));
  EXPECT_TRUE(WriteLog("to the file"));
  EXPECT_EQ(ReadFile(LogFile(when_)), "09:05:07.008 to the file\r\n");
}

TEST_F(LogServer, ClientLackingAFunctionIsUnloadedAndNeverInitialized) {
  CopyClient(MOX_LOG_CLIENT_DOUBLE_NO_FINALIZE);
  ConfigureClient(RecordingParams());
  OpenLog();
  ASSERT_TRUE(gProgramLog.IsOpen());
  EXPECT_EQ(LoadCount(), 1);
  EXPECT_FALSE(ClientIsLoaded());
  EXPECT_FALSE(gProgramLog.HasLogClient());
  EXPECT_EQ(FileLines(), std::vector<std::string>{"LogClient:: FAIL: libLogClient.so has no "
                                                  "DLL_Finalize; lines go to the log files"});
  gProgramLog.SetClock(test::FixedClock(when_));
  EXPECT_TRUE(WriteLog("to the file"));
  EXPECT_EQ(ReadFile(LogFile(when_)), "09:05:07.008 to the file\r\n");
  gProgramLog.Close();
  EXPECT_FALSE(std::filesystem::exists(record_path()));
}

TEST_F(LogServer, ServerThatTakesEveryLineGetsAllArgumentsAndNoFileIsMade) {
  CopyClient(MOX_LOG_CLIENT_DOUBLE);
  ConfigureClient(RecordingParams());
  OpenLog();
  ASSERT_TRUE(gProgramLog.IsOpen());
  EXPECT_TRUE(gProgramLog.HasLogClient());
  EXPECT_TRUE(ClientIsLoaded());

  const double before = platform::ToOleAutomationDate(platform::NowLocal());
  EXPECT_TRUE(WriteLog("now"));
  const double after = platform::ToOleAutomationDate(platform::NowLocal());

  gProgramLog.SetClock(test::FixedClock(when_));
  EXPECT_TRUE(gProgramLog.Write("stamped\r\ntwo lines"));
  EXPECT_FALSE(std::filesystem::exists(host_dir() + "Logs"));

  const std::string fixed = "DLL_MessageToLogServer|" + OleText(when_);
  const std::string names = "|host app.exe|" + std::string(kModuleName);
  auto calls = Calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0], "DLL_Initialize|" + RecordingParams() + "|500");
  const std::string now_prefix = "DLL_MessageToLogServer|";
  ASSERT_EQ(calls[1].rfind(now_prefix, 0), 0u);
  const double sent = std::strtod(calls[1].c_str() + now_prefix.size(), nullptr);
  EXPECT_GE(sent, before);
  EXPECT_LE(sent, after);
  EXPECT_NE(calls[1].find(names + "||now"), std::string::npos) << calls[1];
  EXPECT_EQ(calls[2], fixed + names + "||stamped\\r\\ntwo lines");

  gProgramLog.Close();
  calls = Calls();
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[3], "DLL_Finalize");
  EXPECT_FALSE(ClientIsLoaded());
  EXPECT_FALSE(std::filesystem::exists(host_dir() + "Logs"));
}

TEST_F(LogServer, RefusedLinesGoToTheFile) {
  CopyClient(MOX_LOG_CLIENT_DOUBLE);
  ConfigureClient(RecordingParams(";refuse=NOPE"));
  OpenLog();
  ASSERT_TRUE(gProgramLog.IsOpen());
  gProgramLog.SetClock(test::FixedClock(when_));
  EXPECT_TRUE(WriteLog("taken"));
  EXPECT_TRUE(WriteLog("NOPE one"));
  EXPECT_TRUE(WriteLog("taken again"));
  // A long line reaches the server cut to 8191 bytes, and the file as a cut record.
  const std::string long_line = "NOPE" + std::string(9996, 'x');
  EXPECT_TRUE(WriteLog(long_line));
  EXPECT_TRUE(Calls().back().ends_with("||" + long_line.substr(0, 8191)));
  EXPECT_EQ(ReadFile(LogFile(when_)),
            "09:05:07.008 NOPE one\r\n09:05:07.008 " + long_line.substr(0, 8176) + "\r\n");
  EXPECT_EQ(Calls().size(), 5u);  // Initialize and four messages
}

TEST_F(LogServer, FailedInitializeStillOffersEveryLineAndFinalizes) {
  CopyClient(MOX_LOG_CLIENT_DOUBLE);
  ConfigureClient(RecordingParams(";init=0"));
  OpenLog();
  ASSERT_TRUE(gProgramLog.IsOpen());
  EXPECT_TRUE(gProgramLog.HasLogClient());
  gProgramLog.SetClock(test::FixedClock(when_));
  EXPECT_TRUE(WriteLog("offered"));
  const std::string refused = "LogClient:: FAIL: DLL_Initialize refused the parameters \"" +
                              RecordingParams(";init=0") +
                              "\"; lines it does not take go to the log files";
  EXPECT_EQ(FileLines(), std::vector<std::string>{refused});
  gProgramLog.Close();
  const auto calls = Calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[1].substr(0, 23), "DLL_MessageToLogServer|");
  EXPECT_EQ(calls[2], "DLL_Finalize");
  EXPECT_FALSE(ClientIsLoaded());
}

TEST_F(LogServer, ClientWhoseFinalizeThrowsIsStillUnloaded) {
  CopyClient(MOX_LOG_CLIENT_DOUBLE_THROWING);
  ConfigureClient("any");
  OpenLog();
  ASSERT_TRUE(gProgramLog.IsOpen());
  ASSERT_TRUE(gProgramLog.HasLogClient());
  EXPECT_TRUE(WriteLog("taken by the server"));
  gProgramLog.Close();  // ends the test process if the exception escapes
  EXPECT_FALSE(gProgramLog.IsOpen());
  EXPECT_FALSE(ClientIsLoaded());
}

}  // namespace
}  // namespace mox
