// The log client between the plug-in and Debian's rsyslogd, started here for the test only: its
// own configuration in a temporary folder, UDP and TCP inputs on free loopback ports, -n as a
// child of the test. Lines arrive with their fields; while the server is down they go to the log
// files, and after it is back they arrive again.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>

#include <filesystem>
#include <regex>
#include <thread>

#include "log_client/syslog_client.h"
#include "platform/process.h"
#include "support/temp_dir.h"

namespace mox {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;

template <typename Condition>
bool WaitUntil(Condition condition) {
  for (int i = 0; i < 250 && !condition(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return condition();
}

int FreeLoopbackPort(int type) {
  const int fd = socket(AF_INET, type, 0);
  sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
  socklen_t size = sizeof address;
  bind(fd, reinterpret_cast<sockaddr*>(&address), size);
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  close(fd);
  return ntohs(address.sin_port);
}

// Each message it receives is written as "PRI|TIMESTAMP|HOSTNAME|APP|PROCID|MSGID|SD|MSG".
class Rsyslog {
 public:
  explicit Rsyslog(const fs::path& dir) : dir_(dir.string()) {
    fs::create_directories(dir);
    const auto input = [](const char* type, int port) {
      return "input(type=\"" + std::string(type) + "\" address=\"127.0.0.1\" port=\"" +
             std::to_string(port) + "\")\n";
    };
    test::WriteFile(dir_ + "/rsyslog.conf",
                    "global(workDirectory=\"" + dir_ + "\")\nmodule(load=\"imudp\")\n" +
                        "module(load=\"imtcp\")\n" + input("imudp", udp_port) +
                        input("imtcp", tcp_port) +
                        "template(name=\"f\" type=\"string\" string=\"%pri%|%timereported:::date-"
                        "rfc3339%|%hostname%|%app-name%|%procid%|%msgid%|%structured-data%|%msg%"
                        "\\n\")\naction(type=\"omfile\" file=\"" +
                        dir_ + "/messages\" template=\"f\")\n");
  }
  ~Rsyslog() { Stop(); }

  // True once it accepts TCP connections.
  bool Start() {
    const std::string config = dir_ + "/rsyslog.conf", pid_file = dir_ + "/pid";
    const char* argv[] = {"rsyslogd", "-n", "-f", config.c_str(), "-i", pid_file.c_str(), nullptr};
    pid_ = fork();
    if (pid_ == 0) {
      prctl(PR_SET_PDEATHSIG, SIGTERM);  // it ends with the test, also with one that aborts
      execv("/usr/sbin/rsyslogd", const_cast<char**>(argv));
      _exit(127);
    }
    return pid_ > 0 && WaitUntil([&] {
             const int fd = socket(AF_INET, SOCK_STREAM, 0);
             sockaddr_in address{AF_INET, htons(tcp_port), {htonl(INADDR_LOOPBACK)}, {}};
             const bool up =
                 connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
             close(fd);
             return up;
           });
  }
  void Stop() {
    if (pid_ > 0 && kill(pid_, SIGTERM) == 0) waitpid(pid_, nullptr, 0);
    pid_ = 0;
  }

  std::string Received() const { return ReadFile(dir_ + "/messages"); }
  // Waits up to 5 s for a received message line that `pattern` matches.
  bool Receives(const std::string& pattern) const {
    return WaitUntil([&] { return std::regex_search(Received(), std::regex(pattern)); });
  }

  const int udp_port = FreeLoopbackPort(SOCK_DGRAM);
  const int tcp_port = FreeLoopbackPort(SOCK_STREAM);

 private:
  std::string dir_;
  pid_t pid_ = 0;
};

std::string LogFiles(const fs::path& host_dir) {
  std::string all;
  for (const auto& entry : fs::recursive_directory_iterator(host_dir / "Logs")) {
    if (entry.is_regular_file()) all += ReadFile(entry.path().string());
  }
  return all;
}

TEST(SyslogRoundTrip, PluginLinesReachRsyslogAndFallBackToFilesWhileItIsDown) {
  if (!fs::exists("/usr/sbin/rsyslogd")) GTEST_SKIP() << "rsyslogd missing (install-deps.sh)";
  test::TempDir temp;
  Rsyslog server(temp.path() / "rsyslog");
  ASSERT_TRUE(server.Start());

  // Straight from the library over UDP, with the options of the parameter text.
  void* library = dlopen(MOX_LOG_CLIENT_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  const auto init =
      reinterpret_cast<int32_t (*)(const char*, int32_t)>(dlsym(library, "DLL_Initialize"));
  const auto message =
      reinterpret_cast<int32_t (*)(double, const char*, const char*, const char*, const char*)>(
          dlsym(library, "DLL_MessageToLogServer"));
  EXPECT_EQ(init("no-scheme://x", 500), 0);
  EXPECT_EQ(message(45352.5, "host.exe", "mod.so", "", "refused"), 0);
  const auto params =
      "udp://127.0.0.1:" + std::to_string(server.udp_port) + ";app=direct;facility=local3";
  EXPECT_EQ(init(params.c_str(), 500), 1);
  EXPECT_EQ(message(45352.37855333333, "host.exe", "mod.so", "pre: ", "a\r\nb"),
            1);  // 1 March 2024 09:05:07.008
  reinterpret_cast<void (*)()>(dlsym(library, "DLL_Finalize"))();
  EXPECT_EQ(message(45352.5, "host.exe", "mod.so", "", "after finalize"), 0);
  dlclose(library);
  EXPECT_TRUE(server.Receives(
      R"(\n?158\|2024-03-01T09:05:07\.008[+-]\d\d:\d\d\|[^|]+\|direct\|\d+\|mod\.so\|-\|pre: a\\nb\n)"))
      << server.Received();

  // The plug-in in a pretend host's folder, its program log configured for TCP.
  const fs::path host_dir = temp.path() / "host";
  fs::create_directories(host_dir / "Logs");
  for (const char* file : {MOX_HOST_PATH, MOX_PLUGIN_PATH, MOX_LOG_CLIENT_PATH}) {
    fs::copy_file(file, host_dir / fs::path(file).filename());
  }
  test::WriteFile((host_dir / "apMoxSettingsManager.ini").string(), "[DB]\nProtocol=1\n");
  test::WriteFile((host_dir / "mox-host.ini").string(),
                  "[Debug]\napMoxSettingsManager.so=tcp://127.0.0.1:" +
                      std::to_string(server.tcp_port) + ";facility=local0\n");
  const std::string run = "cd '" + host_dir.string() +
                          "' && exec ./mox-host -i --expect-no-reply --timeout 0.2 >out.txt 2>&1";
  FILE* host = popen(run.c_str(), "w");
  ASSERT_NE(host, nullptr);
  const auto command = [&](const char* id) {
    std::fprintf(host, "raw 5 %s\n", id);  // an unknown code: logged, no database needed
    std::fflush(host);
  };
  // local0 + informational; local time with its offset; this machine; the host's name and pid;
  // the plug-in's file name; no structured data; the line.
  const std::string fields =
      R"(134\|\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d\|)" +
      std::regex_replace(platform::HostName(), std::regex(R"(\.)"), R"(\.)") +
      R"(\|mox-host\|[1-9]\d*\|apMoxSettingsManager\.so\|-\|)";

  command("UP1");
  EXPECT_TRUE(server.Receives(fields + "Init_Plugin: MoxSettingsManager\n")) << server.Received();
  EXPECT_TRUE(server.Receives(fields + "unknown msg: 5 = UP1\n")) << server.Received();
  EXPECT_TRUE(fs::is_empty(host_dir / "Logs"));

  server.Stop();
  command("DOWN1");
  EXPECT_TRUE(WaitUntil([&] { return LogFiles(host_dir).find("5 = DOWN1") != std::string::npos; }));

  ASSERT_TRUE(server.Start());
  std::this_thread::sleep_for(log_client::kReconnectInterval + std::chrono::milliseconds(200));
  command("UP2");
  EXPECT_TRUE(server.Receives(fields + "unknown msg: 5 = UP2\n")) << server.Received();

  std::fputs("quit\n", host);
  EXPECT_EQ(pclose(host), 0) << ReadFile((host_dir / "out.txt").string());
  EXPECT_EQ(server.Received().find("DOWN1"), std::string::npos);
  EXPECT_EQ(LogFiles(host_dir).find("UP"), std::string::npos);
}

}  // namespace
}  // namespace mox
