#include "support/firebird_fixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "db/connection.h"
#include "db/fb_client.h"

namespace mox::test {
namespace {

namespace fs = std::filesystem;

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'')
      quoted += "'\\''";
    else
      quoted += c;
  }
  return quoted + "'";
}

void RunShell(const std::string& command) {
  if (std::system(command.c_str()) != 0) throw std::runtime_error("command failed: " + command);
}

// The sample database is created once and copied for each test. CTest runs every test in a process
// of its own, so the template is kept in the temp folder under a name that changes with the
// scripts, and published by an atomic rename: concurrent test processes never see half a file.
const std::string& SampleTemplate() {
  static std::once_flag once;
  static std::string path;
  std::call_once(once, [] {
    const std::string examples = std::string(MOX_SOURCE_DIR) + "/examples/";
    const std::size_t key = std::hash<std::string>{}(ReadFile(examples + "settings_db.sql") +
                                                     ReadFile(examples + "create_sample_db.sh"));
    path = (fs::temp_directory_path() / ("mox-sample-template-" + std::to_string(key) + ".fdb"))
               .string();
    if (fs::exists(path)) return;
    TempDir dir;
    const std::string fresh = dir.File("settings.fdb");
    const std::string log = ShellQuote(dir.File("create.log"));
    RunShell(ShellQuote(examples + "create_sample_db.sh") + " " + ShellQuote(fresh) +
             " embedded > " + log + " 2>&1");
    // Throwaway copies need no flush to disk at every commit.
    RunShell("ISC_USER=SYSDBA gfix -write async " + ShellQuote(fresh) + " >> " + log + " 2>&1");
    fs::rename(fresh, path);
  });
  return path;
}

// A second attachment of its own, with its transaction started.
class Session {
 public:
  Session(const std::string& attach_name, const std::string& user, const std::string& password)
      : connection_(FbClient::Load(ClientLibraryNames())) {
    connection_.SetDatabaseName(attach_name);
    connection_.SetParams(user, password, "WIN1251");
    connection_.Connect();
    connection_.StartTransaction();
  }

  Connection& connection() { return connection_; }
  void Commit() { connection_.Commit(); }

 private:
  Connection connection_;
};

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

}  // namespace

std::optional<TestServer> TestServerFromEnvironment() {
  const std::string host = Environment("MOX_TEST_SERVER");
  if (host.empty()) return std::nullopt;
  return TestServer{host, Environment("MOX_TEST_SYSDBA_PASSWORD")};
}

bool ServerRestartAllowed() {
  return Environment("MOX_TEST_SERVER_RESTART") == "1";
}

SampleDatabase::SampleDatabase(DbAccess access) : access_(access) {
  path_ = dir_.File("settings.fdb");
  fs::copy_file(SampleTemplate(), path_);
  if (access_ == DbAccess::kServer) {
    // The server opens the file as its own user.
    fs::permissions(dir_.path(), fs::perms::all);
    fs::permissions(path_, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                               fs::perms::group_write | fs::perms::others_read |
                               fs::perms::others_write);
  }
}

std::string SampleDatabase::AttachName() const {
  if (access_ == DbAccess::kEmbedded) return path_;
  const auto server = TestServerFromEnvironment();
  return (server ? server->host : std::string("localhost")) + ":" + path_;
}

std::string SampleDatabase::Password() const {
  // Embedded access takes any password, but a failed local attach is retried through a running
  // server (the client's loopback provider), which delays answers to wrong passwords by seconds.
  const auto server = TestServerFromEnvironment();
  return server ? server->sysdba_password : "embedded";
}

void SampleDatabase::Execute(const std::string& sql) const {
  Session session(AttachName(), User(), Password());
  session.connection().ExecuteStatement(sql);
  session.connection().CloseStatement();
  session.Commit();
}

std::string SampleDatabase::QueryValue(const std::string& sql) const {
  Session session(AttachName(), User(), Password());
  session.connection().OpenStatement(sql);
  std::string value = session.connection().Eof() ? "" : session.connection().AsText(0);
  session.connection().CloseStatement();
  session.Commit();
  return value;
}

Dialect1Database::Dialect1Database() {
  path_ = dir_.File("dialect1.fdb");
  const std::string script = dir_.File("dialect1.sql");
  std::string escaped;
  for (char c : path_) escaped += c == '\'' ? std::string("''") : std::string(1, c);
  WriteFile(script,
            "SET SQL DIALECT 1;\n"
            "CREATE DATABASE '" +
                escaped +
                "' DEFAULT CHARACTER SET WIN1251;\n"
                "SET TERM ^ ;\n"
                "CREATE PROCEDURE SP_GETDATABYID (ID VARCHAR(40))\n"
                "RETURNS (VAL INTEGER, DATA VARCHAR(100), STAMP DATE, AMOUNT NUMERIC(15,2))\n"
                "AS BEGIN\n"
                "  VAL = 11; DATA = 'dialect 1: ' || ID; STAMP = '2024-02-29 13:14:15';\n"
                "  AMOUNT = 12.5; SUSPEND;\n"
                "END^\n"
                "SET TERM ; ^\n"
                "COMMIT;\n");
  RunShell("ISC_USER=SYSDBA isql-fb -q -bail -i " + ShellQuote(script) + " > " +
           ShellQuote(dir_.File("create.log")) + " 2>&1");
}

namespace {

// True while something accepts connections on the server's port on loopback.
bool ServerPortOpen() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(3050);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool open = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return open;
}

bool WaitForPortClosed(std::chrono::seconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (ServerPortOpen()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

}  // namespace

void StopLocalServer() {
  RunShell("/etc/init.d/firebird3.0 stop > /dev/null 2>&1");
  if (WaitForPortClosed(std::chrono::seconds(10))) return;
  // The init script looks for the guard process and its pid file; a server it missed (seen
  // once, right after a restart) is stopped by name.
  static_cast<void>(std::system("pkill -TERM -x fbguard; pkill -TERM -x firebird"));
  if (!WaitForPortClosed(std::chrono::seconds(10)))
    throw std::runtime_error("the Firebird server still accepts connections after being stopped");
}

void StartLocalServer(const std::string& attach_name, const std::string& user,
                      const std::string& password) {
  RunShell("/etc/init.d/firebird3.0 start > /dev/null 2>&1");
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  for (;;) {
    try {
      Session session(attach_name, user, password);
      return;
    } catch (const std::exception& error) {
      if (std::chrono::steady_clock::now() > deadline)
        throw std::runtime_error(std::string("server did not come back: ") + error.what());
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

}  // namespace mox::test
