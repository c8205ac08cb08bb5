// A database layer over a fresh copy of the sample database, with the program log written under a
// pretend host folder so that tests read the lines as an operator would.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "db/connection.h"
#include "db/settings_database.h"
#include "support/firebird_fixture.h"
#include "support/temp_dir.h"

namespace mox::test {

class DbTest : public ::testing::Test {
 protected:
  // The settings point at db_ (embedded), Protocol on, no idle time-out. InitDatabase is left
  // to the test (or to DbToolsTest).
  DbTest();
  ~DbTest() override;

  // Closes the layer's connection (its lines are dropped from NewLines), then runs DDL on db_
  // through a second attachment: an open attachment keeps using the procedure versions it has
  // loaded, so the next operation connects afresh.
  void ChangeSchema(const std::string& ddl);

  // DBFile, DBUser, DBPass and DBLang for `database`.
  void UseDatabase(const SampleDatabase& database);

  // Every line of the program log so far, without its time stamp, in the order written.
  std::vector<std::string> LogLines() const;
  // The lines written since the previous call (or since the start), elapsed field removed.
  std::vector<std::string> NewLines();

  // What database_'s next connect uses; InitDatabase keeps it.
  Settings& settings() { return database_.settings(); }
  // database_.Init with settings().
  void InitDatabase();

  // The connection of database_ (made by Init).
  Connection& connection() { return *database_.CurrentConnection(); }
  // Opens database_'s connection on demand, as every operation does first.
  int32_t Open() { return database_.Open(); }
  int32_t ReadAbc();
  // The blocking operations on `list`, which gets the list they answer with.
  int32_t BlockingsGetData(RequestList& list);
  int32_t BlockingsSetPwd(RequestList& list);
  int32_t BlockingsSetLink(RequestList& list);

  SampleDatabase db_;
  SettingsDatabase database_;

 private:
  TempDir host_;
  std::size_t lines_seen_ = 0;
};

// DbTest with InitDatabase done.
class DbToolsTest : public DbTest {
 protected:
  DbToolsTest();
};

// The line without its leading "<%8d> " field; the line unchanged when it has none.
std::string WithoutElapsed(const std::string& line);
// True when the line begins with a well-formed elapsed field.
bool HasElapsedField(const std::string& line);

}  // namespace mox::test
