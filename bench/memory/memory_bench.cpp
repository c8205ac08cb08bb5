// Memory held per queued command: many 100-byte commands posted while the worker waits inside a
// command on a row lock (a stalled database), measured as resident memory and as heap bytes in use;
// then the lock is released, every command is handled and answered, and the same is measured
// again. A second fill and drain shows whether anything grows from one cycle to the next. The
// queue's byte limit is turned off, so that every command is queued (with the default limit of
// 64 MiB most of a million would be refused).
#include <chrono>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/options.h"
#include "common/plugin_under_test.h"
#include "common/process_memory.h"
#include "common/raw_client.h"
#include "common/sample_database.h"
#include "common/stats.h"

namespace mox::bench {
namespace {

constexpr std::size_t kPayloadSize = 100;
const std::string kStallPayload = std::string("\x03\x01") + "ABC";
const std::string kLockSql =
    "UPDATE SETTINGS_RECORDS SET MODIFIED_STATE = MODIFIED_STATE WHERE ID = 'ABC'";

struct Snapshot {
  int64_t resident = 0;
  int64_t heap = 0;
};

Snapshot Take() {
  return {ResidentBytes(), HeapInUseBytes()};
}

std::string Mib(int64_t bytes) {
  return FormatNumber(double(bytes) / (1024.0 * 1024.0), 1) + " MiB";
}

std::string PerCommand(int64_t bytes, int commands) {
  return FormatNumber(double(bytes) / double(commands), 1);
}

int Main(int argc, char** argv) {
  const Options options(argc, argv);
  const bool smoke = options.Has("smoke");
  const int commands = int(options.Integer("commands", smoke ? 2000 : 1000000));
  const int cycles = int(options.Integer("cycles", 2));

  // The drain runs every command against the database; without forced writes each commit costs
  // no disk flush, which shortens the drain and changes nothing the plug-in holds.
  SampleDatabase db(Access::kEmbedded);
  db.DisableForcedWrites();
  RawAttachment locker(db.AttachName(), db.User(), db.Password(), "WIN1251");
  PluginUnderTest plugin;
  PluginSettings settings;
  settings.db_file = db.AttachName();
  settings.max_queue_bytes = 0;
  plugin.WriteSettings(settings);
  plugin.Init();
  plugin.ResetReplies(0);

  // Code 1 with a 99-byte identifier the database does not know: no row, reply 01 00.
  std::string payload(kPayloadSize, 'M');
  payload[0] = '\x01';
  // Warm up: connection made, first allocations of the worker and the engine done.
  for (int i = 0; i < 200; ++i) plugin.Command(1, payload.data(), uint32_t(payload.size()));
  plugin.WaitForReplies(200);
  uint64_t answered = 200;

  std::ostringstream rows;
  const Snapshot start = Take();
  Snapshot previous_drained = start;
  for (int cycle = 1; cycle <= cycles; ++cycle) {
    RowLock lock(locker, kLockSql);
    plugin.Command(0, kStallPayload.data(), uint32_t(kStallPayload.size()));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    if (plugin.ReplyCount() != answered) throw std::runtime_error("the worker did not stall");
    const Snapshot before = Take();
    for (int i = 0; i < commands; ++i) plugin.Command(1, payload.data(), uint32_t(payload.size()));
    const Snapshot queued = Take();
    const int64_t drain_start = NowNs();
    lock.Release();
    answered += uint64_t(commands) + 1;
    plugin.WaitForReplies(answered);
    const double drain_s = double(NowNs() - drain_start) / 1e9;
    // The worker may still be freeing the last record after its reply.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const Snapshot drained = Take();
    std::cerr << "  cycle " << cycle << ": queued +" << Mib(queued.resident - before.resident)
              << " resident, drained in " << FormatNumber(drain_s, 1) << " s\n";
    rows << "| " << cycle << " | " << PerCommand(queued.resident - before.resident, commands)
         << " | " << PerCommand(queued.heap - before.heap, commands) << " | "
         << Mib(drained.resident - start.resident) << " | "
         << Mib(drained.resident - previous_drained.resident) << " | "
         << (drained.heap - start.heap) << " | " << FormatNumber(drain_s, 1) << " |\n";
    previous_drained = drained;
  }
  plugin.Finalize();
  const Snapshot finalized = Take();
  TrimHeap();
  const Snapshot trimmed = Take();

  std::cout << "### Memory per queued command\n\n"
            << commands << " commands of " << kPayloadSize
            << " bytes queued behind a command that waits on a row lock, then drained (every "
               "command handled and answered); "
            << cycles
            << " cycles in one process. Resident: VmRSS; heap: bytes in use by malloc "
               "(mallinfo2). Differences after draining are against the state before the first "
               "fill.\n\n"
            << "| cycle | resident bytes per queued command | heap bytes per queued command | "
               "resident after drain, vs start | resident after drain, vs previous drain | heap "
               "bytes in use after drain, vs start | drain time s |\n"
            << "|---|---|---|---|---|---|---|\n"
            << rows.str() << "\n"
            << "At start " << Mib(start.resident) << " resident, heap in use " << start.heap
            << " bytes; after Finalize_Plugin " << Mib(finalized.resident) << " resident, heap "
            << finalized.heap << " bytes; after malloc_trim(0) in the host "
            << Mib(trimmed.resident) << " resident.\n\n";
  return 0;
}

}  // namespace
}  // namespace mox::bench

int main(int argc, char** argv) {
  try {
    return mox::bench::Main(argc, argv);
  } catch (const std::exception& e) {
    std::cerr << "bench_memory: " << e.what() << "\n";
    return 1;
  }
}
