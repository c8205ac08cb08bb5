// The log client between the plug-in and Debian's rsyslogd: lines arrive with their fields; while
// the server is down they go to the log files, and after it is back they arrive again.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <thread>

#include "log_client/syslog_client.h"
#include "platform/host_identity.h"
#include "rsyslog_server.h"
#include "support/temp_dir.h"

namespace mox {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;

// All log files under the host's Logs folder, joined.
std::string LogFiles(const fs::path& host_dir) {
  std::string all;
  if (!fs::exists(host_dir / "Logs")) return all;
  for (const auto& entry : fs::recursive_directory_iterator(host_dir / "Logs")) {
    if (entry.is_regular_file()) all += ReadFile(entry.path().string());
  }
  return all;
}

bool WaitForLogFileLine(const fs::path& host_dir, const std::string& marker) {
  for (int i = 0; i < 250; ++i) {
    if (LogFiles(host_dir).find(marker) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

TEST(SyslogRoundTrip, PluginLinesReachRsyslogAndFallBackToFilesWhileItIsDown) {
  if (!test::RsyslogServer::Available()) GTEST_SKIP() << "rsyslogd missing (install-deps.sh)";
  test::TempDir temp;
  test::RsyslogServer server(temp.path() / "rsyslog");
  ASSERT_TRUE(server.Start());

  // Lines straight from the library over UDP, with the options of the parameter text.
  {
    void* library = dlopen(MOX_LOG_CLIENT_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    auto init =
        reinterpret_cast<int32_t (*)(const char*, int32_t)>(dlsym(library, "DLL_Initialize"));
    auto message =
        reinterpret_cast<int32_t (*)(double, const char*, const char*, const char*, const char*)>(
            dlsym(library, "DLL_MessageToLogServer"));
    auto finalize = reinterpret_cast<void (*)()>(dlsym(library, "DLL_Finalize"));
    EXPECT_EQ(init("no-scheme://x", 500), 0);
    const std::string params =
        "udp://127.0.0.1:" + std::to_string(server.udp_port()) + ";app=direct;facility=local3";
    EXPECT_EQ(init(params.c_str(), 500), 1);
    // 1 March 2024 09:05:07.008, local time.
    EXPECT_EQ(message(45352.37855333333, "host.exe", "mod.so", "pre: ", "a\r\nb"), 1);
    finalize();
    EXPECT_EQ(message(45352.5, "host.exe", "mod.so", "", "after finalize"), 0);
    dlclose(library);
    const auto fields = server.WaitForMessage("pre: a\\nb");
    ASSERT_EQ(fields.size(), 8u) << server.Received();
    EXPECT_EQ(fields[0], "158");  // local3, informational
    EXPECT_EQ(fields[1].substr(0, 23), "2024-03-01T09:05:07.008");
    EXPECT_EQ(fields[3], "direct");
    EXPECT_EQ(fields[5], "mod.so");
  }

  // The plug-in in a pretend host's folder, its program log configured for TCP.
  const fs::path host_dir = temp.path() / "host";
  fs::create_directories(host_dir);
  for (const char* file : {MOX_HOST_PATH, MOX_PLUGIN_PATH, MOX_LOG_CLIENT_PATH}) {
    fs::copy_file(file, host_dir / fs::path(file).filename());
  }
  test::WriteFile((host_dir / "apMoxSettingsManager.ini").string(),
                  "[DB]\nDBFile=/nonexistent/settings.fdb\nProtocol=1\n");
  test::WriteFile((host_dir / "mox-host.ini").string(),
                  "[Debug]\napMoxSettingsManager.so=tcp://127.0.0.1:" +
                      std::to_string(server.tcp_port()) + ";facility=local0\n");
  FILE* host = popen(("cd '" + host_dir.string() +
                      "' && exec ./mox-host -i --expect-no-reply --timeout 0.2 >out.txt 2>&1")
                         .c_str(),
                     "w");
  ASSERT_NE(host, nullptr);
  const auto command = [&](const char* id) {
    std::fprintf(host, "raw 5 %s\n", id);  // an unknown code: logged, no database needed
    std::fflush(host);
  };

  command("UP1");
  const auto fields = server.WaitForMessage("unknown msg: 5 = UP1");
  ASSERT_EQ(fields.size(), 8u) << server.Received();
  EXPECT_EQ(fields[0], "134");  // local0, informational
  EXPECT_TRUE(std::regex_match(fields[1],
                               std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d)")))
      << fields[1];
  EXPECT_EQ(fields[2], platform::HostName());
  EXPECT_EQ(fields[3], "mox-host");
  EXPECT_TRUE(std::regex_match(fields[4], std::regex("[1-9][0-9]*"))) << fields[4];
  EXPECT_EQ(fields[5], "apMoxSettingsManager.so");
  EXPECT_EQ(fields[6], "-");
  EXPECT_EQ(server.WaitForMessage("Init_Plugin: MoxSettingsManager").size(), 8u);
  EXPECT_FALSE(fs::exists(host_dir / "Logs"));

  server.Stop();
  command("DOWN1");
  EXPECT_TRUE(WaitForLogFileLine(host_dir, "unknown msg: 5 = DOWN1"))
      << LogFiles(host_dir) << ReadFile((host_dir / "out.txt").string());

  ASSERT_TRUE(server.Start());
  std::this_thread::sleep_for(log_client::kReconnectInterval + std::chrono::milliseconds(200));
  command("UP2");
  EXPECT_EQ(server.WaitForMessage("unknown msg: 5 = UP2").size(), 8u) << server.Received();

  std::fputs("quit\n", host);
  EXPECT_EQ(pclose(host), 0) << ReadFile((host_dir / "out.txt").string());
  EXPECT_EQ(server.Received().find("DOWN1"), std::string::npos);
  EXPECT_EQ(LogFiles(host_dir).find("UP"), std::string::npos);
}

}  // namespace
}  // namespace mox
