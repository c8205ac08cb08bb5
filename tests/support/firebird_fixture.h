// Real Firebird databases for tests: copies of the sample settings database (examples/) in a
// temporary folder, reached embedded (a local path) or through the server on localhost, a second
// attachment for running SQL beside the code under test, and control of the local server.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "support/temp_dir.h"

namespace mox::test {

// The server the tests may use: MOX_TEST_SERVER (a host name, e.g. localhost) with the SYSDBA
// password in MOX_TEST_SYSDBA_PASSWORD. Empty when MOX_TEST_SERVER is unset.
struct TestServer {
  std::string host;
  std::string sysdba_password;
};
std::optional<TestServer> TestServerFromEnvironment();
// MOX_TEST_SERVER_RESTART=1: the tests may stop and start the local server.
bool ServerRestartAllowed();

// Skips the current test when no server is configured.
#define MOX_REQUIRE_TEST_SERVER()                                                        \
  do {                                                                                   \
    if (!::mox::test::TestServerFromEnvironment())                                       \
      GTEST_SKIP() << "No Firebird server for this test: set MOX_TEST_SERVER=localhost " \
                      "and MOX_TEST_SYSDBA_PASSWORD";                                    \
  } while (false)

enum class DbAccess { kEmbedded, kServer };

class SampleDatabase {
 public:
  // A fresh copy of the sample database. kServer needs a configured server (check first with
  // MOX_REQUIRE_TEST_SERVER); its folder is opened up to the server's own user.
  explicit SampleDatabase(DbAccess access = DbAccess::kEmbedded);

  const std::string& Path() const { return path_; }
  // What a client attaches to: the path, or host:path through the server.
  std::string AttachName() const;
  std::string User() const { return "SYSDBA"; }
  // The SYSDBA password of the configured server, else any text (enough for embedded access).
  std::string Password() const;
  DbAccess Access() const { return access_; }

  // Runs one statement on an attachment of its own and commits. Throws DatabaseError.
  void Execute(const std::string& sql) const;
  // The first column of the first row of a query as text (empty when there is no row).
  std::string QueryValue(const std::string& sql) const;

 private:
  DbAccess access_;
  TempDir dir_;
  std::string path_;
};

// A database of SQL dialect 1 (a different schema: see the .cpp), embedded.
class Dialect1Database {
 public:
  Dialect1Database();
  const std::string& Path() const { return path_; }

 private:
  TempDir dir_;
  std::string path_;
};

// Stops and starts the local server (/etc/init.d/firebird3.0); Start waits until `attach_name`
// can be attached with the given credentials again. Both throw std::runtime_error on failure.
void StopLocalServer();
void StartLocalServer(const std::string& attach_name, const std::string& user,
                      const std::string& password);

}  // namespace mox::test
