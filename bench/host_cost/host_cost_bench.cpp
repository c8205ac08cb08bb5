// The host's cost of one Command_Plugin call: the time the calling thread spends inside it, from 1
// and from 8 posting threads, with the worker busy and with it idle.
//
//   busy  the worker is inside a command that waits on a row lock held by another transaction,
//         so it takes nothing off the queue: every post only copies, allocates and appends
//   idle  the worker sleeps on its queue before each post (the previous reply has arrived and
//         the host waited a further 300 µs, longer than the worker watches the queue after a
//         command), so the post has to wake it
// and the processor time an initialized plug-in uses while the host sends nothing.
#include <atomic>
#include <barrier>
#include <chrono>
#include <condition_variable>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/options.h"
#include "common/plugin_under_test.h"
#include "common/raw_client.h"
#include "common/sample_database.h"
#include "common/stats.h"

namespace mox::bench {
namespace {

// Tags of the measured commands start here; the stalling command carries tag 0.
constexpr int32_t kFirstTag = 1;
constexpr std::size_t kPayloadSize = 100;
constexpr auto kSettle = std::chrono::microseconds(300);

// Code 1 with a 99-byte record identifier that the database does not know: no row, reply 01 00.
std::string CommandPayload() {
  std::string payload(kPayloadSize, 'Q');
  payload[0] = '\x01';
  return payload;
}

// Sets the modified state of ABC: waits while the row lock is held.
const std::string kStallPayload = std::string("\x03\x01") + "ABC";
const std::string kLockSql =
    "UPDATE SETTINGS_RECORDS SET MODIFIED_STATE = MODIFIED_STATE WHERE ID = 'ABC'";

struct Figures {
  std::vector<double> median_ns, p99_ns;
};

void AddRun(std::vector<double> samples, Figures& figures) {
  figures.median_ns.push_back(Percentile(samples, 50));
  figures.p99_ns.push_back(Percentile(samples, 99));
}

// Each thread posts `per_thread` commands, timing every call; all start together.
std::vector<double> PostTimed(PluginUnderTest& plugin, int threads, int per_thread) {
  const std::string payload = CommandPayload();
  std::vector<std::vector<double>> samples(static_cast<std::size_t>(threads));
  std::barrier start(threads);
  std::vector<std::thread> posters;
  for (int t = 0; t < threads; ++t) {
    posters.emplace_back([&, t] {
      std::vector<double>& mine = samples[static_cast<std::size_t>(t)];
      mine.reserve(static_cast<std::size_t>(per_thread));
      start.arrive_and_wait();
      for (int i = 0; i < per_thread; ++i) {
        const int64_t before = NowNs();
        plugin.Command(kFirstTag + t * per_thread + i, payload.data(), uint32_t(payload.size()));
        mine.push_back(double(NowNs() - before));
      }
    });
  }
  for (std::thread& poster : posters) poster.join();
  std::vector<double> all;
  for (const auto& s : samples) all.insert(all.end(), s.begin(), s.end());
  return all;
}

void Stall(PluginUnderTest& plugin) {
  plugin.Command(0, kStallPayload.data(), uint32_t(kStallPayload.size()));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  if (plugin.ReplyCount() != 0) throw std::runtime_error("the worker did not stall on the lock");
}

std::vector<double> BusyRun(PluginUnderTest& plugin, RawAttachment& locker, int threads,
                            int samples) {
  plugin.Init();
  plugin.ResetReplies(1);
  RowLock lock(locker, kLockSql);
  Stall(plugin);
  std::vector<double> result = PostTimed(plugin, threads, samples / threads);
  lock.Release();
  plugin.WaitForReplies(1);  // the stalled command; the queued ones go with Finalize
  plugin.Finalize();
  return result;
}

// Rounds of one post per thread, each round starting on a sleeping worker.
std::vector<double> IdleRun(PluginUnderTest& plugin, int threads, int samples) {
  const std::string payload = CommandPayload();
  const int rounds = samples / threads;
  plugin.Init();
  plugin.ResetReplies(0);
  // Connects; the measured posts find a connection in place.
  plugin.Command(kFirstTag, payload.data(), uint32_t(payload.size()));
  plugin.WaitForReplies(1);

  std::vector<std::vector<double>> per_thread(static_cast<std::size_t>(threads));
  std::barrier round_start(threads + 1);
  std::barrier round_end(threads + 1);
  std::vector<std::thread> posters;
  for (int t = 0; t < threads; ++t) {
    posters.emplace_back([&, t] {
      for (int r = 0; r < rounds; ++r) {
        round_start.arrive_and_wait();
        const int64_t before = NowNs();
        plugin.Command(kFirstTag, payload.data(), uint32_t(payload.size()));
        per_thread[static_cast<std::size_t>(t)].push_back(double(NowNs() - before));
        round_end.arrive_and_wait();
      }
    });
  }
  uint64_t expected = 1;
  for (int r = 0; r < rounds; ++r) {
    std::this_thread::sleep_for(kSettle);
    round_start.arrive_and_wait();
    round_end.arrive_and_wait();
    expected += uint64_t(threads);
    plugin.WaitForReplies(expected);
  }
  for (std::thread& poster : posters) poster.join();
  plugin.Finalize();
  std::vector<double> all;
  for (const auto& s : per_thread) all.insert(all.end(), s.begin(), s.end());
  return all;
}

// The platform's own price of a handoff, without the plug-in: one thread notifies a condition
// variable on which another thread sleeps with a time-out, as the idle worker does. The
// notification's cost to the caller (appending under the lock included), and the time until the
// sleeper runs.
struct Handoff {
  double release_ns = 0;
  double wake_ns = 0;
};

Handoff MeasureHandoff(int samples) {
  std::mutex lock;
  std::condition_variable posted;
  int pending = 0;  // guarded by lock
  std::atomic<int64_t> woke_at{0};
  std::atomic<int> taken{0};
  std::thread sleeper([&] {
    while (taken.load() < samples) {
      std::unique_lock guard(lock);
      if (!posted.wait_for(guard, std::chrono::milliseconds(1000), [&] { return pending > 0; }))
        continue;
      --pending;
      woke_at.store(NowNs());
      taken.fetch_add(1);
    }
  });
  std::vector<double> release, wake;
  for (int i = 0; i < samples; ++i) {
    std::this_thread::sleep_for(kSettle);
    const int64_t before = NowNs();
    {
      std::lock_guard guard(lock);
      ++pending;
    }
    posted.notify_one();
    release.push_back(double(NowNs() - before));
    while (taken.load() <= i) std::this_thread::yield();
    wake.push_back(double(woke_at.load() - before));
  }
  sleeper.join();
  return {Percentile(release, 50), Percentile(wake, 50)};
}

// Processor time of the whole process per second while the plug-in, initialized and connected,
// gets no command, after one command (the worker's watch of the queue included).
double IdleCpuUsPerSecond(PluginUnderTest& plugin, std::chrono::seconds span) {
  const std::string payload = CommandPayload();
  plugin.Init();
  plugin.ResetReplies(0);
  plugin.Command(kFirstTag, payload.data(), uint32_t(payload.size()));
  plugin.WaitForReplies(1);
  const double before = ProcessCpuUs();
  std::this_thread::sleep_for(span);
  const double used = ProcessCpuUs() - before;
  plugin.Finalize();
  return used / double(span.count());
}

double ClockOverheadNs() {
  std::vector<double> samples;
  for (int i = 0; i < 100000; ++i) {
    const int64_t a = NowNs();
    samples.push_back(double(NowNs() - a));
  }
  return Percentile(samples, 50);
}

int Main(int argc, char** argv) {
  const Options options(argc, argv);
  const bool smoke = options.Has("smoke");
  const int busy_samples = int(options.Integer("busy-samples", smoke ? 800 : 200000));
  const int idle_samples = int(options.Integer("idle-samples", smoke ? 16 : 2000));
  const int reps = int(options.Integer("reps", smoke ? 1 : 5));
  const std::vector<std::string> wanted = options.List("cases", "busy1,busy8,idle1,idle8");

  SampleDatabase db(Access::kEmbedded);
  RawAttachment locker(db.AttachName(), db.User(), db.Password(), "WIN1251");
  PluginUnderTest plugin;
  PluginSettings settings;
  settings.db_file = db.AttachName();
  plugin.WriteSettings(settings);

  struct Case {
    const char* worker;
    int threads;
    Figures figures;
  };
  std::vector<Case> cases;
  for (const std::string& name : wanted) {
    const bool busy = name.rfind("busy", 0) == 0;
    if (!busy && name.rfind("idle", 0) != 0) throw std::invalid_argument("unknown case " + name);
    cases.push_back({busy ? "busy" : "idle", std::stoi(name.substr(4)), {}});
  }
  for (int rep = 0; rep < reps; ++rep) {
    for (Case& c : cases) {
      const bool busy = std::string(c.worker) == "busy";
      AddRun(busy ? BusyRun(plugin, locker, c.threads, busy_samples)
                  : IdleRun(plugin, c.threads, idle_samples),
             c.figures);
      std::cerr << "  " << c.worker << " x" << c.threads << " rep " << rep + 1 << ": median "
                << FormatNumber(c.figures.median_ns.back(), 0) << " ns, p99 "
                << FormatNumber(c.figures.p99_ns.back(), 0) << " ns\n";
    }
  }

  std::cout << "### Cost of one Command_Plugin call\n\n"
            << "Payload of " << kPayloadSize << " bytes; busy: " << busy_samples
            << " calls per run, idle: " << idle_samples << " calls per run; " << reps
            << " runs; median of the runs [min–max]. Each call is timed on its own thread with "
               "a steady clock whose own cost, included, is "
            << FormatNumber(ClockOverheadNs(), 0) << " ns.\n\n"
            << "| worker | posting threads | median ns | p99 ns |\n|---|---|---|---|\n";
  for (const Case& c : cases) {
    std::cout << "| " << c.worker << " | " << c.threads << " | "
              << FormatSummary(Summarize(c.figures.median_ns), 0) << " | "
              << FormatSummary(Summarize(c.figures.p99_ns), 0) << " |\n";
  }
  std::vector<double> release_ns, wake_ns;
  for (int rep = 0; rep < reps; ++rep) {
    const Handoff h = MeasureHandoff(idle_samples);
    release_ns.push_back(h.release_ns);
    wake_ns.push_back(h.wake_ns);
  }
  std::cout << "\nReference without the plug-in, median of " << idle_samples
            << " handoffs per run: notifying a std::condition_variable on which another thread "
               "sleeps costs the notifying thread "
            << FormatSummary(Summarize(release_ns), 0) << " ns; the sleeping thread runs after "
            << FormatSummary(Summarize(wake_ns), 0) << " ns.\n\n";
  std::vector<double> idle_cpu;
  const auto idle_span = std::chrono::seconds(smoke ? 1 : 5);
  for (int rep = 0; rep < reps; ++rep) idle_cpu.push_back(IdleCpuUsPerSecond(plugin, idle_span));
  std::cout << "An idle plug-in: processor time of the whole process while it gets no command for "
            << idle_span.count()
            << " s after one, per second: " << FormatSummary(Summarize(idle_cpu), 1) << " µs.\n\n";
  return 0;
}

}  // namespace
}  // namespace mox::bench

int main(int argc, char** argv) {
  try {
    return mox::bench::Main(argc, argv);
  } catch (const std::exception& e) {
    std::cerr << "bench_host_cost: " << e.what() << "\n";
    return 1;
  }
}
