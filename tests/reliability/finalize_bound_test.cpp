// Finalize_Plugin returns within a fixed time whatever the server, the network or the host's
// callback does: it waits for the command in progress, then has the client library cancel the
// running call, then drop the connection, and at last leaves the worker thread behind, silent,
// with the library kept loaded for it.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "reliability_support.h"
#include "support/loaded_library.h"
#include "tcp_proxy.h"

namespace mox::test {
namespace {

const std::string kStateOfAbc = Payload(2, "ABC");
const std::string kStateOfAbcReply("\x02\x00", 2);

// The stop timeouts of the plug-in: finish, cancel, abort.
constexpr long long kFinishMs = 5000;
constexpr long long kBoundMs = 9000;
// What a loaded machine may add to a bound.
constexpr long long kSlackMs = 1500;

constexpr char kCancelLine[] =
    "MoxSettingsManager:: worker still busy 5000 ms after the stop request, cancelling its "
    "database call";
constexpr char kAbortLine[] =
    "MoxSettingsManager:: worker still busy, dropping its database connection";
constexpr char kLeftBehindLine[] =
    "MoxSettingsManager:: FAIL: worker thread did not end within 9000 ms of the stop request; "
    "left behind without replies";
constexpr char kLeftBehindEndedLine[] =
    "MoxSettingsManager:: the worker thread left behind has ended; database objects released";

class FinalizeBoundTest : public ::testing::Test {
 protected:
  void Start(const PluginSettings& settings) {
    host_ = std::make_unique<PluginHost>(UniqueLibraryName(), &settings);
    host_->Load();
    host_->Init();
    // Every call of the callback is stamped when it begins, before it can block.
    host_->SetOnReply([this](const Reply&) {
      std::lock_guard lock(stamps_lock_);
      reply_starts_.push_back(std::chrono::steady_clock::now());
    });
  }

  Reply Ask(int32_t tag, const std::string& payload) {
    const std::size_t before = host_->ReplyCount();
    host_->Command(tag, payload);
    if (!host_->WaitForReplies(before + 1, 20s)) return Reply{};
    return host_->Replies()[before];
  }

  // Calls Finalize_Plugin and returns how long it took; remembers when it returned.
  long long TimedFinalize() {
    const auto start = std::chrono::steady_clock::now();
    host_->Finalize();
    finalized_at_ = std::chrono::steady_clock::now();
    return MsSince(start);
  }

  // Replies whose callback began after Finalize_Plugin returned.
  int RepliesBegunAfterFinalize() {
    std::lock_guard lock(stamps_lock_);
    int late = 0;
    for (const auto& start : reply_starts_) late += start > finalized_at_ ? 1 : 0;
    return late;
  }

  bool WaitForLogLine(const std::string& part, std::chrono::milliseconds timeout) {
    const auto start = std::chrono::steady_clock::now();
    while (!HasLineContaining(host_->LogLines(), part)) {
      if (std::chrono::steady_clock::now() - start > timeout) return false;
      std::this_thread::sleep_for(50ms);
    }
    return true;
  }

  std::unique_ptr<PluginHost> host_;
  std::mutex stamps_lock_;
  std::vector<std::chrono::steady_clock::time_point> reply_starts_;
  std::chrono::steady_clock::time_point finalized_at_;
};

class StalledServerTest : public FinalizeBoundTest {
 protected:
  void SetUp() override {
    MOX_REQUIRE_TEST_SERVER();
    db_ = std::make_unique<SampleDatabase>(DbAccess::kServer);
    proxy_ = std::make_unique<TcpProxy>(kServerPort);
    Start(SettingsThroughPort(*db_, proxy_->port()));
  }
  void TearDown() override {
    host_.reset();
    proxy_.reset();
  }
  std::unique_ptr<SampleDatabase> db_;
  std::unique_ptr<TcpProxy> proxy_;
};

TEST_F(StalledServerTest, CommandInProgressIsEndedByDroppingTheConnection) {
  EXPECT_EQ(Ask(1, kStateOfAbc).bytes, kStateOfAbcReply);
  proxy_->SetStalled(true);
  host_->Command(2, kStateOfAbc);
  for (int tag = 3; tag < 100; ++tag) host_->Command(tag, kStateOfAbc);
  std::this_thread::sleep_for(300ms);
  const long long took = TimedFinalize();
  EXPECT_GE(took, kFinishMs);
  EXPECT_LE(took, kBoundMs + kSlackMs);
  // The command in progress was answered, as a failure, before Finalize_Plugin returned; the
  // queue behind it was dropped.
  const auto replies = host_->Replies();
  ASSERT_EQ(replies.size(), 2u);
  EXPECT_EQ(replies[1].tag, 2);
  EXPECT_EQ(replies[1].bytes, "\x02");
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(RepliesBegunAfterFinalize(), 0);
  const auto lines = host_->LogLines();
  EXPECT_TRUE(HasLineContaining(lines, kCancelLine));
  EXPECT_TRUE(HasLineContaining(lines, kAbortLine));
  EXPECT_FALSE(HasLineContaining(lines, "left behind"));
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2], "MoxSettingsManager finalized");
  EXPECT_EQ(lines.back(), "Finalize_Plugin");
  host_->Unload();
  EXPECT_FALSE(IsLoaded(host_->library_path()));  // nothing left running: unloaded as usual
}

TEST_F(StalledServerTest, IdleConnectionOnASilentNetworkIsClosedWithinTheBound) {
  EXPECT_EQ(Ask(1, kStateOfAbc).bytes, kStateOfAbcReply);
  proxy_->SetStalled(true);
  const long long took = TimedFinalize();
  EXPECT_LE(took, kBoundMs + kSlackMs);
  EXPECT_EQ(host_->ReplyCount(), 1u);
  const auto lines = host_->LogLines();
  EXPECT_TRUE(HasLineContaining(lines, kAbortLine));
  EXPECT_FALSE(HasLineContaining(lines, "left behind"));
  EXPECT_EQ(lines.back(), "Finalize_Plugin");
}

// The connect itself waits on the silent server (the client library gives up only after 180 s),
// and there is no connection yet to cancel: the worker is left behind.
TEST_F(StalledServerTest, ConnectToASilentServerIsLeftBehindAndCleansUpWhenItEnds) {
  proxy_->SetStalled(true);
  host_->Command(1, kStateOfAbc);
  std::this_thread::sleep_for(300ms);
  const long long took = TimedFinalize();
  EXPECT_GE(took, kBoundMs);
  EXPECT_LE(took, kBoundMs + kSlackMs);
  EXPECT_EQ(host_->ReplyCount(), 0u);
  EXPECT_TRUE(HasLineContaining(host_->LogLines(), kLeftBehindLine));
  EXPECT_EQ(host_->LogLines().back(), "Finalize_Plugin");

  // While the thread left behind runs, a new worker is refused and commands with it.
  host_->Init();
  host_->Command(2, kStateOfAbc);
  const auto lines = host_->LogLines();
  EXPECT_TRUE(HasLineContaining(
      lines,
      "Init_Plugin:: FAIL: the worker thread left behind by the last Finalize_Plugin has not "
      "ended yet"));
  EXPECT_EQ(lines.back(), "PLUGIN PANIC: Plugin is not initialized!");

  // The library stays mapped for the thread, whatever the host unloads.
  host_->Unload();
  EXPECT_TRUE(IsLoaded(host_->library_path()));

  // Once the server answers, the thread finishes its command without a reply and cleans up.
  proxy_->SetStalled(false);
  ASSERT_TRUE(WaitForLogLine(kLeftBehindEndedLine, 20s));
  EXPECT_TRUE(HasLineContaining(
      host_->LogLines(),
      "MoxSettingsManager:: reply to request 1 dropped: the plug-in was finalized while it was "
      "being handled"));
  EXPECT_EQ(host_->ReplyCount(), 0u);
  EXPECT_EQ(RepliesBegunAfterFinalize(), 0);

  // The same library instance takes a new worker from then on.
  host_->Load();
  host_->Init();
  EXPECT_EQ(Ask(3, kStateOfAbc).bytes, kStateOfAbcReply);
  host_->Finalize();
}

TEST_F(FinalizeBoundTest, CallbackThatDoesNotReturnIsLeftBehindSilently) {
  SampleDatabase db;
  Start(SettingsFor(db));
  std::mutex lock;
  std::condition_variable released;
  bool release = false;
  std::atomic<int> calls{0};
  host_->SetOnReply([&](const Reply&) {
    {
      std::lock_guard stamps(stamps_lock_);
      reply_starts_.push_back(std::chrono::steady_clock::now());
    }
    ++calls;
    std::unique_lock wait(lock);
    released.wait(wait, [&] { return release; });
  });
  for (int tag = 1; tag <= 50; ++tag) host_->Command(tag, kStateOfAbc);
  while (calls == 0) std::this_thread::sleep_for(1ms);
  const long long took = TimedFinalize();
  EXPECT_GE(took, kBoundMs);
  EXPECT_LE(took, kBoundMs + kSlackMs);
  EXPECT_TRUE(HasLineContaining(host_->LogLines(),
                                std::string(kLeftBehindLine) +
                                    " (a reply callback is still running), the library stays "
                                    "loaded"));
  {
    std::lock_guard wake(lock);
    release = true;
  }
  released.notify_all();
  ASSERT_TRUE(WaitForLogLine(kLeftBehindEndedLine, 10s));
  EXPECT_EQ(calls.load(), 1);
  EXPECT_EQ(RepliesBegunAfterFinalize(), 0);
  host_->Unload();
  EXPECT_TRUE(IsLoaded(host_->library_path()));
}

// A statement that outlasts the first wait is cancelled on the server; the command fails and the
// worker ends without the connection being dropped.
class LongStatementTest : public FinalizeBoundTest,
                          public ::testing::WithParamInterface<DbAccess> {};

TEST_P(LongStatementTest, IsCancelledAfterTheFirstWait) {
  if (GetParam() == DbAccess::kServer) MOX_REQUIRE_TEST_SERVER();
  SampleDatabase db(GetParam());
  AddSlowProcedure(db);
  Start(SettingsFor(db));
  host_->Command(1, SlowCommand(60000));
  host_->Command(2, kStateOfAbc);
  std::this_thread::sleep_for(300ms);
  const long long took = TimedFinalize();
  EXPECT_GE(took, kFinishMs);
  EXPECT_LE(took, kFinishMs + kSlackMs);
  const auto replies = host_->Replies();
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0].tag, 1);
  EXPECT_EQ(replies[0].bytes, "\x02");
  const auto lines = host_->LogLines();
  EXPECT_TRUE(HasLineContaining(lines, kCancelLine));
  EXPECT_FALSE(HasLineContaining(lines, kAbortLine));
  EXPECT_TRUE(HasLineContaining(lines, "operation was cancelled"));
  EXPECT_EQ(db.QueryValue("SELECT COUNT(*) FROM MON$STATEMENTS WHERE MON$STATE = 1 AND "
                          "MON$ATTACHMENT_ID <> CURRENT_CONNECTION"),
            "0");
}

INSTANTIATE_TEST_SUITE_P(Access, LongStatementTest,
                         ::testing::Values(DbAccess::kEmbedded, DbAccess::kServer),
                         [](const auto& param_info) {
                           return param_info.param == DbAccess::kEmbedded ? "Embedded" : "Server";
                         });

TEST_F(FinalizeBoundTest, StatementShorterThanTheFirstWaitIsFinishedAndAnswered) {
  SampleDatabase db;
  AddSlowProcedure(db);
  Start(SettingsFor(db));
  host_->Command(1, SlowCommand(3000));
  host_->Command(2, kStateOfAbc);
  std::this_thread::sleep_for(300ms);
  const long long took = TimedFinalize();
  EXPECT_GE(took, 2500);
  EXPECT_LT(took, kFinishMs);
  const auto replies = host_->Replies();
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0].bytes, "\x02\x01");
  EXPECT_FALSE(HasLineContaining(host_->LogLines(), "worker still busy"));
}

}  // namespace
}  // namespace mox::test
