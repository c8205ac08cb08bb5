// Measures what the command queue costs when a host posts faster than the database answers: the
// memory each queued command holds, and commands per second posted and answered. A measuring
// program, not a test: run it by hand (see --help).
//
//   mox_queue_growth [--seconds S] [--rate N] [--text T] [--server] [--max-commands M]
//                    [--max-queue-bytes Q]
//   mox_queue_growth --single CODE BYTES
//
// Loads a copy of the built plug-in against a fresh copy of the sample database (embedded, or
// through the server with --server and MOX_TEST_SERVER/MOX_TEST_SYSDBA_PASSWORD set), posts
// commands of code 2 for S seconds (default 5) from one thread, N per second (default: as fast as
// it can), and samples the process's resident memory and the replies every 250 ms. Then it
// finalizes with the queue still full and reports how long that took. --max-commands M sets the
// queue limit ([Queue] MaxCommands=M in the settings file), --max-queue-bytes Q its byte limit
// (MaxQueueBytes=Q; 0 for none, the plug-in's default when not given).
// --single posts one command of code CODE whose text is BYTES commas (for codes 10 to 12) or
// letters, waits for its answer and reports how much the peak resident memory grew meanwhile.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "apMoxSettingsManager.h"
#include "plugin/plugin_host.h"
#include "plugin_library.h"
#include "support/firebird_fixture.h"
#include "support/temp_dir.h"

namespace {

using namespace std::chrono;

std::atomic<long long> gAnswered{0};
std::atomic<long long> gRefused{0};  // answered with the code alone

void MOX_CALL CountReply(int32_t, const char*, const char*, int32_t length, uint32_t) {
  gAnswered.fetch_add(1, std::memory_order_relaxed);
  if (length == 1) gRefused.fetch_add(1, std::memory_order_relaxed);
}

long ResidentKb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return 0;
}

struct Options {
  double seconds = 5;
  long rate = 0;  // 0: as fast as possible
  std::string text = "ABC";
  bool server = false;
  long max_commands = 0;
  long max_queue_bytes = -1;  // -1: the key is not written, the default applies
  int single_code = -1;       // --single: the code, and the text length below
  long long single_bytes = 0;
};

long PeakResidentKb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return 0;
}

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--seconds" && has_value) {
      options.seconds = std::atof(argv[++i]);
    } else if (arg == "--rate" && has_value) {
      options.rate = std::atol(argv[++i]);
    } else if (arg == "--text" && has_value) {
      options.text = argv[++i];
    } else if (arg == "--max-commands" && has_value) {
      options.max_commands = std::atol(argv[++i]);
    } else if (arg == "--max-queue-bytes" && has_value) {
      options.max_queue_bytes = std::atol(argv[++i]);
    } else if (arg == "--single" && i + 2 < argc) {
      options.single_code = std::atoi(argv[++i]);
      options.single_bytes = std::atoll(argv[++i]);
    } else if (arg == "--server") {
      options.server = true;
    } else {
      std::printf(
          "usage: %s [--seconds S] [--rate N] [--text T] [--server] [--max-commands M]\n"
          "  posts commands of code 2 with text T (default ABC) for S seconds (default 5), N per\n"
          "  second (default: as fast as possible), and reports queue memory and rates;\n"
          "  M sets the queue limit ([Queue] MaxCommands), Q its byte limit (MaxQueueBytes; 0: "
          "none)\n"
          "   or: %s --single CODE BYTES: one command, its peak memory\n",
          argv[0], argv[0]);
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) return 2;
  using mox::test::DbAccess;
  if (options.server && !mox::test::TestServerFromEnvironment()) {
    std::fprintf(stderr, "--server needs MOX_TEST_SERVER and MOX_TEST_SYSDBA_PASSWORD\n");
    return 2;
  }
  mox::test::SampleDatabase db(options.server ? DbAccess::kServer : DbAccess::kEmbedded);
  mox::test::TempDir dir;
  const std::string library = dir.File("apMoxSettingsManager_growth.so");
  std::filesystem::copy_file(MOX_PLUGIN_PATH, library);
  mox::test::PluginSettings settings;
  settings.db_file = db.AttachName();
  settings.db_pass = db.Password();
  settings.protocol = false;
  const std::string settings_file = dir.File("apMoxSettingsManager_growth.ini");
  mox::test::WritePluginSettings(settings_file, settings);
  std::string queue_section;
  if (options.max_commands > 0) {
    queue_section += "MaxCommands=" + std::to_string(options.max_commands) + "\r\n";
  }
  if (options.max_queue_bytes >= 0) {
    queue_section += "MaxQueueBytes=" + std::to_string(options.max_queue_bytes) + "\r\n";
  }
  if (!queue_section.empty()) {
    mox::test::WriteFile(settings_file,
                         mox::test::ReadFile(settings_file) + "[Queue]\r\n" + queue_section);
  }

  std::string error;
  const mox::PluginLibrary plugin = mox::PluginLibrary::Open(library, &error);
  if (!plugin) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  const char* name = nullptr;
  plugin.Init(&name, &CountReply, 0);

  // Warm up: connect, and let the allocator settle.
  const std::string payload = "\x02" + options.text;
  for (int i = 0; i < 200; ++i)
    plugin.Command(i, payload.data(), static_cast<uint32_t>(payload.size()));
  while (gAnswered.load() < 200) std::this_thread::sleep_for(milliseconds(1));

  if (options.single_code >= 0) {
    const bool comma_text = options.single_code >= 10 && options.single_code <= 12;
    std::string big(static_cast<std::size_t>(options.single_bytes) + 1, comma_text ? ',' : 'x');
    big[0] = static_cast<char>(options.single_code);
    const long peak_before = PeakResidentKb();
    const long long answered_before = gAnswered.load();
    const auto posted_at = steady_clock::now();
    plugin.Command(-1, big.data(), static_cast<uint32_t>(big.size()));
    while (gAnswered.load() == answered_before && steady_clock::now() < posted_at + seconds(120)) {
      std::this_thread::sleep_for(milliseconds(1));
    }
    std::printf(
        "code %d, %lld bytes of text: %s after %.0f ms (%lld with the code alone); peak "
        "resident memory +%ld kB\n",
        options.single_code, options.single_bytes,
        gAnswered.load() > answered_before ? "answered" : "no answer",
        duration<double, std::milli>(steady_clock::now() - posted_at).count(), gRefused.load(),
        PeakResidentKb() - peak_before);
    plugin.Finalize();
    return 0;
  }

  const long rss_start = ResidentKb();
  const long long answered_start = gAnswered.load();
  const auto start = steady_clock::now();
  const auto end = start + duration_cast<steady_clock::duration>(duration<double>(options.seconds));
  long long posted = 0;
  auto next_sample = start;
  std::printf("%8s %12s %12s %12s %12s\n", "t(s)", "posted", "answered", "queued", "RSS(kB)");
  while (steady_clock::now() < end) {
    if (options.rate > 0) {
      const auto due = start + duration_cast<steady_clock::duration>(
                                   duration<double>(static_cast<double>(posted) / options.rate));
      if (steady_clock::now() < due) std::this_thread::sleep_until(due);
    }
    plugin.Command(static_cast<int32_t>(posted), payload.data(),
                   static_cast<uint32_t>(payload.size()));
    ++posted;
    if ((posted & 1023) == 0 && steady_clock::now() >= next_sample) {
      const long long answered = gAnswered.load() - answered_start;
      std::printf("%8.2f %12lld %12lld %12lld %12ld\n",
                  duration<double>(steady_clock::now() - start).count(), posted, answered,
                  posted - answered, ResidentKb());
      next_sample += milliseconds(250);
    }
  }
  const double elapsed = duration<double>(steady_clock::now() - start).count();
  const long long answered = gAnswered.load() - answered_start;
  const long rss_end = ResidentKb();
  const long long queued = posted - answered;

  const auto finalize_start = steady_clock::now();
  plugin.Finalize();
  const double finalize_ms =
      duration<double, std::milli>(steady_clock::now() - finalize_start).count();
  const long rss_after = ResidentKb();

  std::printf("\nposted   %lld in %.2f s: %.0f commands/s\n", posted, elapsed, posted / elapsed);
  std::printf("answered %lld in %.2f s: %.0f commands/s (%lld of them with the code alone)\n",
              answered, elapsed, answered / elapsed, gRefused.load());
  std::printf(
      "unanswered at the end: %lld commands of %zu bytes (queued, refused and waiting for their "
      "answer, or dropped), resident memory +%ld kB\n",
      queued, payload.size(), rss_end - rss_start);
  // With a byte limit (the default) most of them were dropped, not queued.
  if (queued > 1000 && options.max_queue_bytes == 0) {
    std::printf("memory per queued command: about %.0f bytes\n",
                (rss_end - rss_start) * 1024.0 / static_cast<double>(queued));
  }
  std::printf("Finalize_Plugin with that queue: %.0f ms; resident memory afterwards %ld kB\n",
              finalize_ms, rss_after);
  return 0;
}
