// The loaded plug-in against a real server that goes away: a restart in the middle of a stream,
// its attachment ended from outside, and a proxy that cuts, resets and stalls the connection.
// Every command is answered exactly once, failures with the code byte alone, and the connection
// comes back with the first command after the fault has passed.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "reliability_support.h"
#include "tcp_proxy.h"

namespace mox::test {
namespace {

const std::string kStateOfAbc = Payload(2, "ABC");
const std::string kStateOfAbcReply("\x02\x00", 2);
const std::string kFailed2("\x02", 1);

class ServerFaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MOX_REQUIRE_TEST_SERVER();
    db_ = std::make_unique<SampleDatabase>(DbAccess::kServer);
  }

  void Start(const PluginSettings& settings) {
    host_ = std::make_unique<PluginHost>(UniqueLibraryName(), &settings);
    host_->Load();
    host_->Init();
  }

  // Sends one command and returns its reply; an empty reply (length 0) when none came in time.
  Reply Ask(int32_t tag, const std::string& payload, std::chrono::milliseconds timeout = 20s) {
    const std::size_t before = host_->ReplyCount();
    host_->Command(tag, payload);
    if (!host_->WaitForReplies(before + 1, timeout)) return Reply{};
    return host_->Replies()[before];
  }

  // Ends the plug-in's attachments from a second attachment of the test's own.
  void EndOtherAttachments() {
    db_->Execute("DELETE FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID <> CURRENT_CONNECTION");
  }

  // Waits until the slow procedure is running on the server.
  bool WaitForRunningStatement() {
    for (int i = 0; i < 100; ++i) {
      if (db_->QueryValue("SELECT COUNT(*) FROM MON$STATEMENTS WHERE MON$STATE = 1 AND "
                          "MON$ATTACHMENT_ID <> CURRENT_CONNECTION") != "0")
        return true;
      std::this_thread::sleep_for(50ms);
    }
    return false;
  }

  void FinalizeAndExpectSilence() {
    host_->Finalize();
    const std::size_t at_return = host_->ReplyCount();
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(host_->ReplyCount(), at_return);
  }

  std::unique_ptr<SampleDatabase> db_;
  std::unique_ptr<PluginHost> host_;
};

class ServerRestartTest : public ServerFaultTest {
 protected:
  void SetUp() override {
    ServerFaultTest::SetUp();
    if (IsSkipped()) return;
    if (!ServerRestartAllowed())
      GTEST_SKIP() << "Stopping the server is not allowed here: set MOX_TEST_SERVER_RESTART=1";
  }
  void TearDown() override {
    // Whatever happened, leave the server running for the tests after this one.
    if (db_ && ServerRestartAllowed())
      StartLocalServer(db_->AttachName(), db_->User(), db_->Password());
  }
};

// A stream of commands, one after another; the server is stopped after the 600th answer and
// started again once at least five commands have failed (the stream waits after twenty). How long
// the server takes to go away differs between machines, so the stream runs on until 500 commands
// have been sent after the restart.
TEST_F(ServerRestartTest, RestartInTheMiddleOfAStreamLosesNoCommand) {
  Start(SettingsFor(*db_));
  constexpr int kAfterRestart = 500;
  constexpr int kMostCommands = 100000;  // ends the stream if the server never goes away
  std::atomic<int> answered{0};
  std::atomic<int> failures{0};
  std::atomic<int> first_tag_after_start{-1};
  std::atomic<bool> server_back{false};
  std::vector<Reply> stream;
  std::thread sender([&] {
    for (int tag = 0; tag < kMostCommands; ++tag) {
      // Failures come fast: hold the stream once a few have failed, so that commands are left
      // for after the restart however long it takes.
      while (failures >= 20 && !server_back) std::this_thread::sleep_for(1ms);
      if (server_back && first_tag_after_start < 0) first_tag_after_start = tag;
      if (first_tag_after_start >= 0 && tag >= first_tag_after_start + kAfterRestart) break;
      Reply reply = Ask(tag, kStateOfAbc);
      if (reply.bytes == kFailed2) ++failures;
      stream.push_back(std::move(reply));
      ++answered;
    }
  });
  // The sender is joined on every path out of here, an exception from the server scripts included.
  struct Join {
    std::atomic<bool>& back;
    std::thread& thread;
    ~Join() {
      back = true;
      thread.join();
    }
  };
  {
    Join join{server_back, sender};
    const auto started_at = std::chrono::steady_clock::now();
    while (answered < 600 && MsSince(started_at) < 60000) std::this_thread::sleep_for(1ms);
    ASSERT_GE(answered.load(), 600) << "the stream did not get going";
    StopLocalServer();
    const auto stopped_at = std::chrono::steady_clock::now();
    while (failures < 5 && MsSince(stopped_at) < 30000) std::this_thread::sleep_for(1ms);
    StartLocalServer(db_->AttachName(), db_->User(), db_->Password());
  }
  FinalizeAndExpectSilence();

  const int sent = static_cast<int>(stream.size());
  const std::vector<Reply> all = host_->Replies();
  EXPECT_EQ(all.size(), stream.size());  // nothing doubled
  int succeeded = 0;
  int failed = 0;
  for (int tag = 0; tag < sent; ++tag) {
    const Reply& reply = stream[tag];
    ASSERT_EQ(reply.tag, tag);
    if (reply.bytes == kStateOfAbcReply) {
      ++succeeded;
    } else {
      EXPECT_EQ(reply.bytes, kFailed2) << "tag " << tag;
      ++failed;
    }
  }
  EXPECT_GE(failed, 5);
  EXPECT_EQ(succeeded + failed, sent);
  // Restored with the first command sent after the server was back.
  ASSERT_GE(first_tag_after_start.load(), 0);
  EXPECT_EQ(sent, first_tag_after_start + kAfterRestart);
  for (int tag = first_tag_after_start; tag < sent; ++tag)
    EXPECT_EQ(stream[tag].bytes, kStateOfAbcReply) << "tag " << tag;
  const auto lines = host_->LogLines();
  EXPECT_EQ(CountLinesContaining(lines, "DBOpen:: Successfully connected to database"), 2u);
  EXPECT_GE(CountLinesContaining(lines, "DBOpen:: Cannot connect to database: "), 4u);
  std::cout << "[ figures  ] " << sent << " sent, " << succeeded << " answered with data, "
            << failed << " answered as failures, 0 lost\n";
}

TEST_F(ServerFaultTest, AttachmentEndedFromOutsideWhileIdleIsReplacedByTheNextCommand) {
  Start(SettingsFor(*db_));
  EXPECT_EQ(Ask(1, kStateOfAbc).bytes, kStateOfAbcReply);
  EndOtherAttachments();
  EXPECT_EQ(Ask(2, kStateOfAbc).bytes, kStateOfAbcReply);
  EXPECT_EQ(Ask(3, kStateOfAbc).bytes, kStateOfAbcReply);
  FinalizeAndExpectSilence();
  EXPECT_EQ(host_->ReplyCount(), 3u);
  EXPECT_EQ(CountLinesContaining(host_->LogLines(), "DBOpen:: Successfully connected"), 2u);
}

TEST_F(ServerFaultTest, AttachmentEndedWhileAProcedureRunsFailsThatCommandOnly) {
  AddSlowProcedure(*db_);
  Start(SettingsFor(*db_));
  EXPECT_EQ(Ask(1, kStateOfAbc).bytes, kStateOfAbcReply);
  host_->Command(2, SlowCommand(10000));
  host_->Command(3, kStateOfAbc);
  ASSERT_TRUE(WaitForRunningStatement());
  const auto ended_at = std::chrono::steady_clock::now();
  EndOtherAttachments();
  ASSERT_TRUE(host_->WaitForReplies(3, 20s));
  EXPECT_LT(MsSince(ended_at), 8000);  // well before the procedure would have ended
  const auto replies = host_->Replies();
  EXPECT_EQ(replies[1].tag, 2);
  EXPECT_EQ(replies[1].bytes, kFailed2);
  EXPECT_EQ(replies[2].tag, 3);
  EXPECT_EQ(replies[2].bytes, kStateOfAbcReply);
  FinalizeAndExpectSilence();
  EXPECT_EQ(host_->ReplyCount(), 3u);
}

TEST_F(ServerFaultTest, ProcedureThatRunsForSecondsIsAnsweredAndTheQueueBehindItWaits) {
  AddSlowProcedure(*db_);
  Start(SettingsFor(*db_));
  const auto start = std::chrono::steady_clock::now();
  host_->Command(1, SlowCommand(3000));
  for (int tag = 2; tag <= 20; ++tag) host_->Command(tag, kStateOfAbc);
  ASSERT_TRUE(host_->WaitForReplies(20, 30s));
  EXPECT_GE(MsSince(start), 3000);
  const auto replies = host_->Replies();
  EXPECT_EQ(replies[0].tag, 1);
  EXPECT_EQ(replies[0].bytes, "\x02\x01");
  for (int i = 1; i < 20; ++i) {
    EXPECT_EQ(replies[i].tag, i + 1);
    EXPECT_EQ(replies[i].bytes, kStateOfAbcReply);
  }
  FinalizeAndExpectSilence();
}

class ProxyFaultTest : public ServerFaultTest {
 protected:
  void SetUp() override {
    ServerFaultTest::SetUp();
    if (IsSkipped()) return;
    proxy_ = std::make_unique<TcpProxy>(kServerPort);
  }
  void TearDown() override {
    // The plug-in goes before the proxy it talks through.
    host_.reset();
    proxy_.reset();
  }
  std::unique_ptr<TcpProxy> proxy_;
};

TEST_F(ProxyFaultTest, CutAndResetWhileIdleAreRepairedByTheNextCommand) {
  Start(SettingsThroughPort(*db_, proxy_->port()));
  int tag = 0;
  EXPECT_EQ(Ask(++tag, kStateOfAbc).bytes, kStateOfAbcReply);
  for (bool reset : {false, true, false, true}) {
    if (reset)
      proxy_->ResetAll();
    else
      proxy_->CutAll();
    EXPECT_EQ(Ask(++tag, kStateOfAbc).bytes, kStateOfAbcReply)
        << "after a " << (reset ? "reset" : "cut");
  }
  FinalizeAndExpectSilence();
  EXPECT_EQ(host_->ReplyCount(), 5u);
  EXPECT_EQ(proxy_->Accepted(), 5);  // one new connection per fault
}

TEST_F(ProxyFaultTest, CutOrResetDuringAProcedureFailsThatCommandAndTheNextSucceeds) {
  AddSlowProcedure(*db_);
  Start(SettingsThroughPort(*db_, proxy_->port()));
  int tag = 0;
  EXPECT_EQ(Ask(++tag, kStateOfAbc).bytes, kStateOfAbcReply);
  for (bool reset : {false, true}) {
    const std::size_t before = host_->ReplyCount();
    host_->Command(++tag, SlowCommand(5000));
    ASSERT_TRUE(WaitForRunningStatement());
    const auto fault_at = std::chrono::steady_clock::now();
    if (reset)
      proxy_->ResetAll();
    else
      proxy_->CutAll();
    ASSERT_TRUE(host_->WaitForReplies(before + 1, 20s));
    EXPECT_LT(MsSince(fault_at), 3000);
    EXPECT_EQ(host_->Replies()[before].bytes, kFailed2);
    EXPECT_EQ(Ask(++tag, kStateOfAbc).bytes, kStateOfAbcReply);
    // The server ends the orphaned statement when it next touches the dropped connection.
    std::this_thread::sleep_for(5500ms - std::chrono::milliseconds(MsSince(fault_at)));
  }
  FinalizeAndExpectSilence();
  EXPECT_EQ(host_->ReplyCount(), 5u);
}

TEST_F(ProxyFaultTest, StallThatEndsLetsTheCommandsThroughLateButComplete) {
  Start(SettingsThroughPort(*db_, proxy_->port()));
  EXPECT_EQ(Ask(1, kStateOfAbc).bytes, kStateOfAbcReply);
  proxy_->SetStalled(true);
  for (int tag = 2; tag <= 11; ++tag) host_->Command(tag, kStateOfAbc);
  std::this_thread::sleep_for(2s);
  EXPECT_EQ(host_->ReplyCount(), 1u);
  proxy_->SetStalled(false);
  ASSERT_TRUE(host_->WaitForReplies(11, 20s));
  const auto replies = host_->Replies();
  for (int i = 0; i < 11; ++i) {
    EXPECT_EQ(replies[i].tag, i + 1);
    EXPECT_EQ(replies[i].bytes, kStateOfAbcReply);
  }
  FinalizeAndExpectSilence();
  EXPECT_EQ(proxy_->Accepted(), 1);
}

}  // namespace
}  // namespace mox::test
