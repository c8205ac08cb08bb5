#include "rsyslog_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <thread>

#include "support/temp_dir.h"

extern char** environ;

namespace mox::test {
namespace {

constexpr const char* kRsyslogd = "/usr/sbin/rsyslogd";

// Binds a socket of `type` to 127.0.0.1 port 0 and reports the port the system chose.
int FreeLoopbackPort(int type) {
  const int fd = socket(AF_INET, type, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
    port = ntohs(address.sin_port);
  }
  close(fd);
  return port;
}

bool AcceptsTcp(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return connected;
}

template <typename Condition>
bool WaitUntil(Condition condition, std::chrono::seconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

}  // namespace

RsyslogServer::RsyslogServer(std::filesystem::path dir)
    : dir_(std::move(dir)),
      udp_port_(FreeLoopbackPort(SOCK_DGRAM)),
      tcp_port_(FreeLoopbackPort(SOCK_STREAM)) {
  std::filesystem::create_directories(dir_);
  const std::string d = dir_.string();
  WriteFile(
      d + "/rsyslog.conf",
      "global(workDirectory=\"" + d +
          "\")\n"
          "module(load=\"imudp\")\nmodule(load=\"imtcp\")\n"
          "input(type=\"imudp\" address=\"127.0.0.1\" port=\"" +
          std::to_string(udp_port_) +
          "\")\n"
          "input(type=\"imtcp\" address=\"127.0.0.1\" port=\"" +
          std::to_string(tcp_port_) +
          "\")\n"
          "template(name=\"fields\" type=\"string\" string=\"%pri%|%timereported:::date-rfc3339%"
          "|%hostname%|%app-name%|%procid%|%msgid%|%structured-data%|%msg%\\n\")\n"
          "action(type=\"omfile\" file=\"" +
          d + "/messages\" template=\"fields\")\n");
}

RsyslogServer::~RsyslogServer() {
  Stop();
}

bool RsyslogServer::Available() {
  return access(kRsyslogd, X_OK) == 0;
}

bool RsyslogServer::Start() {
  const std::string d = dir_.string();
  const std::string config = d + "/rsyslog.conf", pid_file = d + "/rsyslogd.pid";
  const std::string output = d + "/rsyslogd.out";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                   0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  const char* argv[] = {kRsyslogd, "-n", "-f", config.c_str(), "-i", pid_file.c_str(), nullptr};
  pid_t pid = 0;
  const int failed =
      posix_spawn(&pid, kRsyslogd, &actions, nullptr, const_cast<char* const*>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) return false;
  pid_ = pid;
  return WaitUntil([&] { return AcceptsTcp(tcp_port_); }, std::chrono::seconds(10));
}

void RsyslogServer::Stop() {
  if (pid_ <= 0) return;
  kill(static_cast<pid_t>(pid_), SIGTERM);
  waitpid(static_cast<pid_t>(pid_), nullptr, 0);
  pid_ = 0;
}

std::string RsyslogServer::Received() const {
  return ReadFile((dir_ / "messages").string());
}

std::vector<std::string> RsyslogServer::WaitForMessage(const std::string& marker) const {
  std::vector<std::string> fields;
  WaitUntil(
      [&] {
        std::istringstream lines(Received());
        for (std::string line; std::getline(lines, line);) {
          if (line.find(marker) == std::string::npos) continue;
          std::istringstream parts(line);
          for (std::string part; fields.size() < 7 && std::getline(parts, part, '|');) {
            fields.push_back(part);
          }
          std::string rest;
          std::getline(parts, rest);
          fields.push_back(rest);
          return true;
        }
        return false;
      },
      std::chrono::seconds(5));
  return fields;
}

}  // namespace mox::test
