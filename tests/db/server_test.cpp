// The same layer through the Firebird server on localhost: credentials count there, and a
// connection the server drops is replaced.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

#include "config/settings.h"
#include "db/connection.h"
#include "db/request_list.h"
#include "db_test_fixture.h"

namespace mox::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

class ServerTest : public DbToolsTest {
 protected:
  void SetUp() override {
    MOX_REQUIRE_TEST_SERVER();
    server_db_ = std::make_unique<SampleDatabase>(DbAccess::kServer);
    UseDatabase(*server_db_);
  }
  std::unique_ptr<SampleDatabase> server_db_;
};

TEST_F(ServerTest, OperationsRunThroughTheServer) {
  RequestList list;
  list.SetValue("OfficeID", "7");
  list.SetValue("BlockNumber", "12");
  list.SetValue("BlockNumberPWD", "secret");
  ASSERT_EQ(BlockingsGetData(list), 0);
  EXPECT_EQ(list.Value("LinkNumber"), "L-100");
  EXPECT_THAT(NewLines(), ElementsAre("DBOpen:: Connecting to " + server_db_->AttachName(),
                                      "DBOpen:: Successfully connected to database",
                                      StartsWith("DBBlockings_GetData(")));
}

TEST_F(ServerTest, WrongPasswordFailsTheConnectWithTheServersText) {
  settings().db_pass = "not-the-password";
  int16_t value = 1;
  std::string text = "kept";
  EXPECT_EQ(database_.GetDataById("ABC", value, text), -1);
  EXPECT_EQ(text, "kept");
  const std::vector<std::string> lines = NewLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_THAT(lines[1], StartsWith("DBOpen:: Cannot connect to database: "));
  EXPECT_THAT(lines[1], HasSubstr("password"));
  EXPECT_THAT(lines[1], testing::Not(HasSubstr("not-the-password")));
}

TEST_F(ServerTest, ConnectionDroppedByTheServerIsReplacedSilently) {
  int32_t state = 0;
  ASSERT_EQ(database_.GetModifiedStateById("XYZ", state), 0);
  NewLines();
  server_db_->Execute("DELETE FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID <> CURRENT_CONNECTION");
  ASSERT_EQ(database_.GetModifiedStateById("XYZ", state), 0);
  EXPECT_EQ(state, 1);
  EXPECT_THAT(NewLines(), ElementsAre(StartsWith("DBOpen:: Connecting to "),
                                      "DBOpen:: Successfully connected to database",
                                      "DBGetModifiedStateByID(ID=XYZ):: Res=0"));
}

}  // namespace
}  // namespace mox::test
