#include "worker/dispatch.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "fake_services.h"

namespace mox {
namespace {

using test::FakeServices;
using test::ReplyLog;
using Strings = std::vector<std::string>;
using namespace std::string_literals;

CommandRecord Command(int32_t tag, uint8_t code, const std::string& text) {
  CommandRecord record;
  record.request_tag = tag;
  record.payload_length = static_cast<uint32_t>(text.size() + 1);
  record.payload = std::make_unique<uint8_t[]>(record.payload_length);
  record.payload[0] = code;
  std::memcpy(record.payload.get() + 1, text.data(), text.size());
  return record;
}

std::string Bytes(std::initializer_list<int> bytes, const std::string& tail = "") {
  std::string out;
  for (int b : bytes) out += static_cast<char>(b);
  return out + tail;
}

class DispatchTest : public ::testing::Test {
 protected:
  void SetUp() override { ReplyLog::Reset(); }

  // Handles one command and returns the reply bytes; fails the test unless exactly one reply
  // came, with the tag, name, user value and the NUL after it.
  std::string Answer(uint8_t code, const std::string& text) {
    ReplyLog::Reset();
    dispatch.HandleCommand(Command(42, code, text));
    const auto replies = ReplyLog::Replies();
    if (replies.size() != 1) {
      ADD_FAILURE() << replies.size() << " replies to code " << int{code};
      return {};
    }
    EXPECT_EQ(replies[0].tag, 42);
    EXPECT_EQ(replies[0].name, test::kFakePluginName);
    EXPECT_EQ(replies[0].user, 7u);
    EXPECT_TRUE(replies[0].nul_after);
    return replies[0].bytes;
  }

  FakeServices db;
  CommandDispatch dispatch{test::RecordReply, 7, db, db};
};

TEST_F(DispatchTest, GetDataByIdLogsCallsAndAnswers) {
  db.value16 = 5;
  db.text = "xyz";
  EXPECT_EQ(Answer(1, "ABC"), Bytes({1, 1}, "xyz"));
  EXPECT_EQ(db.Events(),
            (Strings{"protocol:MSG: ABC", "log:MSG_GETDATABYID(ABC)", "db:DBGetDataByID(ABC)"}));
  // A text with NULs is taken whole, and a NUL inside the data reaches the host.
  db.text = "a\0b"s;
  EXPECT_EQ(Answer(1, "A\0B"s), Bytes({1, 1}, "a\0b"s));
  EXPECT_EQ(db.Events("db:").back(), "DBGetDataByID(A\0B)"s);
  EXPECT_EQ(db.Events("protocol:").back(), "MSG: A\\x00B");
  Answer(1, "");
  EXPECT_EQ(db.Events("db:").back(), "DBGetDataByID()");
}

TEST_F(DispatchTest, GetDataByIdStateByteIsSignedValueAboveZero) {
  db.text = "t";
  const std::vector<std::pair<int16_t, int>> cases = {{5, 1},
                                                      {0, 0},
                                                      {-3, 0},
                                                      {static_cast<int16_t>(70000), 1},
                                                      {static_cast<int16_t>(65536), 0},
                                                      {static_cast<int16_t>(40000), 0}};
  for (const auto& [value, state] : cases) {
    db.value16 = value;
    EXPECT_EQ(Answer(1, "ID"), Bytes({1, state}, "t")) << value;
  }
  // No row right after a data answer: the start values, not the last command's.
  db.row = false;
  EXPECT_EQ(Answer(1, "ID"), Bytes({1, 0}));
}

TEST_F(DispatchTest, ModifiedStateCommands) {
  db.value32 = 7;
  EXPECT_EQ(Answer(2, "R1"), Bytes({2, 1}));
  db.value32 = 0;
  EXPECT_EQ(Answer(2, "R1"), Bytes({2, 0}));
  db.value32 = -1;
  EXPECT_EQ(Answer(3,
                   "\x01"
                   "AB"),
            Bytes({3, 1}));
  EXPECT_EQ(db.Events("log:").back(), "MSG_SETMODIFIEDSTATEBYID(1, AB)");
  EXPECT_EQ(db.Events("db:").back(), "DBSetModifiedStateByID(AB, 1)");
  db.value32 = 0;
  EXPECT_EQ(Answer(3, "\xFF"), Bytes({3, 0}));
  EXPECT_EQ(db.Events("log:").back(), "MSG_SETMODIFIEDSTATEBYID(255, )");
  EXPECT_EQ(db.Events("db:").back(), "DBSetModifiedStateByID(, 255)");
  db.row = false;
  db.value32 = 9;
  EXPECT_EQ(Answer(2, "R1"), Bytes({2, 0}));
  EXPECT_EQ(Answer(3, "\x01R"), Bytes({3, 0}));
}

TEST_F(DispatchTest, SetStateWithoutStateByteIsRefusedUntouched) {
  EXPECT_EQ(Answer(3, ""), Bytes({3}));
  EXPECT_EQ(db.Events(),
            (Strings{"protocol:MSG: ",
                     "log:MSG_SETMODIFIEDSTATEBYID:: FAIL: empty command text, no state byte to "
                     "set"}));
}

TEST_F(DispatchTest, FailedOperationIsAnsweredWithCodeAlone) {
  db.result = -1;
  db.value16 = 5;
  db.value32 = 5;
  db.text = "ignored";
  db.columns = {{"Res", "1"}};
  for (int code : {1, 2, 3, 10, 11, 12}) {
    EXPECT_EQ(Answer(static_cast<uint8_t>(code), "\x01X=1"), Bytes({code})) << code;
  }
  EXPECT_EQ(db.Events("db:").size(), 6u);
}

TEST_F(DispatchTest, BlockingCommandsRefillListAndAnswerItsCommaText) {
  db.columns = {{"Result", "0"}, {"officeid", ""}};
  EXPECT_EQ(Answer(10, "OfficeID=7,BlockNumber=12"), Bytes({10}, "BlockNumber=12,Result=0"));
  EXPECT_EQ(Answer(11, "\"OfficeID=two words\""), Bytes({11}, "Result=0"));
  db.columns = {{"Link", "a b"}};
  EXPECT_EQ(Answer(12, "B=1"), Bytes({12}, "B=1,\"Link=a b\""));
  EXPECT_EQ(db.Events("db:"),
            (Strings{"DBBlockings_GetData[OfficeID=7][BlockNumber=12]",
                     "DBBlockings_SetPwd[OfficeID=two words]", "DBBlockings_SetLink[B=1]"}));
  EXPECT_EQ(db.Events("log:"), (Strings{"MSG_BLOCKINGS_GETDATA(OfficeID=7,BlockNumber=12)",
                                        "MSG_BLOCKINGS_SETPWD(\"OfficeID=two words\")",
                                        "MSG_BLOCKINGS_SETLINK(B=1)"}));
  // Success with an empty list: the code alone, like a failure.
  db.columns = {{"B", ""}};
  EXPECT_EQ(Answer(12, "B=1"), Bytes({12}));
}

TEST_F(DispatchTest, PasswordsNeverReachALogLine) {
  db.columns = {{"Res", "1"}};
  const std::string text = "OfficeID=7,BlockNumberPWD=old1,blocknumberpwdnew=new1";
  EXPECT_EQ(Answer(11, text), Bytes({11}, text + ",Res=1"));  // the host gets them back
  EXPECT_EQ(db.Events("protocol:").back(),
            "MSG: OfficeID=7,BlockNumberPWD=***,blocknumberpwdnew=***");
  EXPECT_EQ(db.Events("log:").back(),
            "MSG_BLOCKINGS_SETPWD(OfficeID=7,BlockNumberPWD=***,blocknumberpwdnew=***)");
}

TEST_F(DispatchTest, MalformedCommaTextIsRefusedUntouched) {
  EXPECT_EQ(Answer(10, "A=1,\"BlockNumberPWD=x"), Bytes({10}));
  EXPECT_EQ(db.Events("db:"), Strings{});
  EXPECT_EQ(db.Events("log:"),
            (Strings{"MSG_BLOCKINGS_GETDATA(A=1,\"BlockNumberPWD=***)",
                     "MSG_BLOCKINGS_GETDATA:: FAIL: malformed comma text, a quoted entry has no "
                     "closing double quote"}));
}

TEST_F(DispatchTest, UnknownCodeIsLoggedAndNeverAnswered) {
  for (int code : {0, 4, 5, 9, 13, 255}) {
    dispatch.HandleCommand(Command(1, static_cast<uint8_t>(code), "t x"));
    EXPECT_EQ(db.Events("log:").back(), "unknown msg: " + std::to_string(code) + " = t x");
  }
  EXPECT_TRUE(ReplyLog::Replies().empty());
  EXPECT_TRUE(db.Events("db:").empty());
}

TEST_F(DispatchTest, WithoutCallbackOnlyTheProtocolLineIsWritten) {
  CommandDispatch silent(nullptr, 7, db, db);
  silent.HandleCommand(Command(1, 1, "ABC"));
  silent.HandleCommand(Command(1, 5, "x"));
  EXPECT_EQ(db.Events(), (Strings{"protocol:MSG: ABC", "protocol:MSG: x"}));
  EXPECT_TRUE(ReplyLog::Replies().empty());
}

TEST_F(DispatchTest, FailuresOfCallbackOrOperationStayInside) {
  CommandDispatch throwing(test::RecordReplyThenThrow, 666, db, db);
  throwing.HandleCommand(Command(1, 2, "R"));
  EXPECT_EQ(db.Events("log:").back(), "MoxSettingsManager:: FAIL: reply callback raised boom");
  EXPECT_EQ(ReplyLog::Replies().size(), 1u);  // called once, not again for its own failure

  // An operation that raises still gets the host its one failure reply.
  db.before_operation = [] { throw std::runtime_error("lost"); };
  EXPECT_EQ(Answer(1, "ID"), Bytes({1}));
  EXPECT_EQ(db.Events("log:").back(),
            "MoxSettingsManager:: FAIL: handling of message 1 raised lost");
}

}  // namespace
}  // namespace mox
