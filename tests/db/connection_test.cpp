// The connection: creation of the database objects, connecting on demand, the probe, closing, the
// checks before any server call, the dialect, dropped connections and the idle time-out.
#include "db/connection.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "config/settings.h"
#include "db/database_error.h"
#include "db/fb_client.h"
#include "db_test_fixture.h"
#include "platform/file_system.h"
#include "platform/process.h"

namespace mox::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::StartsWith;

using DbLifecycleTest = DbTest;

TEST_F(DbLifecycleTest, InitAndDoneLogTheirLinesAndConnectNothing) {
  InitDatabase();
  EXPECT_THAT(NewLines(), ElementsAre("CreateDBControls:: OK"));
  EXPECT_FALSE(connection().Connected());
  database_.Done();
  EXPECT_THAT(NewLines(), ElementsAre("DestroyDBControls:: OK"));
  EXPECT_EQ(database_.CurrentConnection(), nullptr);
}

TEST_F(DbLifecycleTest, MissingClientLibraryFailsCreationAndLeavesNoConnection) {
  // A name that is not there, and a library without the client's entry points.
  SettingsDatabase database({"libfbclient-missing.so.9", "libm.so.6"});
  database.settings() = settings();
  try {
    database.Init(database.settings());
    ADD_FAILURE() << "Init succeeded without a client library";
  } catch (const DatabaseError& error) {
    EXPECT_STREQ(error.what(),
                 "InterBase library libfbclient.so.2 not found in the path. Please install "
                 "InterBase to use this functionality");
    EXPECT_EQ(error.detail(),
              "tried libfbclient-missing.so.9: cannot open shared object file: No such file or "
              "directory; libm.so.6: loaded, but it has no isc_attach_database; looked in "
              "LD_LIBRARY_PATH, " +
                  platform::DirectoryPart(platform::ThisModulePath()) +
                  " (the plug-in's run path) and the system's library folders");
  }
  EXPECT_EQ(database.CurrentConnection(), nullptr);
  // Operations fail cleanly without objects.
  int16_t value = 0;
  std::string text;
  EXPECT_EQ(database.GetDataById("ABC", value, text), -1);
  EXPECT_THAT(NewLines(), IsEmpty());
  // Nothing was made, so nothing is reported freed.
  database.Done();
  EXPECT_THAT(NewLines(), IsEmpty());
  EXPECT_EQ(database.CurrentConnection(), nullptr);
}

TEST_F(DbLifecycleTest, DoneClosesAnOpenConnectionWithItsLogLine) {
  InitDatabase();
  ASSERT_EQ(ReadAbc(), 0);
  NewLines();
  database_.Done();
  EXPECT_THAT(NewLines(), ElementsAre("DBClose:: Successfully disconnected from database",
                                      "DestroyDBControls:: OK"));
}

using DbConnectionTest = DbToolsTest;

TEST_F(DbConnectionTest, ConnectsOnceAndKeepsTheConnectionSilently) {
  ASSERT_EQ(Open(), 0);
  const std::vector<std::string> raw = LogLines();
  ASSERT_EQ(raw.size(), 3u);                    // CreateDBControls, then the two connect lines
  EXPECT_THAT(raw[1], StartsWith("<       "));  // a few milliseconds at most before connecting
  EXPECT_TRUE(HasElapsedField(raw[2])) << raw[2];
  EXPECT_THAT(NewLines(), ElementsAre("DBOpen:: Connecting to " + db_.Path(),
                                      "DBOpen:: Successfully connected to database"));
  ASSERT_EQ(Open(), 0);
  EXPECT_THAT(NewLines(), IsEmpty());
  EXPECT_TRUE(connection().Connected());
  EXPECT_EQ(connection().Dialect(), 3);
}

TEST_F(DbConnectionTest, DisconnectLogsOnlyWhenThereWasAConnection) {
  database_.Disconnect();
  EXPECT_THAT(NewLines(), IsEmpty());
  ASSERT_EQ(Open(), 0);
  NewLines();
  database_.Disconnect();
  EXPECT_THAT(NewLines(), ElementsAre("DBClose:: Successfully disconnected from database"));
  EXPECT_FALSE(connection().Connected());
  database_.Disconnect();
  EXPECT_THAT(NewLines(), IsEmpty());
}

TEST_F(DbConnectionTest, MissingDatabaseFileFailsWithTheClientsTextAndIsRetried) {
  settings().db_file = db_.Path() + ".missing";
  EXPECT_EQ(Open(), -1);
  const std::vector<std::string> lines = NewLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "DBOpen:: Connecting to " + settings().db_file);
  EXPECT_THAT(lines[1],
              StartsWith("DBOpen:: Cannot connect to database: I/O error during \"open\""));
  EXPECT_THAT(lines[1], HasSubstr(settings().db_file));
  // Several client messages arrive as one line.
  EXPECT_THAT(lines[1], HasSubstr("\\n"));
  EXPECT_THAT(lines[1], Not(HasSubstr("\r")));

  // An operation fails with DBOpen's lines only; the next one tries again.
  EXPECT_EQ(ReadAbc(), -1);
  EXPECT_EQ(NewLines().size(), 2u);
  settings().db_file = db_.Path();
  EXPECT_EQ(ReadAbc(), 0);
}

TEST_F(DbConnectionTest, EmptyDatabaseNameFailsAfterTheConnectingLine) {
  settings().db_file = "";
  EXPECT_EQ(Open(), -1);
  EXPECT_THAT(NewLines(),
              ElementsAre("DBOpen:: Connecting to ",
                          "DBOpen:: Cannot connect to database: Database name is missing"));
}

TEST_F(DbConnectionTest, NegativeTimeoutFailsBeforeTheConnectingLine) {
  settings().db_time = -1;
  EXPECT_EQ(Open(), -1);
  EXPECT_EQ(ReadAbc(), -1);
  EXPECT_THAT(
      NewLines(),
      ElementsAre("DBOpen:: Cannot connect to database: Timeout values cannot be negative",
                  "DBOpen:: Cannot connect to database: Timeout values cannot be negative"));
}

TEST_F(DbConnectionTest, OverlongConnectionValueIsAFailedConnectThatHidesTheValue) {
  settings().db_pass = std::string(200, 'p') + "secret-tail" + std::string(100, 'p');
  EXPECT_EQ(Open(), -1);
  const std::vector<std::string> lines = NewLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1],
            "DBOpen:: Cannot connect to database: The connection parameter Password is longer "
            "than 255 bytes");
  settings().db_pass = "x";
  settings().db_user = std::string(256, 'u');
  EXPECT_EQ(Open(), -1);
  EXPECT_THAT(NewLines().back(), HasSubstr("User_Name is longer than 255 bytes"));
}

TEST_F(DbConnectionTest, UnknownCharacterSetFailsTheConnect) {
  settings().db_lang = "NO_SUCH_CHARSET";
  EXPECT_EQ(Open(), -1);
  EXPECT_THAT(NewLines().back(), StartsWith("DBOpen:: Cannot connect to database: "));
  EXPECT_FALSE(connection().Connected());
}

TEST_F(DbConnectionTest, DatabaseOfDialectOneIsUsedInDialectOne) {
  Dialect1Database old_database;
  settings().db_file = old_database.Path();
  int16_t value = 0;
  std::string text;
  ASSERT_EQ(database_.GetDataById("Q", value, text), 0);
  EXPECT_EQ(connection().Dialect(), 1);
  EXPECT_EQ(value, 11);
  EXPECT_EQ(text, "dialect 1: Q");
  EXPECT_THAT(NewLines(), ElementsAre("DBOpen:: Connecting to " + settings().db_file,
                                      "DBOpen:: Successfully connected to database",
                                      "DBGetDataByID(ID=Q):: Res=0"));
}

TEST_F(DbConnectionTest, ConnectionDroppedByTheServerIsReopenedByTheNextOperation) {
  ASSERT_EQ(ReadAbc(), 0);
  NewLines();
  db_.Execute("DELETE FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID <> CURRENT_CONNECTION");
  ASSERT_EQ(ReadAbc(), 0);
  EXPECT_THAT(NewLines(), ElementsAre("DBOpen:: Connecting to " + db_.Path(),
                                      "DBOpen:: Successfully connected to database",
                                      "DBGetDataByID(ID=ABC):: Res=0"));
}

TEST_F(DbConnectionTest, IdleConnectionIsClosedAfterOneToTwoPeriodsWithoutCalls) {
  // Long enough that a connect on a loaded machine ends well inside the first period.
  constexpr auto kPeriod = std::chrono::milliseconds(500);
  constexpr auto kPastNextTick = kPeriod + std::chrono::milliseconds(50);
  settings().db_time = static_cast<int32_t>(kPeriod.count());
  ASSERT_EQ(ReadAbc(), 0);
  NewLines();

  database_.ServeIdleTicks();  // nothing due yet
  EXPECT_FALSE(connection().IdleMark());

  std::this_thread::sleep_for(kPastNextTick);
  database_.ServeIdleTicks();  // first tick: marks the connection
  EXPECT_TRUE(connection().IdleMark());
  EXPECT_TRUE(connection().Connected());

  ASSERT_EQ(ReadAbc(), 0);  // a call clears the mark
  EXPECT_FALSE(connection().IdleMark());
  std::this_thread::sleep_for(kPastNextTick);
  database_.ServeIdleTicks();
  EXPECT_TRUE(connection().Connected());

  std::this_thread::sleep_for(kPastNextTick);
  database_.ServeIdleTicks();  // marked and unused since: closed, silently
  EXPECT_FALSE(connection().Connected());
  EXPECT_THAT(NewLines(), ElementsAre("DBGetDataByID(ID=ABC):: Res=0"));

  ASSERT_EQ(ReadAbc(), 0);
  EXPECT_THAT(NewLines(), ElementsAre("DBOpen:: Connecting to " + db_.Path(),
                                      "DBOpen:: Successfully connected to database",
                                      "DBGetDataByID(ID=ABC):: Res=0"));
  // Shut-down after an idle close logs no disconnect.
  std::this_thread::sleep_for(kPastNextTick);
  database_.ServeIdleTicks();
  std::this_thread::sleep_for(kPastNextTick);
  database_.ServeIdleTicks();
  ASSERT_FALSE(connection().Connected());
  database_.Done();
  EXPECT_THAT(NewLines(), ElementsAre("DestroyDBControls:: OK"));
}

TEST_F(DbConnectionTest, ZeroTimeoutAtAReconnectRemovesTheIdleTimer) {
  settings().db_time = 50;
  ASSERT_EQ(ReadAbc(), 0);
  database_.Disconnect();
  settings().db_time = 0;
  ASSERT_EQ(ReadAbc(), 0);
  for (int i = 0; i < 3; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    database_.ServeIdleTicks();
  }
  EXPECT_TRUE(connection().Connected());
  EXPECT_FALSE(connection().IdleMark());
}

}  // namespace
}  // namespace mox::test
