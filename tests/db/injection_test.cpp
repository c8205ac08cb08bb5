// Values that could end an SQL string literal, bytes of every value and long texts arrive at the
// procedures unchanged, and nothing else runs.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "config/settings.h"
#include "db/database_error.h"
#include "db/request_list.h"
#include "db_test_fixture.h"

namespace mox::test {
namespace {

std::string EveryByte() {
  std::string bytes;
  for (int b = 1; b < 256; ++b) bytes += static_cast<char>(b);
  return bytes;
}

const char* const kHostile[] = {
    "x'); DELETE FROM CANARY; --",
    "'; UPDATE CANARY SET NOTE = 'gone",
    "a''b",
    "back\\slash\\'",
    "?",
    "\"quoted\", with, commas",
};

class InjectionTest : public DbToolsTest {
 protected:
  void ExpectCanaryUntouched() {
    EXPECT_EQ(db_.QueryValue("SELECT COUNT(*) || ':' || MAX(NOTE) FROM CANARY"), "1:untouched");
  }
};

TEST_F(InjectionTest, RecordIdentifiersArriveAsTheyAre) {
  ChangeSchema(
      "CREATE OR ALTER PROCEDURE SP_GETDATABYID (ID VARCHAR(8000)) "
      "RETURNS (\"VALUE\" INTEGER, DATA VARCHAR(8000)) "
      "AS BEGIN \"VALUE\" = COALESCE(OCTET_LENGTH(ID), -2); DATA = ID; SUSPEND; END");
  std::vector<std::string> ids(std::begin(kHostile), std::end(kHostile));
  ids.push_back(EveryByte());
  ids.push_back(std::string(8000, '\''));
  ids.push_back("");  // an empty text, not NULL
  for (const std::string& id : ids) {
    int16_t value = 0;
    std::string text = "unset";
    ASSERT_EQ(database_.GetDataById(id, value, text), 0) << id;
    EXPECT_EQ(value, static_cast<int16_t>(id.size())) << id;
    EXPECT_EQ(text, id);
  }
  // A hostile identifier of a real record matches that record alone.
  db_.Execute(
      "INSERT INTO SETTINGS_RECORDS (ID, NUM_VALUE, MODIFIED_STATE) "
      "VALUES ('x''); DELETE FROM CANARY; --', 5, 7)");
  int32_t state = 0;
  ASSERT_EQ(database_.GetModifiedStateById(kHostile[0], state), 0);
  EXPECT_EQ(state, 7);
  int32_t changed = 0;
  ASSERT_EQ(database_.SetModifiedStateById(kHostile[1], 9, changed), 0);
  EXPECT_EQ(changed, 0);
  ExpectCanaryUntouched();
}

TEST_F(InjectionTest, ListValuesRoundTripThroughTheSampleProcedures) {
  std::vector<std::string> links(std::begin(kHostile), std::end(kHostile));
  links.push_back(EveryByte());
  std::string long_link;
  while (long_link.size() < 8000) long_link += EveryByte();
  long_link.resize(8000);
  links.push_back(long_link);
  for (const std::string& link : links) {
    RequestList set;
    set.SetValue("OfficeID", "7");
    set.SetValue("BlockNumber", "12");
    set.SetValue("BlockNumberPWD", "secret");
    set.SetValue("LinkNumber", link);
    ASSERT_EQ(BlockingsSetLink(set), 0);
    ASSERT_EQ(set.Value("Result"), "0");
    EXPECT_EQ(set.Value("LinkNumber"), link);

    RequestList get;
    get.SetValue("OfficeID", "7");
    get.SetValue("BlockNumber", "12");
    get.SetValue("BlockNumberPWD", "secret");
    ASSERT_EQ(BlockingsGetData(get), 0);
    EXPECT_EQ(get.Value("LinkNumber"), link);
  }
  EXPECT_EQ(db_.QueryValue("SELECT OCTET_LENGTH(LINK_NUMBER) FROM BLOCKINGS WHERE OFFICE_ID = '7' "
                           "AND BLOCK_NUMBER = '12'"),
            "8000");
  ExpectCanaryUntouched();
}

TEST_F(InjectionTest, TextTravelsInTheConnectionCharacterSet) {
  ChangeSchema(
      "CREATE OR ALTER PROCEDURE SP_GETDATABYID (ID VARCHAR(100)) "
      "RETURNS (\"VALUE\" INTEGER, DATA VARCHAR(100)) "
      "AS BEGIN \"VALUE\" = OCTET_LENGTH(ID); DATA = ID; SUSPEND; END");
  // A Cyrillic letter: two bytes in UTF8, one in the database's WIN1251.
  const std::string zhe_utf8 = "\xD0\x96";
  settings().db_lang = "UTF8";
  int16_t value = 0;
  std::string text;
  ASSERT_EQ(database_.GetDataById(zhe_utf8, value, text), 0);
  EXPECT_EQ(value, 1);
  EXPECT_EQ(text, zhe_utf8);
  database_.Disconnect();
  settings().db_lang = "WIN1251";
  ASSERT_EQ(database_.GetDataById("\xC6", value, text), 0);
  EXPECT_EQ(text, "\xC6");
}

TEST_F(InjectionTest, HostilePasswordsAndOfficesAreJustWrong) {
  for (const char* hostile : kHostile) {
    RequestList list;
    list.SetValue("OfficeID", "7");
    list.SetValue("BlockNumber", "12");
    list.SetValue("BlockNumberPWD", hostile);
    list.SetValue("BlockNumberPWDNew", "owned");
    ASSERT_EQ(BlockingsSetPwd(list), 0) << hostile;
    EXPECT_EQ(list.Value("Result"), "2") << hostile;

    RequestList office;
    office.SetValue("OfficeID", hostile);
    office.SetValue("BlockNumber", "12");
    office.SetValue("BlockNumberPWD", "secret");
    ASSERT_EQ(BlockingsGetData(office), 0) << hostile;
    EXPECT_EQ(office.Value("Result"), "3") << hostile;
  }
  EXPECT_EQ(db_.QueryValue("SELECT BLOCK_PWD FROM BLOCKINGS WHERE OFFICE_ID = '7' AND "
                           "BLOCK_NUMBER = '12'"),
            "secret");
  ExpectCanaryUntouched();
}

}  // namespace
}  // namespace mox::test
