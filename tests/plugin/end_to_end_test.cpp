// The plug-in end to end, loaded with dlopen as a host loads it, against a real sample database:
// reply bytes, order, life cycle and log lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "e2e/case_runner.h"
#include "plugin/plugin_host.h"
#include "support/firebird_fixture.h"

namespace mox::test {
namespace {

using namespace std::chrono_literals;

std::string UniqueLibraryName() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  return std::string("apMoxSettingsManager_e2e") + info->name() + ".so";
}

std::string PluginNameFor(const std::string& library_name) {
  return "MoxSettingsManager_" +
         library_name.substr(library_name.find('_') + 1,
                             library_name.find('.') - library_name.find('_') - 1);
}

// "<       5> text" -> "text"; other lines unchanged.
std::string WithoutElapsed(const std::string& line) {
  if (line.size() > 10 && line[0] == '<') {
    const auto close = line.find("> ");
    if (close != std::string::npos && close >= 9) return line.substr(close + 2);
  }
  return line;
}

std::vector<std::string> WithoutElapsed(const std::vector<std::string>& lines) {
  std::vector<std::string> result;
  for (const auto& line : lines) result.push_back(WithoutElapsed(line));
  return result;
}

std::string Payload(uint8_t code, const std::string& text) {
  return std::string(1, static_cast<char>(code)) + text;
}

class EndToEndTest : public ::testing::Test {
 protected:
  void StartPlugin(PluginSettings settings, bool with_callback = true) {
    host_ = std::make_unique<PluginHost>(library_name_, &settings);
    host_->Load();
    name_ = host_->Init(kUser, with_callback);
  }
  void StartPlugin() {
    PluginSettings settings;
    settings.db_file = db_.Path();
    StartPlugin(settings);
  }

  // Sends one command and waits for its reply.
  Reply Ask(int32_t tag, const std::string& payload) {
    const std::size_t before = host_->ReplyCount();
    EXPECT_EQ(host_->Command(tag, payload), 0);
    EXPECT_TRUE(host_->WaitForReplies(before + 1, 20s)) << "no reply to tag " << tag;
    auto replies = host_->Replies();
    if (replies.size() <= before) return Reply{};
    return replies[before];
  }

  void ExpectReply(const Reply& reply, int32_t tag, const std::string& bytes) {
    EXPECT_EQ(reply.tag, tag);
    EXPECT_EQ(reply.bytes, bytes) << ::testing::PrintToString(reply.bytes);
    EXPECT_EQ(reply.length, static_cast<int32_t>(bytes.size()));
    EXPECT_TRUE(reply.nul_after);
    EXPECT_EQ(reply.user, kUser);
    EXPECT_EQ(reply.name, PluginNameFor(library_name_));
  }

  static constexpr uint32_t kUser = 0xC0FFEE01u;
  std::string library_name_ = UniqueLibraryName();
  SampleDatabase db_;
  std::unique_ptr<PluginHost> host_;
  const char* name_ = nullptr;
};

TEST_F(EndToEndTest, EveryCodeAnswersWithTheExactReplyBytes) {
  StartPlugin();
  EXPECT_STREQ(name_, PluginNameFor(library_name_).c_str());
  ExpectReply(Ask(1, Payload(1, "ABC")), 1,
              "\x01\x01"
              "Alpha settings");
  ExpectReply(Ask(2, Payload(1, "XYZ")), 2, std::string("\x01\x00", 2) + "Xylophone settings");
  // 70000 keeps its low 16 bits: 4464, greater than 0.
  ExpectReply(Ask(3, Payload(1, "BIG")), 3,
              "\x01\x01"
              "Value beyond sixteen bits");
  // No row, right after a command that did return data: the start values.
  ExpectReply(Ask(4, Payload(1, "NOPE")), 4, std::string("\x01\x00", 2));
  ExpectReply(Ask(5, Payload(2, "ABC")), 5, std::string("\x02\x00", 2));
  ExpectReply(Ask(6, Payload(3, std::string("\x01") + "ABC")), 6, "\x03\x01");
  ExpectReply(Ask(7, Payload(2, "ABC")), 7, "\x02\x01");
  ExpectReply(Ask(8, Payload(3, std::string("\x00", 1) + "NOPE")), 8, std::string("\x03\x00", 2));
  ExpectReply(Ask(10, Payload(10, "OfficeID=7,BlockNumber=12,BlockNumberPWD=secret")), 10,
              "\x0A"
              "OfficeID=7,BlockNumber=12,BlockNumberPWD=secret,LinkNumber=L-100,Status=1,"
              "Result=0");
  ExpectReply(Ask(11, Payload(11,
                              "OfficeID=7,BlockNumber=12,BlockNumberPWD=secret,"
                              "BlockNumberPWDNew=secret2")),
              11,
              "\x0B"
              "OfficeID=7,BlockNumber=12,BlockNumberPWD=secret,BlockNumberPWDNew=secret2,Result=0");
  ExpectReply(Ask(12, Payload(12,
                              "officeid=7,BlockNumber=12,BlockNumberPWD=secret2,"
                              "\"LinkNumber=L 200\",NumberStatus=2")),
              12,
              "\x0C"
              "OfficeID=7,BlockNumber=12,BlockNumberPWD=secret2,\"LinkNumber=L 200\","
              "NumberStatus=2,Result=0");
  // The changes reached the database.
  EXPECT_EQ(db_.QueryValue("SELECT LINK_NUMBER FROM BLOCKINGS WHERE OFFICE_ID = '7' AND "
                           "BLOCK_NUMBER = '12'"),
            "L 200");
  host_->Finalize();
}

TEST_F(EndToEndTest, FailuresAnswerWithTheCodeAloneAndUnknownCodesAreNotAnswered) {
  PluginSettings settings;
  settings.db_file = db_.Path() + ".missing";
  StartPlugin(settings);
  for (uint8_t code : {1, 2, 3, 10, 11, 12}) {
    ExpectReply(Ask(code, Payload(code, code == 3 ? std::string("\x01") + "ABC" : "OfficeID=7")),
                code, std::string(1, static_cast<char>(code)));
  }
  EXPECT_EQ(host_->Command(99, Payload(5, "what")), 0);
  // A known code behind it proves the unknown one was passed over, not just slow.
  ExpectReply(Ask(100, Payload(2, "ABC")), 100, "\x02");
  EXPECT_EQ(host_->ReplyCount(), 7u);
  host_->Finalize();
  const auto lines = host_->LogLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "unknown msg: 5 = what"), lines.end());
}

TEST_F(EndToEndTest, LifeCycleLinesComeInOrderAndPasswordsNeverReachTheLog) {
  StartPlugin();
  Ask(1, Payload(2, "ABC"));
  Ask(2, Payload(10, "OfficeID=7,BlockNumber=12,BlockNumberPWD=secret"));
  host_->Finalize();
  const auto lines = WithoutElapsed(host_->LogLines());
  const std::string name = PluginNameFor(library_name_);
  const std::vector<std::string> expected = {
      "Init_Plugin: " + name,
      "MoxSettingsManager initializing...",
      "ReadSettings:: OK",
      "WriteSettings:: OK",
      "CreateDBControls:: OK",
      "MoxSettingsManager initialized",
      "MSG: ABC",
      "MSG_GETMODIFIEDSTATEBYID(ABC)",
      "DBOpen:: Connecting to " + db_.Path(),
      "DBOpen:: Successfully connected to database",
      "DBGetModifiedStateByID(ID=ABC):: Res=0",
      "MSG: OfficeID=7,BlockNumber=12,BlockNumberPWD=***",
      "MSG_BLOCKINGS_GETDATA(OfficeID=7,BlockNumber=12,BlockNumberPWD=***)",
      "DBBlockings_GetData(OfficeID=7,BlockNumber=12,BlockNumberPWD=***):: Res=0, "
      "Data=OfficeID=7,BlockNumber=12,BlockNumberPWD=***,LinkNumber=L-100,Status=1,Result=0",
      "MoxSettingsManager finalizing...",
      "DBClose:: Successfully disconnected from database",
      "DestroyDBControls:: OK",
      "MoxSettingsManager finalized",
      "Finalize_Plugin"};
  EXPECT_EQ(lines, expected);
  for (const auto& line : lines) EXPECT_EQ(line.find("secret"), std::string::npos) << line;
}

TEST_F(EndToEndTest, ProtocolOffWritesOnlyTheMainLines) {
  PluginSettings settings;
  settings.db_file = db_.Path();
  settings.protocol = false;
  StartPlugin(settings);
  ExpectReply(Ask(1, Payload(1, "ABC")), 1,
              "\x01\x01"
              "Alpha settings");
  host_->Finalize();
  const std::vector<std::string> expected = {"Init_Plugin: " + PluginNameFor(library_name_),
                                             "MoxSettingsManager initializing...",
                                             "MoxSettingsManager initialized",
                                             "MSG_GETDATABYID(ABC)",
                                             "MoxSettingsManager finalizing...",
                                             "MoxSettingsManager finalized",
                                             "Finalize_Plugin"};
  EXPECT_EQ(host_->LogLines(), expected);
}

TEST_F(EndToEndTest, CommandsFromSeveralThreadsAreAnsweredOnceEachInPostingOrder) {
  StartPlugin();
  constexpr int kThreads = 4;
  constexpr int kPerThread = 150;
  std::vector<std::thread> posters;
  for (int t = 0; t < kThreads; ++t) {
    posters.emplace_back([&, t] {
      for (int i = 0; i < kPerThread; ++i) host_->Command(t * 100000 + i, Payload(2, "ABC"));
    });
  }
  for (auto& poster : posters) poster.join();
  ASSERT_TRUE(host_->WaitForReplies(kThreads * kPerThread, 60s));
  host_->Finalize();
  const auto replies = host_->Replies();
  ASSERT_EQ(replies.size(), static_cast<std::size_t>(kThreads * kPerThread));
  std::map<int, int> next;  // thread -> next expected index
  for (const auto& reply : replies) {
    const int thread = reply.tag / 100000;
    EXPECT_EQ(reply.tag % 100000, next[thread]) << "thread " << thread;
    next[thread] = reply.tag % 100000 + 1;
    EXPECT_EQ(reply.bytes, std::string("\x02\x00", 2));
    EXPECT_NE(reply.thread, std::this_thread::get_id());
  }
}

TEST_F(EndToEndTest, FinalizeFinishesTheCommandInProgressDropsTheRestAndThenStaysSilent) {
  StartPlugin();
  std::atomic<int> in_callback{0};
  host_->SetOnReply([&](const Reply&) {
    in_callback = 1;
    std::this_thread::sleep_for(50ms);
  });
  for (int i = 0; i < 200; ++i) host_->Command(i, Payload(2, "ABC"));
  ASSERT_TRUE(host_->WaitForReplies(1, 20s));
  host_->Finalize();
  const std::size_t at_return = host_->ReplyCount();
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(host_->ReplyCount(), at_return);
  EXPECT_LT(at_return, 200u);
  // Answers are in order with no gap: the ones dropped are the tail.
  const auto replies = host_->Replies();
  for (std::size_t i = 0; i < replies.size(); ++i) EXPECT_EQ(replies[i].tag, static_cast<int>(i));
}

TEST_F(EndToEndTest, IdleFinalizeReturnsWithinAboutASecond) {
  StartPlugin();
  Ask(1, Payload(2, "ABC"));
  const auto start = std::chrono::steady_clock::now();
  host_->Finalize();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2500ms);
}

TEST_F(EndToEndTest, WithoutCallbackCommandsLeaveTheDatabaseAlone) {
  PluginSettings settings;
  settings.db_file = db_.Path();
  StartPlugin(settings, /*with_callback=*/false);
  host_->Command(1, Payload(3, std::string("\x05") + "ABC"));
  host_->Command(2, Payload(2, "ABC"));
  std::this_thread::sleep_for(300ms);
  host_->Finalize();
  EXPECT_EQ(host_->ReplyCount(), 0u);
  EXPECT_EQ(db_.QueryValue("SELECT MODIFIED_STATE FROM SETTINGS_RECORDS WHERE ID = 'ABC'"), "0");
}

TEST_F(EndToEndTest, RefusedCommandsAreAnsweredWithTheCodeAloneWithoutTouchingTheDatabase) {
  StartPlugin();
  ExpectReply(Ask(1, Payload(3, "")), 1, "\x03");
  ExpectReply(Ask(2, Payload(10, "OfficeID=7,\"BlockNumber=12")), 2, "\x0A");
  host_->Finalize();
  const auto lines = host_->LogLines();
  auto has = [&](const std::string& text) {
    return std::find(lines.begin(), lines.end(), text) != lines.end();
  };
  EXPECT_TRUE(has("MSG_SETMODIFIEDSTATEBYID:: FAIL: empty command text, no state byte to set"));
  EXPECT_TRUE(
      has("MSG_BLOCKINGS_GETDATA:: FAIL: malformed comma text, a quoted entry has no "
          "closing double quote"));
  // Neither command connected.
  for (const auto& line : lines) EXPECT_EQ(line.find("DBOpen::"), std::string::npos) << line;
}

TEST_F(EndToEndTest, ACallbackThatThrowsDoesNotStopLaterReplies) {
  StartPlugin();
  std::atomic<int> calls{0};
  host_->SetOnReply([&](const Reply&) {
    if (calls++ == 0) throw std::runtime_error("host failure");
  });
  host_->Command(1, Payload(2, "ABC"));
  host_->Command(2, Payload(2, "ABC"));
  ASSERT_TRUE(host_->WaitForReplies(1, 20s));
  host_->Finalize();
  const auto replies = host_->Replies();
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0].tag, 2);
  EXPECT_EQ(calls.load(), 2);
  const auto lines = host_->LogLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      "MoxSettingsManager:: FAIL: reply callback raised host failure"),
            lines.end());
}

TEST_F(EndToEndTest, ACallbackMayPostCommandsItself) {
  StartPlugin();
  std::atomic<int> posted{0};
  host_->SetOnReply([&](const Reply& reply) {
    if (reply.tag < 5) {
      ++posted;
      host_->Command(reply.tag + 1, Payload(2, "ABC"));
    }
  });
  host_->Command(1, Payload(2, "ABC"));
  ASSERT_TRUE(host_->WaitForReplies(5, 20s));
  host_->Finalize();
  const auto replies = host_->Replies();
  ASSERT_EQ(replies.size(), 5u);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(replies[i].tag, i + 1);
}

TEST_F(EndToEndTest, ASecondInitReplacesTheWorkerWithTheNewUserValue) {
  StartPlugin();
  ExpectReply(Ask(1, Payload(2, "ABC")), 1, std::string("\x02\x00", 2));
  host_->Init(7);
  host_->Command(2, Payload(2, "ABC"));
  ASSERT_TRUE(host_->WaitForReplies(2, 20s));
  host_->Finalize();
  const auto replies = host_->Replies();
  ASSERT_EQ(replies.size(), 2u);
  EXPECT_EQ(replies[1].user, 7u);
  const auto lines = host_->LogLines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "MoxSettingsManager initialized"), 2);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "MoxSettingsManager finalized"), 2);
}

TEST_F(EndToEndTest, HostileTextValuesReachTheDatabaseUnchanged) {
  StartPlugin();
  const std::string hostile = "x'); DELETE FROM CANARY; --\\\xC0\xFF";
  // Through the blocking list: the procedure echoes OfficeID.
  std::string list = "\"OfficeID=" + hostile + "\",BlockNumber=12,BlockNumberPWD=secret";
  const Reply reply = Ask(1, Payload(10, list));
  EXPECT_EQ(reply.bytes.substr(0, 1), "\x0A");
  EXPECT_NE(reply.bytes.find(hostile), std::string::npos) << ::testing::PrintToString(reply.bytes);
  ExpectReply(Ask(2, Payload(1, hostile)), 2, std::string("\x01\x00", 2));
  host_->Finalize();
  EXPECT_EQ(db_.QueryValue("SELECT COUNT(*) FROM CANARY"), "1");
}

// The case table the Windows DLLs run too, on a database reached embedded and through the server.
class SharedCasesTest : public ::testing::TestWithParam<DbAccess> {};

TEST_P(SharedCasesTest, EveryStepOfTheTablePasses) {
  if (GetParam() == DbAccess::kServer) MOX_REQUIRE_TEST_SERVER();
  SampleDatabase db(GetParam());
  const PluginHost copy(GetParam() == DbAccess::kServer ? "apMoxSettingsManager_cases.so"
                                                        : "apMoxSettingsManager_local.so",
                        nullptr);
  EXPECT_EQ(MoxRunCaseTable(MOX_SOURCE_DIR "/tests/e2e/cases.txt", copy.library_path().c_str(),
                            db.AttachName().c_str(), db.Password().c_str(), HostLogRoot().c_str()),
            0);
}

INSTANTIATE_TEST_SUITE_P(Access, SharedCasesTest,
                         ::testing::Values(DbAccess::kEmbedded, DbAccess::kServer),
                         [](const auto& param_info) {
                           return param_info.param == DbAccess::kEmbedded ? "Embedded" : "Server";
                         });

}  // namespace
}  // namespace mox::test
