// Commands a careless or hostile host may send: random and oversized payloads for every code,
// NULs and every byte value inside texts, malformed comma text, and SQL meant to break out of its
// parameter. Every known code is answered exactly once, no value reaches SQL as code (the CANARY
// table stays untouched), and every value the procedures echo comes back byte for byte.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <set>

#include "db/request_list.h"
#include "reliability_support.h"

namespace mox::test {
namespace {

bool IsKnownCode(int code) {
  return (code >= 1 && code <= 3) || (code >= 10 && code <= 12);
}

std::string RandomBytes(std::mt19937& random, std::size_t size) {
  std::string bytes(size, '\0');
  std::uniform_int_distribution<int> byte(0, 255);
  for (char& c : bytes) c = static_cast<char>(byte(random));
  return bytes;
}

std::string CommaText(const std::vector<std::pair<std::string, std::string>>& entries) {
  RequestList list;
  for (const auto& [name, value] : entries) list.Add(name + "=" + value);
  return list.CommaText();
}

RequestList ReplyList(const Reply& reply) {
  RequestList list;
  EXPECT_TRUE(list.SetCommaText(std::string_view(reply.bytes).substr(1))) << reply.bytes;
  return list;
}

// A reply whose shape fits its code: the code byte alone (failure), or a success reply.
bool WellFormed(uint8_t code, const Reply& reply) {
  if (reply.length < 1 || reply.bytes.size() != static_cast<std::size_t>(reply.length) ||
      static_cast<uint8_t>(reply.bytes[0]) != code || !reply.nul_after)
    return false;
  if (reply.length == 1) return true;
  const auto state = static_cast<uint8_t>(reply.bytes[1]);
  switch (code) {
    case 1:
      return state <= 1;
    case 2:
    case 3:
      return reply.length == 2 && state <= 1;
    default: {
      RequestList list;
      return list.SetCommaText(std::string_view(reply.bytes).substr(1));
    }
  }
}

class HostileInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    PluginSettings settings = SettingsFor(db_);
    settings.protocol = false;  // megabyte texts would only fill the log twice over
    host_ = std::make_unique<PluginHost>(UniqueLibraryName(), &settings);
    host_->Load();
    host_->Init();
  }
  void TearDown() override {
    host_->Finalize();
    // Nothing a value carried ran as SQL.
    EXPECT_EQ(db_.QueryValue("SELECT COUNT(*) || ':' || MIN(NOTE) FROM CANARY"), "1:untouched");
    EXPECT_EQ(db_.QueryValue("SELECT COUNT(*) FROM BLOCKINGS"), "3");
    EXPECT_EQ(db_.QueryValue("SELECT COUNT(*) FROM SETTINGS_RECORDS"), "3");
  }

  // Sends the payloads in order (tags 0, 1, ...) and returns the replies by tag once every
  // known-code command is answered; fails the test on a missing, doubled or unasked-for reply.
  std::map<int32_t, Reply> SendAll(const std::vector<std::string>& payloads) {
    std::map<int32_t, int> expected;
    for (std::size_t tag = 0; tag < payloads.size(); ++tag) {
      const auto code = static_cast<uint8_t>(payloads[tag][0]);
      if (IsKnownCode(code)) expected[static_cast<int32_t>(tag)] = 0;
      host_->Command(static_cast<int32_t>(tag), payloads[tag]);
    }
    // A known code at the end proves everything before it was handled.
    const auto closing_tag = static_cast<int32_t>(payloads.size());
    expected[closing_tag] = 0;
    host_->Command(closing_tag, Payload(2, "ABC"));
    EXPECT_TRUE(host_->WaitForReplies(expected.size(), 120s));
    const auto replies = host_->Replies();
    const ReplyAudit audit = AuditReplies(expected, replies);
    EXPECT_EQ(audit.answered, expected.size());
    EXPECT_EQ(audit.duplicates, 0u);
    EXPECT_EQ(audit.unexpected, 0u);
    EXPECT_EQ(audit.out_of_order, 0u);
    std::map<int32_t, Reply> by_tag;
    for (const Reply& reply : replies) by_tag[reply.tag] = reply;
    return by_tag;
  }

  Reply Ask(const std::string& payload) {
    const std::size_t before = host_->ReplyCount();
    host_->Command(static_cast<int32_t>(before), payload);
    if (!host_->WaitForReplies(before + 1, 20s)) return Reply{};
    return host_->Replies()[before];
  }

  SampleDatabase db_;
  std::unique_ptr<PluginHost> host_;
};

TEST_F(HostileInputTest, RandomPayloadsOfEverySizeForEveryCode) {
  std::mt19937 random(20240229);
  std::vector<std::string> payloads;
  for (int code = 0; code <= 255; ++code) {
    for (std::size_t size : {0, 1, 2, 16, 300, 9000}) {
      payloads.push_back(Payload(static_cast<uint8_t>(code), RandomBytes(random, size)));
    }
  }
  // A megabyte for each known code and for two codes that select nothing.
  for (int code : {1, 2, 3, 10, 11, 12, 0, 255}) {
    payloads.push_back(Payload(static_cast<uint8_t>(code), RandomBytes(random, 1 << 20)));
  }
  const auto replies = SendAll(payloads);
  std::size_t known = 0;
  for (std::size_t tag = 0; tag < payloads.size(); ++tag) {
    const auto code = static_cast<uint8_t>(payloads[tag][0]);
    if (!IsKnownCode(code)) continue;
    ++known;
    const auto found = replies.find(static_cast<int32_t>(tag));
    ASSERT_NE(found, replies.end()) << "tag " << tag;
    EXPECT_TRUE(WellFormed(code, found->second)) << "tag " << tag << " code " << int{code};
  }
  std::cout << "[ figures  ] " << payloads.size() << " random payloads sent (8 of 1 MB), " << known
            << " known-code commands answered once each, " << payloads.size() - known
            << " others unanswered\n";
}

TEST_F(HostileInputTest, NulsInsideTextsAreKeptNotCutOff) {
  // A NUL ends nothing: "ABC" followed by a NUL is another ID than ABC, and has no record.
  EXPECT_EQ(Ask(Payload(1, std::string("ABC\0", 4))).bytes, std::string("\x01\x00", 2));
  EXPECT_EQ(Ask(Payload(1, std::string("AB\0C", 4))).bytes, std::string("\x01\x00", 2));
  EXPECT_EQ(Ask(Payload(2, std::string("\0XYZ", 4))).bytes, std::string("\x02\x00", 2));
  EXPECT_EQ(Ask(Payload(3, std::string("\x01X\0YZ", 5))).bytes, std::string("\x03\x00", 2));
  // The record itself is untouched and still found by its own ID.
  EXPECT_EQ(Ask(Payload(2, "XYZ")).bytes, "\x02\x01");

  // Comma text is read up to a NUL byte and no further: a blocking command whose text goes on
  // after a NUL would run cut short, so it is refused whole. NULs at the very end (a host that
  // counts the terminator) are fine.
  const std::string cut = CommaText({{"OfficeID", "7"},
                                     {"BlockNumber", "12"},
                                     {"BlockNumberPWD", std::string("secret\0", 7)},
                                     {"LinkNumber", "L-lost"}});
  EXPECT_EQ(Ask(Payload(12, cut)).bytes, "\x0C");
  EXPECT_EQ(Ask(Payload(10, std::string("OfficeID=7\0\0\0x", 14))).bytes, "\x0A");
  EXPECT_EQ(db_.QueryValue("SELECT LINK_NUMBER FROM BLOCKINGS WHERE OFFICE_ID = '7' AND "
                           "BLOCK_NUMBER = '12'"),
            "L-100");
  EXPECT_EQ(CountLinesContaining(host_->LogLines(),
                                 ":: FAIL: malformed comma text, bytes follow a NUL byte"),
            2u);
  const Reply terminated =
      Ask(Payload(10, "OfficeID=7,BlockNumber=12,BlockNumberPWD=secret" + std::string(2, '\0')));
  ASSERT_GT(terminated.length, 1);
  EXPECT_EQ(ReplyList(terminated).Value("Result"), "0");
  EXPECT_EQ(ReplyList(terminated).Value("LinkNumber"), "L-100");
}

TEST_F(HostileInputTest, EveryByteValueInAnEchoedValueComesBackUnchanged) {
  std::vector<std::string> payloads;
  std::vector<std::string> values;
  for (int byte = 0; byte <= 255; ++byte) {
    values.push_back(std::string{'a', static_cast<char>(byte), 'z'});
    payloads.push_back(Payload(12, CommaText({{"OfficeID", "7"},
                                              {"BlockNumber", values.back()},
                                              {"BlockNumberPWD", "secret"},
                                              {"LinkNumber", "L"}})));
  }
  // Every byte but NUL in one text, as a link number that is stored and echoed.
  std::string all_bytes;
  for (int byte = 1; byte <= 255; ++byte) all_bytes += static_cast<char>(byte);
  payloads.push_back(Payload(12, CommaText({{"OfficeID", "7"},
                                            {"BlockNumber", "12"},
                                            {"BlockNumberPWD", "secret"},
                                            {"LinkNumber", all_bytes}})));
  const auto replies = SendAll(payloads);
  for (int byte = 1; byte <= 255; ++byte) {
    const Reply& reply = replies.at(byte);
    ASSERT_GT(reply.length, 1) << "byte " << byte;
    const RequestList list = ReplyList(reply);
    EXPECT_EQ(list.Value("BlockNumber"), values[byte]) << "byte " << byte;
    EXPECT_EQ(list.Value("Result"), "3") << "byte " << byte;
  }
  // A NUL inside a comma text is refused whole, before the database (see above).
  EXPECT_EQ(replies.at(0).bytes, "\x0C");

  const Reply& stored = replies.at(256);
  ASSERT_GT(stored.length, 1);
  EXPECT_EQ(ReplyList(stored).Value("LinkNumber"), all_bytes);
  EXPECT_EQ(ReplyList(stored).Value("Result"), "0");
  EXPECT_EQ(db_.QueryValue("SELECT LINK_NUMBER FROM BLOCKINGS WHERE OFFICE_ID = '7' AND "
                           "BLOCK_NUMBER = '12'"),
            all_bytes);
}

TEST_F(HostileInputTest, MalformedCommaTextIsAnsweredOnceAndNeverMisread) {
  const std::vector<std::string> texts = {
      "\"",
      "\"OfficeID=7",
      "OfficeID=7,\"BlockNumber=12",
      "OfficeID=\"7",
      "\"\"\"",
      ",,,,",
      "=",
      "===,=,",
      "OfficeID",
      "OfficeID=7,,BlockNumber=12,BlockNumberPWD=secret",
      "  OfficeID=7  ,  BlockNumber=12 ",
      "\"OfficeID=7\"x\",BlockNumber=12",
      std::string(100000, ','),
      std::string(100000, '"'),
      std::string("OfficeID=7\0,BlockNumber=12", 26),
  };
  std::vector<std::string> payloads;
  for (const std::string& text : texts) {
    for (uint8_t code : {10, 11, 12}) payloads.push_back(Payload(code, text));
  }
  const auto replies = SendAll(payloads);
  for (std::size_t tag = 0; tag < payloads.size(); ++tag) {
    const auto code = static_cast<uint8_t>(payloads[tag][0]);
    const Reply& reply = replies.at(static_cast<int32_t>(tag));
    EXPECT_TRUE(WellFormed(code, reply)) << "text " << tag / 3;
    RequestList sent;
    // A text with an unclosed quote is refused whole, before the database.
    if (!sent.SetCommaText(std::string_view(payloads[tag]).substr(1))) {
      EXPECT_EQ(reply.length, 1) << "text " << tag / 3;
    }
  }
  EXPECT_GE(CountLinesContaining(host_->LogLines(), ":: FAIL: malformed comma text"), 9u);
}

// Values meant to end their string literal, comment out the rest or run a second statement.
const std::vector<std::string> kInjections = {
    "' OR '1'='1",
    "'; DELETE FROM CANARY; --",
    "7'; UPDATE CANARY SET NOTE = 'hit' WHERE ID = 1; --",
    "'); DROP TABLE CANARY; --",
    "7' UNION SELECT NOTE, NOTE, NOTE, 1, 1 FROM CANARY --",
    "\"; DELETE FROM CANARY; --",
    "1; EXECUTE BLOCK AS BEGIN DELETE FROM CANARY; END",
    "' || (SELECT NOTE FROM CANARY) || '",
    "?",
    ":ID",
    "%s%s%n%d",
    "\\' OR 1=1 --",
    "'",
    "''",
    "--",
    "/*",
    "OfficeID=8",
    "a,b",
    " padded ",
    "line\r\nbreak",
    "DELETE FROM CANARY",
};

TEST_F(HostileInputTest, InjectionThroughEveryTextValueRunsNothingAndEchoesUnchanged) {
  struct Case {
    uint8_t code;
    std::vector<std::pair<std::string, std::string>> entries;
    std::string injected_key;         // the entry that carries the hostile value
    std::string result;               // the procedure's Result
    std::vector<std::string> echoed;  // keys whose values the procedure writes back
  };
  const std::vector<std::pair<std::string, std::string>> getdata = {
      {"OfficeID", "7"}, {"BlockNumber", "12"}, {"BlockNumberPWD", "secret"}};
  const std::vector<std::pair<std::string, std::string>> setpwd = {{"OfficeID", "7"},
                                                                   {"BlockNumber", "13"},
                                                                   {"BlockNumberPWD", "other"},
                                                                   {"BlockNumberPWDNew", "x"}};
  const std::vector<std::pair<std::string, std::string>> setlink = {{"OfficeID", "7"},
                                                                    {"BlockNumber", "12"},
                                                                    {"BlockNumberPWD", "secret"},
                                                                    {"LinkNumber", "L"},
                                                                    {"NumberStatus", "4"}};
  const std::vector<Case> cases = {
      {10, getdata, "OfficeID", "3", {"OfficeID", "BlockNumber"}},
      {10, getdata, "BlockNumber", "3", {"OfficeID", "BlockNumber"}},
      {10, getdata, "BlockNumberPWD", "2", {"OfficeID", "BlockNumber"}},
      {11, setpwd, "OfficeID", "3", {"OfficeID", "BlockNumber"}},
      {11, setpwd, "BlockNumber", "3", {"OfficeID", "BlockNumber"}},
      {11, setpwd, "BlockNumberPWD", "2", {"OfficeID", "BlockNumber"}},
      {12, setlink, "OfficeID", "3", {"OfficeID", "BlockNumber"}},
      {12, setlink, "BlockNumber", "3", {"OfficeID", "BlockNumber"}},
      {12, setlink, "BlockNumberPWD", "2", {"OfficeID", "BlockNumber"}},
      {12, setlink, "LinkNumber", "0", {"OfficeID", "BlockNumber", "LinkNumber"}},
  };
  int checked = 0;
  for (const std::string& injection : kInjections) {
    // The record procedures: an ID nobody has.
    EXPECT_EQ(Ask(Payload(1, injection)).bytes, std::string("\x01\x00", 2)) << injection;
    EXPECT_EQ(Ask(Payload(2, injection)).bytes, std::string("\x02\x00", 2)) << injection;
    EXPECT_EQ(Ask(Payload(3, "\x01" + injection)).bytes, std::string("\x03\x00", 2)) << injection;
    checked += 3;
    for (const Case& c : cases) {
      auto entries = c.entries;
      for (auto& [name, value] : entries) {
        if (name == c.injected_key) value = injection;
      }
      const Reply reply = Ask(Payload(c.code, CommaText(entries)));
      ASSERT_GT(reply.length, 1) << injection << " as " << c.injected_key;
      const RequestList list = ReplyList(reply);
      EXPECT_EQ(list.Value("Result"), c.result) << injection << " as " << c.injected_key;
      for (const std::string& key : c.echoed) {
        const std::string sent = key == c.injected_key ? injection : [&] {
          for (const auto& [name, value] : c.entries)
            if (name == key) return value;
          return std::string();
        }();
        EXPECT_EQ(list.Value(key), sent) << injection << " as " << c.injected_key;
      }
      ++checked;
    }
    // A new password takes the hostile value as it is, and the stored one is exactly that.
    const Reply changed = Ask(Payload(11, CommaText({{"OfficeID", "8"},
                                                     {"BlockNumber", "1"},
                                                     {"BlockNumberPWD", "branch"},
                                                     {"BlockNumberPWDNew", injection}})));
    ASSERT_GT(changed.length, 1);
    EXPECT_EQ(ReplyList(changed).Value("Result"), "0") << injection;
    EXPECT_EQ(db_.QueryValue("SELECT BLOCK_PWD FROM BLOCKINGS WHERE OFFICE_ID = '8'"), injection);
    db_.Execute("UPDATE BLOCKINGS SET BLOCK_PWD = 'branch' WHERE OFFICE_ID = '8'");
    EXPECT_EQ(db_.QueryValue("SELECT LINK_NUMBER FROM BLOCKINGS WHERE OFFICE_ID = '7' AND "
                             "BLOCK_NUMBER = '12'"),
              injection);
    checked += 1;
  }
  std::cout << "[ figures  ] " << kInjections.size() << " hostile values through " << checked
            << " commands; CANARY untouched, every echo unchanged\n";
}

}  // namespace
}  // namespace mox::test
