// The connection: creation of the database objects, connecting on demand, the probe, closing, the
// checks before any server call, the dialect, dropped connections and the idle time-out.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "config/settings.h"
#include "db/db_objects.h"
#include "db/db_operations.h"
#include "db/db_tools.h"
#include "db/fb_client.h"
#include "db_test_fixture.h"

namespace mox::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::StartsWith;

int32_t Open() {
  LockDB();
  const int32_t result = DBOpen();
  UnlockDB();
  return result;
}

int32_t ReadAbc() {
  int16_t value = 0;
  std::string text;
  return DBGetDataByID("ABC", value, text);
}

using DbLifecycleTest = DbTest;

TEST_F(DbLifecycleTest, InitAndDoneLogTheirLinesAndConnectNothing) {
  InitDBTools();
  EXPECT_THAT(NewLines(), ElementsAre("CreateDBControls:: OK"));
  EXPECT_FALSE(gDatabase->Connected());
  DoneDBTools();
  EXPECT_THAT(NewLines(), ElementsAre("DestroyDBControls:: OK"));
  EXPECT_EQ(gDatabase, nullptr);
  EXPECT_EQ(gDBLock, nullptr);
}

TEST_F(DbLifecycleTest, MissingClientLibraryFailsCreationAfterTheLockExists) {
  OverrideClientLibraryNamesForTesting(std::vector<std::string>{"libfbclient-missing.so.9"});
  try {
    InitDBTools();
    ADD_FAILURE() << "InitDBTools succeeded without a client library";
  } catch (const DBError& error) {
    EXPECT_STREQ(error.what(),
                 "InterBase library libfbclient.so.2 not found in the path. Please install "
                 "InterBase to use this functionality");
  }
  OverrideClientLibraryNamesForTesting(std::nullopt);
  EXPECT_NE(gDBLock, nullptr);
  EXPECT_EQ(gDatabase, nullptr);
  // Operations fail cleanly without objects.
  EXPECT_EQ(ReadAbc(), -1);
  EXPECT_THAT(NewLines(), IsEmpty());
  // Nothing was made, so nothing is reported freed.
  DoneDBTools();
  EXPECT_THAT(NewLines(), IsEmpty());
  EXPECT_EQ(gDBLock, nullptr);
}

TEST_F(DbLifecycleTest, DoneDBToolsClosesAnOpenConnectionWithItsLogLine) {
  InitDBTools();
  ASSERT_EQ(ReadAbc(), 0);
  NewLines();
  DoneDBTools();
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
  EXPECT_TRUE(gDatabase->Connected());
  EXPECT_EQ(gDatabase->Dialect(), 3);
}

TEST_F(DbConnectionTest, DBCloseLogsOnlyWhenThereWasAConnection) {
  DBClose();
  EXPECT_THAT(NewLines(), IsEmpty());
  ASSERT_EQ(Open(), 0);
  NewLines();
  DBClose();
  EXPECT_THAT(NewLines(), ElementsAre("DBClose:: Successfully disconnected from database"));
  EXPECT_FALSE(gDatabase->Connected());
  DBClose();
  EXPECT_THAT(NewLines(), IsEmpty());
}

TEST_F(DbConnectionTest, MissingDatabaseFileFailsWithTheClientsTextAndIsRetried) {
  DBFile = db_.Path() + ".missing";
  EXPECT_EQ(Open(), -1);
  const std::vector<std::string> lines = NewLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "DBOpen:: Connecting to " + DBFile);
  EXPECT_THAT(lines[1],
              StartsWith("DBOpen:: Cannot connect to database: I/O error during \"open\""));
  EXPECT_THAT(lines[1], HasSubstr(DBFile));
  // Several client messages arrive as one line.
  EXPECT_THAT(lines[1], HasSubstr("\\n"));
  EXPECT_THAT(lines[1], Not(HasSubstr("\r")));

  // An operation fails with DBOpen's lines only; the next one tries again.
  EXPECT_EQ(ReadAbc(), -1);
  EXPECT_EQ(NewLines().size(), 2u);
  DBFile = db_.Path();
  EXPECT_EQ(ReadAbc(), 0);
}

TEST_F(DbConnectionTest, EmptyDatabaseNameFailsAfterTheConnectingLine) {
  DBFile = "";
  EXPECT_EQ(Open(), -1);
  EXPECT_THAT(NewLines(),
              ElementsAre("DBOpen:: Connecting to ",
                          "DBOpen:: Cannot connect to database: Database name is missing"));
}

TEST_F(DbConnectionTest, NegativeTimeoutFailsBeforeTheConnectingLine) {
  DBTime = -1;
  EXPECT_EQ(Open(), -1);
  EXPECT_EQ(ReadAbc(), -1);
  EXPECT_THAT(
      NewLines(),
      ElementsAre("DBOpen:: Cannot connect to database: Timeout values cannot be negative",
                  "DBOpen:: Cannot connect to database: Timeout values cannot be negative"));
}

TEST_F(DbConnectionTest, OverlongConnectionValueIsAFailedConnectThatHidesTheValue) {
  DBPass = std::string(200, 'p') + "secret-tail" + std::string(100, 'p');
  EXPECT_EQ(Open(), -1);
  const std::vector<std::string> lines = NewLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1],
            "DBOpen:: Cannot connect to database: The connection parameter Password is longer "
            "than 255 bytes");
  DBPass = "x";
  DBUser = std::string(256, 'u');
  EXPECT_EQ(Open(), -1);
  EXPECT_THAT(NewLines().back(), HasSubstr("User_Name is longer than 255 bytes"));
}

TEST_F(DbConnectionTest, UnknownCharacterSetFailsTheConnect) {
  DBLang = "NO_SUCH_CHARSET";
  EXPECT_EQ(Open(), -1);
  EXPECT_THAT(NewLines().back(), StartsWith("DBOpen:: Cannot connect to database: "));
  EXPECT_FALSE(gDatabase->Connected());
}

TEST_F(DbConnectionTest, DatabaseOfDialectOneIsUsedInDialectOne) {
  Dialect1Database old_database;
  DBFile = old_database.Path();
  int16_t value = 0;
  std::string text;
  ASSERT_EQ(DBGetDataByID("Q", value, text), 0);
  EXPECT_EQ(gDatabase->Dialect(), 1);
  EXPECT_EQ(value, 11);
  EXPECT_EQ(text, "dialect 1: Q");
  EXPECT_THAT(NewLines(), ElementsAre("DBOpen:: Connecting to " + DBFile,
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
  DBTime = static_cast<int32_t>(kPeriod.count());
  ASSERT_EQ(ReadAbc(), 0);
  NewLines();

  DBServeIdleTicks();  // nothing due yet
  EXPECT_FALSE(gDatabase->IdleMark());

  std::this_thread::sleep_for(kPastNextTick);
  DBServeIdleTicks();  // first tick: marks the connection
  EXPECT_TRUE(gDatabase->IdleMark());
  EXPECT_TRUE(gDatabase->Connected());

  ASSERT_EQ(ReadAbc(), 0);  // a call clears the mark
  EXPECT_FALSE(gDatabase->IdleMark());
  std::this_thread::sleep_for(kPastNextTick);
  DBServeIdleTicks();
  EXPECT_TRUE(gDatabase->Connected());

  std::this_thread::sleep_for(kPastNextTick);
  DBServeIdleTicks();  // marked and unused since: closed, silently
  EXPECT_FALSE(gDatabase->Connected());
  EXPECT_THAT(NewLines(), ElementsAre("DBGetDataByID(ID=ABC):: Res=0"));

  ASSERT_EQ(ReadAbc(), 0);
  EXPECT_THAT(NewLines(), ElementsAre("DBOpen:: Connecting to " + db_.Path(),
                                      "DBOpen:: Successfully connected to database",
                                      "DBGetDataByID(ID=ABC):: Res=0"));
  // Shut-down after an idle close logs no disconnect.
  std::this_thread::sleep_for(kPastNextTick);
  DBServeIdleTicks();
  std::this_thread::sleep_for(kPastNextTick);
  DBServeIdleTicks();
  ASSERT_FALSE(gDatabase->Connected());
  DoneDBTools();
  EXPECT_THAT(NewLines(), ElementsAre("DestroyDBControls:: OK"));
}

TEST_F(DbConnectionTest, ZeroTimeoutAtAReconnectRemovesTheIdleTimer) {
  DBTime = 50;
  ASSERT_EQ(ReadAbc(), 0);
  DBClose();
  DBTime = 0;
  ASSERT_EQ(ReadAbc(), 0);
  for (int i = 0; i < 3; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    DBServeIdleTicks();
  }
  EXPECT_TRUE(gDatabase->Connected());
  EXPECT_FALSE(gDatabase->IdleMark());
}

}  // namespace
}  // namespace mox::test
