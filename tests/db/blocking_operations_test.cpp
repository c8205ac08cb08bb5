// The blocking operations: inputs from the request list, every column of the first row written
// back by the name the database reports, the integer passed last, and the log lines.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "config/settings.h"
#include "db/connection.h"
#include "db/request_list.h"
#include "db_test_fixture.h"

namespace mox::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

RequestList List(std::initializer_list<const char*> entries) {
  RequestList list;
  for (const char* entry : entries) list.Add(entry);
  return list;
}

class BlockingOperationsTest : public DbToolsTest {
 protected:
  std::string LastCode() {
    return db_.QueryValue("SELECT CODE FROM AUDIT_LOG ORDER BY ENTRY_ID DESC ROWS 1");
  }
  void DefineGetData(const std::string& returns, const std::string& body) {
    ChangeSchema(
        "CREATE OR ALTER PROCEDURE SP_BLOCKINGS_GETDATA (O VARCHAR(100), B VARCHAR(100), "
        "P VARCHAR(100), H INTEGER) RETURNS (" +
        returns + ") AS BEGIN " + body + " END");
  }
};

TEST_F(BlockingOperationsTest, GetDataWritesTheColumnsBackByNameAndMasksThePasswordInTheLog) {
  RequestList list = List({"OfficeID=7", "BlockNumber=12", "BlockNumberPWD=secret"});
  ASSERT_EQ(BlockingsGetData(list), 0);
  EXPECT_EQ(list.CommaText(),
            "OfficeID=7,BlockNumber=12,BlockNumberPWD=secret,LinkNumber=L-100,Status=1,Result=0");
  const std::vector<std::string> lines = NewLines();
  EXPECT_EQ(lines.back(),
            "DBBlockings_GetData(OfficeID=7,BlockNumber=12,BlockNumberPWD=***):: Res=0, "
            "Data=OfficeID=7,BlockNumber=12,BlockNumberPWD=***,LinkNumber=L-100,Status=1,Result=0");
  for (const std::string& line : LogLines()) EXPECT_THAT(line, Not(HasSubstr("secret")));
}

TEST_F(BlockingOperationsTest, GetDataPassesWhetherAPasswordEntryExists) {
  // No entry: empty text and 0, which the sample procedure answers with "password required".
  RequestList without = List({"OfficeID=7", "BlockNumber=12"});
  ASSERT_EQ(BlockingsGetData(without), 0);
  EXPECT_EQ(without.Value("Result"), "1");
  EXPECT_FALSE(without.HasName("LinkNumber"));
  // An empty entry: empty text and 1, so the password is checked (and wrong).
  RequestList empty = List({"OfficeID=7", "BlockNumber=12", "BlockNumberPWD="});
  ASSERT_EQ(BlockingsGetData(empty), 0);
  EXPECT_EQ(empty.Value("Result"), "2");

  // The same seen by a procedure that reports its inputs.
  DefineGetData("\"Seen\" VARCHAR(200)",
                "\"Seen\" = O || '|' || B || '|' || P || '|' || H; SUSPEND;");
  ASSERT_EQ(BlockingsGetData(without), 0);
  EXPECT_EQ(without.Value("Seen"), "7|12||0");
  ASSERT_EQ(BlockingsGetData(empty), 0);
  EXPECT_EQ(empty.Value("Seen"), "7|12||1");
}

TEST_F(BlockingOperationsTest, KeysAreFoundInAnyLetterCaseAndColumnNamesWinInTheReply) {
  RequestList list =
      List({"officeid=7", "BLOCKNUMBER=12", "blocknumberpwd=secret", "Extra=kept", "OfficeID=8"});
  ASSERT_EQ(BlockingsGetData(list), 0);
  EXPECT_EQ(list.CommaText(),
            "OfficeID=7,BlockNumber=12,blocknumberpwd=secret,Extra=kept,OfficeID=8,"
            "LinkNumber=L-100,Status=1,Result=0");
}

TEST_F(BlockingOperationsTest, WrongPasswordGivesAResultColumnAndNullColumnsRemoveEntries) {
  RequestList list =
      List({"OfficeID=7", "BlockNumber=12", "BlockNumberPWD=guess", "LinkNumber=stale"});
  ASSERT_EQ(BlockingsGetData(list), 0);
  EXPECT_EQ(list.CommaText(), "OfficeID=7,BlockNumber=12,BlockNumberPWD=guess,Result=2");
}

TEST_F(BlockingOperationsTest, NoRowOrNullFirstColumnLeavesTheListAsItWas) {
  const RequestList request = List({"OfficeID=7", "BlockNumber=12", "BlockNumberPWD=secret"});
  DefineGetData("\"OfficeID\" VARCHAR(10), \"Result\" INTEGER", "\"Result\" = 5; SUSPEND;");
  RequestList list = request;
  ASSERT_EQ(BlockingsGetData(list), 0);
  EXPECT_EQ(list.Entries(), request.Entries());
  DefineGetData("\"OfficeID\" VARCHAR(10)", "IF (1 = 0) THEN SUSPEND;");
  ASSERT_EQ(BlockingsGetData(list), 0);
  EXPECT_EQ(list.Entries(), request.Entries());
}

TEST_F(BlockingOperationsTest, ColumnsOfEveryTypeAreReadBackAsText) {
  DefineGetData(
      "\"OfficeID\" VARCHAR(10), \"Small\" SMALLINT, \"Big\" BIGINT, \"Money\" NUMERIC(15,2), "
      "\"Tiny\" NUMERIC(9,3), \"Dbl\" DOUBLE PRECISION, \"Flt\" FLOAT, \"Day\" DATE, "
      "\"Clock\" TIME, \"Stamp\" TIMESTAMP, \"Padded\" CHAR(5), \"Memo\" BLOB SUB_TYPE TEXT, "
      "\"Flag\" BOOLEAN, \"Nothing\" VARCHAR(10), \"Empty\" VARCHAR(10), \"lower\" INTEGER, "
      "UPPER_NAME INTEGER",
      "\"OfficeID\" = O; \"Small\" = -300; \"Big\" = 9000000000; \"Money\" = -1234.5; "
      "\"Tiny\" = 0.005; \"Dbl\" = 0.1; \"Flt\" = 1.5; \"Day\" = DATE '2024-02-29'; "
      "\"Clock\" = TIME '13:14:15.678'; \"Stamp\" = TIMESTAMP '1999-12-31 23:59:58.999'; "
      "\"Padded\" = 'ab'; \"Memo\" = LPAD('', 40000, 'm') || 'end'; \"Flag\" = TRUE; "
      "\"Nothing\" = NULL; \"Empty\" = ''; \"lower\" = 1; UPPER_NAME = 2; SUSPEND;");
  RequestList list = List({"OfficeID=7", "Nothing=was here", "Empty=was here", "Keep=1"});
  ASSERT_EQ(BlockingsGetData(list), 0);
  EXPECT_EQ(list.Value("Small"), "-300");
  EXPECT_EQ(list.Value("Big"), "9000000000");
  EXPECT_EQ(list.Value("Money"), "-1234.50");
  EXPECT_EQ(list.Value("Tiny"), "0.005");
  EXPECT_EQ(list.Value("Dbl"), "0.1");
  EXPECT_EQ(list.Value("Flt"), "1.5");
  EXPECT_EQ(list.Value("Day"), "2024-02-29");
  EXPECT_EQ(list.Value("Clock"), "13:14:15");
  EXPECT_EQ(list.Value("Stamp"), "1999-12-31 23:59:58");
  EXPECT_EQ(list.Value("Padded"), "ab   ");
  EXPECT_EQ(list.Value("Memo"), std::string(40000, 'm') + "end");
  EXPECT_EQ(list.Value("Flag"), "TRUE");
  EXPECT_FALSE(list.HasName("Nothing"));
  EXPECT_FALSE(list.HasName("Empty"));
  // Names as the database reports them: quoted ones in their case, plain ones in upper case.
  const std::vector<std::string>& entries = list.Entries();
  EXPECT_EQ(entries[0], "OfficeID=7");
  EXPECT_EQ(entries[1], "Keep=1");
  EXPECT_EQ(entries[entries.size() - 2], "lower=1");
  EXPECT_EQ(entries.back(), "UPPER_NAME=2");
}

TEST_F(BlockingOperationsTest, SetPwdChangesThePasswordAndPassesTheResultKeyAsItsInteger) {
  RequestList list =
      List({"OfficeID=7", "BlockNumber=12", "BlockNumberPWD=secret", "BlockNumberPWDNew=n3w-Pa55"});
  ASSERT_EQ(BlockingsSetPwd(list), 0);
  EXPECT_EQ(list.CommaText(),
            "OfficeID=7,BlockNumber=12,BlockNumberPWD=secret,BlockNumberPWDNew=n3w-Pa55,Result=0");
  EXPECT_EQ(LastCode(), "1");  // no Result entry: 1
  EXPECT_EQ(NewLines().back(),
            "DBBlockings_SetPwd(OfficeID=7,BlockNumber=12,BlockNumberPWD=***,"
            "BlockNumberPWDNew=***):: Res=0, Data=OfficeID=7,BlockNumber=12,BlockNumberPWD=***,"
            "BlockNumberPWDNew=***,Result=0");

  // The old password no longer works, the new one does.
  RequestList old_password = List({"OfficeID=7", "BlockNumber=12", "BlockNumberPWD=secret"});
  ASSERT_EQ(BlockingsGetData(old_password), 0);
  EXPECT_EQ(old_password.Value("Result"), "2");
  RequestList new_password = List({"OfficeID=7", "BlockNumber=12", "BlockNumberPWD=n3w-Pa55"});
  ASSERT_EQ(BlockingsGetData(new_password), 0);
  EXPECT_EQ(new_password.Value("Result"), "0");

  const std::pair<const char*, const char*> integers[] = {
      {"Result=0", "0"},    {"Result=-5", "-5"},
      {"Result=$10", "16"}, {"Result=", "1"},
      {"Result=abc", "1"},  {"Result=99999999999", "1"},
      {"result= 12", "12"}, {"Result=0x7FFFFFFF", "2147483647"}};
  std::string current = "n3w-Pa55";
  for (const auto& [entry, code] : integers) {
    RequestList change = List({"OfficeID=7", "BlockNumber=12"});
    change.SetValue("BlockNumberPWD", current);
    change.SetValue("BlockNumberPWDNew", current == "a" ? "b" : "a");
    change.Add(entry);
    ASSERT_EQ(BlockingsSetPwd(change), 0) << entry;
    ASSERT_EQ(change.Value("Result"), "0") << entry;
    current = current == "a" ? "b" : "a";
    EXPECT_EQ(LastCode(), code) << entry;
  }
  for (const std::string& line : LogLines()) {
    EXPECT_THAT(line, Not(HasSubstr("secret")));
    EXPECT_THAT(line, Not(HasSubstr("n3w-Pa55")));
  }
}

TEST_F(BlockingOperationsTest, SetPwdWithAWrongPasswordChangesNothing) {
  RequestList list =
      List({"OfficeID=7", "BlockNumber=12", "BlockNumberPWD=guess", "BlockNumberPWDNew=mine"});
  ASSERT_EQ(BlockingsSetPwd(list), 0);
  EXPECT_EQ(list.Value("Result"), "2");
  EXPECT_EQ(db_.QueryValue("SELECT BLOCK_PWD FROM BLOCKINGS WHERE OFFICE_ID = '7' AND "
                           "BLOCK_NUMBER = '12'"),
            "secret");
}

TEST_F(BlockingOperationsTest, SetLinkStoresLinkAndNumberStatus) {
  RequestList list = List({"OfficeID=7", "BlockNumber=12", "BlockNumberPWD=secret",
                           "LinkNumber=L-200", "NumberStatus=3"});
  ASSERT_EQ(BlockingsSetLink(list), 0);
  EXPECT_EQ(list.CommaText(),
            "OfficeID=7,BlockNumber=12,BlockNumberPWD=secret,LinkNumber=L-200,NumberStatus=3,"
            "Result=0");
  RequestList read = List({"OfficeID=7", "BlockNumber=12", "BlockNumberPWD=secret"});
  ASSERT_EQ(BlockingsGetData(read), 0);
  EXPECT_EQ(read.Value("LinkNumber"), "L-200");
  EXPECT_EQ(read.Value("Status"), "3");

  // NumberStatus absent, or not a number: 1.
  RequestList defaulted = List({"OfficeID=7", "BlockNumber=12", "BlockNumberPWD=secret",
                                "LinkNumber=L-201", "NumberStatus=three"});
  ASSERT_EQ(BlockingsSetLink(defaulted), 0);
  EXPECT_EQ(defaulted.Value("NumberStatus"), "1");
  EXPECT_EQ(NewLines().back(),
            "DBBlockings_SetLink(OfficeID=7,BlockNumber=12,BlockNumberPWD=***,LinkNumber=L-201,"
            "NumberStatus=three):: Res=0, Data=OfficeID=7,BlockNumber=12,BlockNumberPWD=***,"
            "LinkNumber=L-201,NumberStatus=1,Result=0");
}

TEST_F(BlockingOperationsTest, FailingProcedureLeavesTheListAndLogsTheMaskedRequest) {
  ChangeSchema("CREATE EXCEPTION E_BLOCKED 'Block is being serviced'");
  ChangeSchema(
      "CREATE OR ALTER PROCEDURE SP_BLOCKINGS_SETLINK (O VARCHAR(10), B VARCHAR(10), "
      "P VARCHAR(10), L VARCHAR(10), S INTEGER) RETURNS (\"Result\" INTEGER) "
      "AS BEGIN EXCEPTION E_BLOCKED; SUSPEND; END");
  const RequestList request =
      List({"OfficeID=7", "BlockNumber=12", "BlockNumberPWD=secret", "LinkNumber=L-300"});
  RequestList list = request;
  ASSERT_EQ(BlockingsSetLink(list), -1);
  EXPECT_EQ(list.Entries(), request.Entries());
  const std::string line = NewLines().back();
  EXPECT_THAT(line, StartsWith("DBBlockings_SetLink(OfficeID=7,BlockNumber=12,BlockNumberPWD=***,"
                               "LinkNumber=L-300):: FAIL: exception "));
  EXPECT_THAT(line, HasSubstr("Block is being serviced"));
  EXPECT_FALSE(connection().TransactionActive());
}

TEST_F(BlockingOperationsTest, FailingCommitLeavesTheListReadBack) {
  ChangeSchema("CREATE EXCEPTION E_NO_COMMIT 'Commit refused'");
  ChangeSchema(
      "CREATE TRIGGER REFUSE_COMMIT ON TRANSACTION COMMIT AS BEGIN "
      "IF (RDB$GET_CONTEXT('USER_TRANSACTION', 'REFUSE') = '1') THEN EXCEPTION E_NO_COMMIT; END");
  DefineGetData("\"Result\" INTEGER",
                "RDB$SET_CONTEXT('USER_TRANSACTION', 'REFUSE', '1'); \"Result\" = 0; SUSPEND;");
  RequestList list = List({"OfficeID=7", "BlockNumber=12", "BlockNumberPWD=secret"});
  ASSERT_EQ(BlockingsGetData(list), -1);
  EXPECT_EQ(list.CommaText(), "OfficeID=7,BlockNumber=12,BlockNumberPWD=secret,Result=0");
  EXPECT_THAT(NewLines().back(),
              StartsWith("DBBlockings_GetData(OfficeID=7,BlockNumber=12,BlockNumberPWD=***):: "
                         "FAIL: exception "));
}

TEST_F(BlockingOperationsTest, UnreachableDatabaseLeavesTheListAndWritesNoRequestLine) {
  settings().db_file = db_.Path() + ".missing";
  const RequestList request = List({"OfficeID=7", "BlockNumber=12", "BlockNumberPWD=secret"});
  RequestList list = request;
  EXPECT_EQ(BlockingsGetData(list), -1);
  EXPECT_EQ(list.Entries(), request.Entries());
  EXPECT_THAT(NewLines(), ElementsAre(StartsWith("DBOpen:: Connecting to "),
                                      StartsWith("DBOpen:: Cannot connect to database: ")));
}

}  // namespace
}  // namespace mox::test
