// The record-state operations against the sample database and against procedures redefined for a
// case: results, out-values, log lines, transactions and the integer readings of a column.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "db/connection.h"
#include "db/database_error.h"
#include "db_test_fixture.h"
#include "log/program_log.h"

namespace mox::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;

constexpr int16_t kUntouched16 = 1234;
constexpr int32_t kUntouched32 = 98765;
const std::string kUntouchedText = "caller's text";

class RecordOperationsTest : public DbToolsTest {
 protected:
  // Redefines SP_GETDATABYID (the record ID comes in as ID).
  void DefineGetData(const std::string& returns, const std::string& body) {
    ChangeSchema("CREATE OR ALTER PROCEDURE SP_GETDATABYID (ID VARCHAR(8000)) RETURNS (" + returns +
                 ") AS BEGIN " + body + " END");
  }
  void DefineGetState(const std::string& returns, const std::string& body) {
    ChangeSchema("CREATE OR ALTER PROCEDURE SP_GETMODIFIEDSTATEBYID (ID VARCHAR(8000)) RETURNS (" +
                 returns + ") AS BEGIN " + body + " END");
  }
  std::string AuditCount() { return db_.QueryValue("SELECT COUNT(*) FROM AUDIT_LOG"); }

  int16_t value_ = kUntouched16;
  std::string text_ = kUntouchedText;
  int32_t state_ = kUntouched32;
};

TEST_F(RecordOperationsTest, GetDataByIdReadsValueAndTextOfTheSampleRecords) {
  ASSERT_EQ(database_.GetDataById("ABC", value_, text_), 0);
  EXPECT_EQ(value_, 42);
  EXPECT_EQ(text_, "Alpha settings");
  ASSERT_EQ(database_.GetDataById("XYZ", value_, text_), 0);
  EXPECT_EQ(value_, -1);
  // 70000 keeps its low 16 bits, as a signed number.
  ASSERT_EQ(database_.GetDataById("BIG", value_, text_), 0);
  EXPECT_EQ(value_, 70000 - 65536);
  EXPECT_EQ(text_, "Value beyond sixteen bits");
  EXPECT_THAT(
      NewLines(),
      ElementsAre(StartsWith("DBOpen:: Connecting to "),
                  "DBOpen:: Successfully connected to database", "DBGetDataByID(ID=ABC):: Res=0",
                  "DBGetDataByID(ID=XYZ):: Res=0", "DBGetDataByID(ID=BIG):: Res=0"));
  EXPECT_FALSE(connection().TransactionActive());
  EXPECT_FALSE(connection().StatementOpen());
}

TEST_F(RecordOperationsTest, NoRowLeavesTheOutValuesAndSucceeds) {
  ASSERT_EQ(database_.GetDataById("NOPE", value_, text_), 0);
  EXPECT_EQ(value_, kUntouched16);
  EXPECT_EQ(text_, kUntouchedText);
  ASSERT_EQ(database_.GetModifiedStateById("NOPE", state_), 0);
  EXPECT_EQ(state_, kUntouched32);
  EXPECT_THAT(NewLines(), ElementsAre(StartsWith("DBOpen:: "), StartsWith("DBOpen:: "),
                                      "DBGetDataByID(ID=NOPE):: Res=0",
                                      "DBGetModifiedStateByID(ID=NOPE):: Res=0"));
}

TEST_F(RecordOperationsTest, NullFirstColumnReadsNothingAndStillCommits) {
  DefineGetData("\"VALUE\" INTEGER, DATA VARCHAR(100)",
                "INSERT INTO AUDIT_LOG (ACTION) VALUES ('NULL ROW'); \"VALUE\" = NULL; "
                "DATA = 'ignored'; SUSPEND;");
  ASSERT_EQ(database_.GetDataById("ABC", value_, text_), 0);
  EXPECT_EQ(value_, kUntouched16);
  EXPECT_EQ(text_, kUntouchedText);
  EXPECT_EQ(AuditCount(), "1");
}

TEST_F(RecordOperationsTest, MissingSecondColumnKeepsTheFirstValueCommitsAndReportsMinusOne) {
  DefineGetData(
      "\"VALUE\" INTEGER",
      "INSERT INTO AUDIT_LOG (ACTION) VALUES ('ONE COLUMN'); \"VALUE\" = 70000; SUSPEND;");
  ASSERT_EQ(database_.GetDataById("ABC", value_, text_), -1);
  EXPECT_EQ(value_, 4464);
  EXPECT_EQ(text_, kUntouchedText);
  EXPECT_EQ(AuditCount(), "1");
  // The success line carries the result; there is no failure line.
  EXPECT_EQ(NewLines().back(), "DBGetDataByID(ID=ABC):: Res=-1");
  EXPECT_FALSE(connection().TransactionActive());
}

TEST_F(RecordOperationsTest, ProcedureErrorIsLoggedAsOneLineAndRolledBack) {
  ChangeSchema("CREATE EXCEPTION E_RECORD_LOCKED 'Record is locked by another user'");
  DefineGetData("\"VALUE\" INTEGER, DATA VARCHAR(100)",
                "INSERT INTO AUDIT_LOG (ACTION) VALUES ('BEFORE ERROR'); "
                "EXCEPTION E_RECORD_LOCKED; SUSPEND;");
  ASSERT_EQ(database_.GetDataById("ABC", value_, text_), -1);
  EXPECT_EQ(value_, kUntouched16);
  EXPECT_EQ(text_, kUntouchedText);
  EXPECT_EQ(AuditCount(), "0");
  const std::string line = NewLines().back();
  EXPECT_THAT(line, StartsWith("DBGetDataByID(ID=ABC):: FAIL: exception "));
  EXPECT_THAT(line, HasSubstr("E_RECORD_LOCKED\\nRecord is locked by another user"));
  EXPECT_FALSE(connection().TransactionActive());
  EXPECT_FALSE(connection().StatementOpen());
  // The connection is still good for the next call.
  ChangeSchema("DROP PROCEDURE SP_GETDATABYID");
  ChangeSchema(
      "CREATE PROCEDURE SP_GETDATABYID (ID VARCHAR(10)) RETURNS (V INTEGER, D VARCHAR(10)) "
      "AS BEGIN V = 1; D = ID; SUSPEND; END");
  ASSERT_EQ(database_.GetDataById("ok", value_, text_), 0);
  EXPECT_EQ(text_, "ok");
}

TEST_F(RecordOperationsTest, FailingCommitKeepsTheValuesReadButRollsBack) {
  // The procedure asks the commit trigger to refuse this transaction.
  ChangeSchema("CREATE EXCEPTION E_NO_COMMIT 'Commit refused'");
  ChangeSchema(
      "CREATE TRIGGER REFUSE_COMMIT ON TRANSACTION COMMIT AS BEGIN "
      "IF (RDB$GET_CONTEXT('USER_TRANSACTION', 'REFUSE') = '1') THEN EXCEPTION E_NO_COMMIT; END");
  DefineGetData("\"VALUE\" INTEGER, DATA VARCHAR(100)",
                "INSERT INTO AUDIT_LOG (ACTION) VALUES ('NOT COMMITTED'); "
                "RDB$SET_CONTEXT('USER_TRANSACTION', 'REFUSE', '1'); "
                "\"VALUE\" = 8; DATA = 'read before the commit'; SUSPEND;");
  ASSERT_EQ(database_.GetDataById("ABC", value_, text_), -1);
  EXPECT_EQ(value_, 8);
  EXPECT_EQ(text_, "read before the commit");
  EXPECT_THAT(NewLines().back(), StartsWith("DBGetDataByID(ID=ABC):: FAIL: exception "));
  EXPECT_FALSE(connection().TransactionActive());
  EXPECT_EQ(AuditCount(), "0");
}

TEST_F(RecordOperationsTest, MissingProcedureAndWrongParameterCountFail) {
  ChangeSchema("DROP PROCEDURE SP_GETMODIFIEDSTATEBYID");
  ASSERT_EQ(database_.GetModifiedStateById("ABC", state_), -1);
  EXPECT_THAT(NewLines().back(), StartsWith("DBGetModifiedStateByID(ID=ABC):: FAIL: "));
  ChangeSchema(
      "CREATE PROCEDURE SP_GETMODIFIEDSTATEBYID (A VARCHAR(10), B VARCHAR(10)) RETURNS (S INTEGER) "
      "AS BEGIN S = 1; SUSPEND; END");
  ASSERT_EQ(database_.GetModifiedStateById("ABC", state_), -1);
  EXPECT_THAT(NewLines().back(), StartsWith("DBGetModifiedStateByID(ID=ABC):: FAIL: "));
  EXPECT_EQ(state_, kUntouched32);
  EXPECT_FALSE(connection().TransactionActive());
}

TEST_F(RecordOperationsTest, FirstColumnReadAsAnInteger) {
  struct Case {
    const char* type;
    const char* value;
    int32_t result;
    int32_t state;
  };
  const Case cases[] = {
      {"INTEGER", "-7", 0, -7},
      {"SMALLINT", "300", 0, 300},
      {"BIGINT", "2147483647", 0, 2147483647},
      {"BIGINT", "2147483648", -1, kUntouched32},
      {"NUMERIC(9,2)", "2.5", 0, 3},
      {"NUMERIC(9,2)", "-2.5", 0, -3},
      {"NUMERIC(18,4)", "1.4999", 0, 1},
      {"VARCHAR(10)", "' 17 '", 0, 17},
      {"CHAR(6)", "'-4'", 0, -4},
      {"VARCHAR(10)", "'x'", -1, kUntouched32},
      {"VARCHAR(20)", "'99999999999'", -1, kUntouched32},
      {"DOUBLE PRECISION", "2", -1, kUntouched32},
      {"DATE", "'2024-01-01'", -1, kUntouched32},
  };
  for (const Case& c : cases) {
    DefineGetState(std::string("STATE ") + c.type,
                   std::string("STATE = ") + c.value + "; SUSPEND;");
    int32_t state = kUntouched32;
    EXPECT_EQ(database_.GetModifiedStateById("ABC", state), c.result) << c.type << " " << c.value;
    EXPECT_EQ(state, c.state) << c.type << " " << c.value;
  }
}

TEST_F(RecordOperationsTest, ModifiedStateIsReadAndWrittenWithTheStateAsSecondInput) {
  ASSERT_EQ(database_.GetModifiedStateById("XYZ", state_), 0);
  EXPECT_EQ(state_, 1);
  int32_t changed = kUntouched32;
  ASSERT_EQ(database_.SetModifiedStateById("ABC", 255, changed), 0);
  EXPECT_EQ(changed, 1);
  EXPECT_EQ(db_.QueryValue("SELECT MODIFIED_STATE FROM SETTINGS_RECORDS WHERE ID = 'ABC'"), "255");
  ASSERT_EQ(database_.SetModifiedStateById("NOPE", 3, changed), 0);
  EXPECT_EQ(changed, 0);
  const std::vector<std::string> lines = NewLines();
  EXPECT_THAT(lines, testing::Contains("DBSetModifiedStateByID(ID=ABC, State=255):: Res=0"));
  EXPECT_EQ(lines.back(), "DBSetModifiedStateByID(ID=NOPE, State=3):: Res=0");
}

TEST_F(RecordOperationsTest, SetModifiedStateFollowsTheProcedureInputsOfEachConnection) {
  // One input: the identifier alone.
  ChangeSchema("DROP PROCEDURE SP_SETMODIFIEDSTATEBYID");
  ChangeSchema(
      "CREATE PROCEDURE SP_SETMODIFIEDSTATEBYID (ID VARCHAR(100)) RETURNS (R INTEGER) "
      "AS BEGIN R = OCTET_LENGTH(ID); SUSPEND; END");
  int32_t value = 0;
  ASSERT_EQ(database_.SetModifiedStateById("ABCD", 9, value), 0);
  EXPECT_EQ(value, 4);

  // Two inputs on a new connection: the state follows as an integer.
  ChangeSchema("DROP PROCEDURE SP_SETMODIFIEDSTATEBYID");
  ChangeSchema(
      "CREATE PROCEDURE SP_SETMODIFIEDSTATEBYID (ID VARCHAR(100), S INTEGER) RETURNS (R INTEGER) "
      "AS BEGIN R = S * 1000 + OCTET_LENGTH(ID); SUSPEND; END");
  database_.Disconnect();
  ASSERT_EQ(database_.SetModifiedStateById("ABCD", 9, value), 0);
  EXPECT_EQ(value, 9004);
}

TEST_F(RecordOperationsTest, WithProtocolOffNothingIsWrittenAndResultsStayTheSame) {
  SetProtocol(false);
  ASSERT_EQ(database_.GetDataById("ABC", value_, text_), 0);
  EXPECT_EQ(value_, 42);
  ChangeSchema("DROP PROCEDURE SP_GETMODIFIEDSTATEBYID");
  EXPECT_EQ(database_.GetModifiedStateById("ABC", state_), -1);
  EXPECT_THAT(NewLines(), IsEmpty());
}

TEST_F(RecordOperationsTest, TransactionLeftActiveIsCommittedBeforeTheNextOperation) {
  ASSERT_EQ(database_.GetDataById("ABC", value_, text_), 0);
  connection().StartTransaction();
  connection().ExecuteStatement("INSERT INTO AUDIT_LOG (ACTION) VALUES ('LEFT OPEN')");
  connection().CloseStatement();
  ASSERT_EQ(database_.GetDataById("ABC", value_, text_), 0);
  EXPECT_EQ(AuditCount(), "1");
}

}  // namespace
}  // namespace mox::test
