// The host pushing hard and using the plug-in in odd ways: many posting threads, hundreds of
// life cycles in one process, a stop with a full queue, slow and re-entrant callbacks.
#include <gtest/gtest.h>

#include <atomic>
#include <iostream>
#include <memory>
#include <thread>

#include "reliability_support.h"
#include "support/loaded_library.h"

namespace mox::test {
namespace {

const std::string kStateOfAbc = Payload(2, "ABC");
const std::string kStateOfAbcReply("\x02\x00", 2);
// Answered with the code byte alone without reaching the database: the cheapest known command.
const std::string kCheapCommand = Payload(3, "");
const std::string kCheapReply = "\x03";

PluginSettings QuietSettings(const SampleDatabase& db) {
  PluginSettings settings = SettingsFor(db);
  settings.protocol = false;
  return settings;
}

class LoadTest : public ::testing::Test {
 protected:
  void Start(const PluginSettings& settings) {
    host_ = std::make_unique<PluginHost>(UniqueLibraryName(), &settings);
    host_->Load();
    host_->Init();
  }

  Reply Ask(int32_t tag, const std::string& payload) {
    const std::size_t before = host_->ReplyCount();
    host_->Command(tag, payload);
    if (!host_->WaitForReplies(before + 1, 20s)) return Reply{};
    return host_->Replies()[before];
  }

  SampleDatabase db_;
  std::unique_ptr<PluginHost> host_;
};

// 8 threads post 20,000 commands each while the worker answers; every tenth command has a code
// that selects nothing and must never be answered.
TEST_F(LoadTest, EightThreadsPostingAtOnceGetEveryAnswerOnceInTheirOrder) {
  Start(QuietSettings(db_));
  constexpr int kThreads = 8;
  constexpr int kPerThread = 20000;
  std::map<int32_t, int> expected;
  for (int t = 0; t < kThreads; ++t) {
    for (int i = 0; i < kPerThread; ++i) {
      if (i % 10 != 9) expected[t * 1000000 + i] = t;
    }
  }
  std::vector<std::thread> posters;
  for (int t = 0; t < kThreads; ++t) {
    posters.emplace_back([&, t] {
      for (int i = 0; i < kPerThread; ++i) {
        const int32_t tag = t * 1000000 + i;
        EXPECT_EQ(host_->Command(tag, i % 10 == 9 ? Payload(5, "x") : kCheapCommand), 0);
      }
    });
  }
  for (auto& poster : posters) poster.join();
  ASSERT_TRUE(host_->WaitForReplies(expected.size(), 120s));
  // Answers to the unknown codes would have come in between; give a straggler time to show.
  std::this_thread::sleep_for(200ms);
  host_->Finalize();
  const auto replies = host_->Replies();
  const ReplyAudit audit = AuditReplies(expected, replies);
  EXPECT_EQ(audit.answered, expected.size());
  EXPECT_EQ(audit.missing, 0u);
  EXPECT_EQ(audit.duplicates, 0u);
  EXPECT_EQ(audit.unexpected, 0u);
  EXPECT_EQ(audit.out_of_order, 0u);
  std::size_t wrong_bytes = 0;
  for (const Reply& reply : replies) wrong_bytes += reply.bytes == kCheapReply ? 0 : 1;
  EXPECT_EQ(wrong_bytes, 0u);
  std::cout << "[ figures  ] " << kThreads * kPerThread << " posted by " << kThreads << " threads, "
            << audit.answered << " answered (all known codes), "
            << kThreads * kPerThread - expected.size() << " unknown codes unanswered, 0 lost\n";
}

// GCC names a sanitizer build by macro, clang by __has_feature.
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define MOX_SANITIZER_BUILD 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) || defined(MOX_SANITIZER_BUILD)
// The sanitizers hold freed memory back (quarantine, shadow): resident memory says nothing there.
constexpr bool kResidentMemoryMeansSomething = false;
#else
constexpr bool kResidentMemoryMeansSomething = true;
#endif

// Resource counts after a warm-up, against the counts after the remaining cycles.
struct GrowthCheck {
  ProcessCounts before;
  void Expect(const ProcessCounts& after, long rss_margin_kb) const {
    EXPECT_EQ(after.open_files, before.open_files);
    EXPECT_EQ(after.threads, before.threads);
    if (kResidentMemoryMeansSomething) {
      EXPECT_LE(after.rss_kb - before.rss_kb, rss_margin_kb)
          << "VmRSS " << before.rss_kb << " kB -> " << after.rss_kb << " kB";
    }
    std::cout << "[ figures  ] fds " << before.open_files << " -> " << after.open_files
              << ", threads " << before.threads << " -> " << after.threads << ", VmRSS "
              << before.rss_kb << " kB -> " << after.rss_kb << " kB\n";
  }
};

class LifeCycleTest : public LoadTest, public ::testing::WithParamInterface<DbAccess> {
 protected:
  void SetUp() override {
    if (GetParam() == DbAccess::kServer) {
      MOX_REQUIRE_TEST_SERVER();
      server_db_ = std::make_unique<SampleDatabase>(DbAccess::kServer);
    }
  }
  const SampleDatabase& Db() const { return server_db_ ? *server_db_ : db_; }
  std::unique_ptr<SampleDatabase> server_db_;
};

// 200 cycles of Init_Plugin, one command through the database, Finalize_Plugin in one load.
TEST_P(LifeCycleTest, TwoHundredInitFinalizeCyclesLeaveNothingBehind) {
  const PluginSettings settings = QuietSettings(Db());
  host_ = std::make_unique<PluginHost>(UniqueLibraryName(), &settings);
  host_->Load();
  constexpr int kWarmUp = 20;
  constexpr int kCycles = 200;
  GrowthCheck growth;
  for (int cycle = 0; cycle < kCycles; ++cycle) {
    if (cycle == kWarmUp) growth.before = CurrentProcessCounts();
    host_->Init();
    ASSERT_EQ(Ask(cycle, kStateOfAbc).bytes, kStateOfAbcReply) << "cycle " << cycle;
    host_->Finalize();
  }
  growth.Expect(CurrentProcessCounts(), 4096);
  EXPECT_EQ(host_->ReplyCount(), static_cast<std::size_t>(kCycles));
}

// 100 cycles of dlopen, Init_Plugin, one command, Finalize_Plugin, dlclose.
TEST_P(LifeCycleTest, HundredLoadUnloadCyclesUnloadTheLibraryEachTime) {
  const PluginSettings settings = QuietSettings(Db());
  host_ = std::make_unique<PluginHost>(UniqueLibraryName(), &settings);
  constexpr int kWarmUp = 10;
  constexpr int kCycles = 100;
  GrowthCheck growth;
  for (int cycle = 0; cycle < kCycles; ++cycle) {
    if (cycle == kWarmUp) growth.before = CurrentProcessCounts();
    host_->Load();
    host_->Init();
    ASSERT_EQ(Ask(cycle, kStateOfAbc).bytes, kStateOfAbcReply) << "cycle " << cycle;
    host_->Finalize();
    host_->Unload();
    ASSERT_FALSE(IsLoaded(host_->library_path())) << "cycle " << cycle;
  }
  growth.Expect(CurrentProcessCounts(), 4096);
  EXPECT_EQ(host_->ReplyCount(), static_cast<std::size_t>(kCycles));
}

INSTANTIATE_TEST_SUITE_P(Access, LifeCycleTest,
                         ::testing::Values(DbAccess::kEmbedded, DbAccess::kServer),
                         [](const auto& param_info) {
                           return param_info.param == DbAccess::kEmbedded ? "Embedded" : "Server";
                         });

TEST_F(LoadTest, FinalizeWithAHundredThousandQueuedReturnsPromptlyAndStaysSilent) {
  AddSlowProcedure(db_);
  Start(QuietSettings(db_));
  host_->Command(0, SlowCommand(1000));
  constexpr int kQueued = 100000;
  for (int tag = 1; tag <= kQueued; ++tag) host_->Command(tag, kCheapCommand);
  const auto start = std::chrono::steady_clock::now();
  host_->Finalize();
  const long long took = MsSince(start);
  const std::size_t at_return = host_->ReplyCount();
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(host_->ReplyCount(), at_return);
  // The slow command in progress is finished and answered; the queue behind it is dropped.
  EXPECT_LT(took, 2500);
  ASSERT_EQ(at_return, 1u);
  EXPECT_EQ(host_->Replies()[0].tag, 0);
  EXPECT_EQ(host_->Replies()[0].bytes, "\x02\x01");
  std::cout << "[ figures  ] " << kQueued << " queued, Finalize_Plugin took " << took
            << " ms, 1 answered (in progress), " << kQueued << " dropped without reply\n";
}

TEST_F(LoadTest, CallbackThatTakesASecondDelaysButLosesNothing) {
  Start(QuietSettings(db_));
  host_->SetOnReply([](const Reply&) { std::this_thread::sleep_for(1s); });
  const auto start = std::chrono::steady_clock::now();
  for (int tag = 1; tag <= 4; ++tag) host_->Command(tag, kStateOfAbc);
  ASSERT_TRUE(host_->WaitForReplies(4, 20s));
  EXPECT_GE(MsSince(start), 4000);
  // Finalize_Plugin during such a callback waits for it and answers nothing more.
  for (int tag = 5; tag <= 8; ++tag) host_->Command(tag, kStateOfAbc);
  ASSERT_TRUE(host_->WaitForReplies(4, 1s));
  std::this_thread::sleep_for(200ms);  // the callback of tag 5 is running now
  host_->Finalize();
  const auto replies = host_->Replies();
  ASSERT_EQ(replies.size(), 5u);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(replies[i].tag, i + 1);
    EXPECT_EQ(replies[i].bytes, kStateOfAbcReply);
  }
  std::this_thread::sleep_for(1200ms);
  EXPECT_EQ(host_->ReplyCount(), 5u);
}

// The callback posts the next command of a chain from the worker thread; the chain is still
// posting when Finalize_Plugin comes.
TEST_F(LoadTest, CallbackThatPostsCommandsItselfNeitherDeadlocksNorAnswersLate) {
  Start(QuietSettings(db_));
  std::atomic<int> chain_end{1000};
  PluginHost* host = host_.get();
  host_->SetOnReply([host, &chain_end](const Reply& reply) {
    if (reply.tag < chain_end) host->Command(reply.tag + 1, kCheapCommand);
  });
  host_->Command(0, kCheapCommand);
  ASSERT_TRUE(host_->WaitForReplies(1001, 20s));
  auto replies = host_->Replies();
  for (int i = 0; i <= 1000; ++i) ASSERT_EQ(replies[i].tag, i);

  chain_end = 1 << 30;  // an endless chain
  host_->Command(5000, kCheapCommand);
  ASSERT_TRUE(host_->WaitForReplies(2000, 20s));
  host_->Finalize();
  const std::size_t at_return = host_->ReplyCount();
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(host_->ReplyCount(), at_return);
  replies = host_->Replies();
  // The chain is whole up to where the stop cut it: what the callback posted last was dropped
  // with the queue, or refused once the worker was gone.
  for (std::size_t i = 1001; i < replies.size(); ++i)
    ASSERT_EQ(replies[i].tag, static_cast<int32_t>(5000 + i - 1001));
}

}  // namespace
}  // namespace mox::test

namespace mox::test {
namespace {

// With [Queue] MaxCommands set, each command that finds the queue full is answered with its code
// alone, by the worker, in its turn after the commands queued before it; the queued ones are
// answered as usual. Without the key there is no limit on the count (see
// FinalizeWithAHundredThousandQueued...), and the key is never written into a settings file.
TEST_F(LoadTest, QueueLimitAnswersTheOverflowInItsTurnAndLosesNothing) {
  AddSlowProcedure(db_);
  const PluginSettings settings = QuietSettings(db_);
  host_ = std::make_unique<PluginHost>(UniqueLibraryName(), &settings);
  WriteFile(host_->settings_path(),
            ReadFile(host_->settings_path()) + "[Queue]\r\nMaxCommands=1000\r\n");
  host_->Load();
  host_->Init();
  host_->Command(0, SlowCommand(1500));
  ASSERT_TRUE(host_->WaitForReplies(0, 1s));
  std::this_thread::sleep_for(200ms);  // the worker has taken the slow command
  std::map<int32_t, int> expected{{0, 0}};
  for (int32_t tag = 1; tag <= 5000; ++tag) {
    host_->Command(tag, kCheapCommand);
    expected[tag] = 0;
  }
  host_->Command(9999, Payload(5, "unknown codes are never answered, refused or not"));
  // Nothing is answered inside Command_Plugin: the worker is still on the slow command.
  EXPECT_EQ(host_->ReplyCount(), 0u);
  ASSERT_TRUE(host_->WaitForReplies(5001, 20s));
  host_->Command(6000, kCheapCommand);
  expected[6000] = 0;
  ASSERT_TRUE(host_->WaitForReplies(5002, 20s));
  host_->Finalize();
  const auto replies = host_->Replies();
  const ReplyAudit audit = AuditReplies(expected, replies);
  EXPECT_EQ(audit.answered, expected.size());
  EXPECT_EQ(audit.duplicates, 0u);
  EXPECT_EQ(audit.unexpected, 0u);
  const std::thread::id worker = replies.front().thread;
  for (std::size_t i = 0; i < replies.size(); ++i) {
    // In the order of the posts: the slow one, 1000 queued, 4000 refused, then the last one.
    const int32_t tag = i < 5001 ? static_cast<int32_t>(i) : 6000;
    ASSERT_EQ(replies[i].tag, tag);
    EXPECT_EQ(replies[i].thread, worker);
    if (tag != 0) {
      EXPECT_EQ(replies[i].bytes, kCheapReply) << tag;
    }
  }
  const auto lines = host_->LogLines();
  EXPECT_EQ(CountLinesContaining(
                lines,
                "MoxSettingsManager:: FAIL: command queue full (1000 "
                "commands or 67108864 bytes); commands are answered with their code alone "
                "until it has room"),
            1u);
  EXPECT_EQ(CountLinesContaining(lines,
                                 "MoxSettingsManager:: command queue has room again; 4001 "
                                 "commands were refused while it was full"),
            1u);
  EXPECT_NE(ReadFile(host_->settings_path()).find("[Queue]\r\nMaxCommands=1000\r\n"),
            std::string::npos);

  // A settings file without the key gets none written into it.
  const PluginSettings plain = QuietSettings(db_);
  PluginHost other("apMoxSettingsManager_relQueueLimitOff.so", &plain);
  other.Load();
  other.Init();
  other.Finalize();
  EXPECT_EQ(ReadFile(other.settings_path()).find("Queue"), std::string::npos);
}

}  // namespace
}  // namespace mox::test
