// Stopping and starting the local Firebird server under a held or missing connection. Runs only
// where MOX_TEST_SERVER_RESTART=1 allows it, one test at a time.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

#include "config/settings.h"
#include "db/connection.h"
#include "db/database_error.h"
#include "db_test_fixture.h"

namespace mox::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::StartsWith;

class ServerRestartTest : public DbToolsTest {
 protected:
  void SetUp() override {
    MOX_REQUIRE_TEST_SERVER();
    if (!ServerRestartAllowed())
      GTEST_SKIP() << "Stopping the server is not allowed here: set MOX_TEST_SERVER_RESTART=1";
    server_db_ = std::make_unique<SampleDatabase>(DbAccess::kServer);
    UseDatabase(*server_db_);
  }
  void TearDown() override {
    // Whatever happened, leave the server running.
    if (server_db_) Start();
  }
  void Start() {
    StartLocalServer(server_db_->AttachName(), server_db_->User(), server_db_->Password());
  }

  int32_t ReadXyz() {
    int32_t state = 0;
    return database_.GetModifiedStateById("XYZ", state);
  }

  std::unique_ptr<SampleDatabase> server_db_;
};

TEST_F(ServerRestartTest, StoppedServerFailsTheConnectAndTheNextOperationAfterAStartConnects) {
  StopLocalServer();
  EXPECT_EQ(ReadXyz(), -1);
  const std::vector<std::string> lines = NewLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "DBOpen:: Connecting to " + server_db_->AttachName());
  EXPECT_THAT(lines[1], StartsWith("DBOpen:: Cannot connect to database: Unable to complete "
                                   "network request to host \"localhost\""));
  Start();
  EXPECT_EQ(ReadXyz(), 0);
  EXPECT_THAT(NewLines(), ElementsAre(StartsWith("DBOpen:: Connecting to "),
                                      "DBOpen:: Successfully connected to database",
                                      "DBGetModifiedStateByID(ID=XYZ):: Res=0"));
}

TEST_F(ServerRestartTest, HeldConnectionLostWithTheServerIsReplacedAfterARestart) {
  ASSERT_EQ(ReadXyz(), 0);
  NewLines();
  StopLocalServer();
  Start();
  EXPECT_EQ(ReadXyz(), 0);
  // The failed probe closes the old connection without a line.
  EXPECT_THAT(NewLines(), ElementsAre(StartsWith("DBOpen:: Connecting to "),
                                      "DBOpen:: Successfully connected to database",
                                      "DBGetModifiedStateByID(ID=XYZ):: Res=0"));
}

TEST_F(ServerRestartTest, HeldConnectionWithTheServerDownFailsOnlyInDBOpenAndClosesSilently) {
  ASSERT_EQ(ReadXyz(), 0);
  NewLines();
  StopLocalServer();
  EXPECT_EQ(ReadXyz(), -1);
  EXPECT_THAT(NewLines(), ElementsAre(StartsWith("DBOpen:: Connecting to "),
                                      StartsWith("DBOpen:: Cannot connect to database: ")));
  EXPECT_FALSE(connection().Connected());
  database_.Disconnect();
  EXPECT_THAT(NewLines(), IsEmpty());
}

TEST_F(ServerRestartTest, ShutDownWithTheServerGoneLogsNoDisconnect) {
  ASSERT_EQ(ReadXyz(), 0);
  NewLines();
  StopLocalServer();
  database_.Done();
  EXPECT_THAT(NewLines(), ElementsAre("DestroyDBControls:: OK"));
}

}  // namespace
}  // namespace mox::test
