// Lines per second through WriteLog, the program log's one entry: to hourly files (kept open
// between lines, checked against their path at each line), and to a log-server client library that
// takes every line (libLogClient.so, the double built beside this program).
#include <atomic>
#include <iostream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "common/options.h"
#include "common/stats.h"
#include "common/temp_folder.h"
#include "log/program_log.h"
#include "platform/dynamic_library.h"
#include "platform/file_system.h"
#include "platform/process.h"

namespace mox::bench {
namespace {

// As long as a typical command line of the plug-in, e.g. "MSG_BLOCKINGS_GETDATA(...)".
const std::string kLine =
    "MSG_BLOCKINGS_GETDATA(OfficeID=7,BlockNumber=12,BlockNumberPWD=***) benchmark line";

// Installs a program log writing under `folder`, offering lines to the log-server client first
// when `client_params` is not empty, as ProgramLog::Open does for the loaded library.
void InstallProgramLog(const TempFolder& folder, const std::string& client_params) {
  gProgramLog.Close();
  gProgramLog.Open(BuildProgramLogPattern(folder.Path() + "/", "apMoxSettingsManager.so"),
                   folder.Path(), client_params,
                   platform::DirectoryPart(platform::HostExecutablePath()));
}

struct Rate {
  double per_second = 0;
  double cpu_us_per_line = 0;  // processor time of the whole process
};

// Lines per second with `threads` writers sharing `lines`.
Rate WriteLines(int threads, int lines) {
  const int per_thread = lines / threads;
  std::vector<std::thread> writers;
  std::atomic<int> failed{0};
  const double cpu_start = ProcessCpuUs();
  const int64_t start = NowNs();
  for (int t = 0; t < threads; ++t) {
    writers.emplace_back([per_thread, &failed] {
      for (int i = 0; i < per_thread; ++i) {
        if (!WriteLog(kLine)) failed.fetch_add(1);
      }
    });
  }
  for (std::thread& w : writers) w.join();
  const int64_t elapsed = NowNs() - start;
  const double cpu_us = ProcessCpuUs() - cpu_start;
  if (failed.load() != 0) throw std::runtime_error("WriteLog failed");
  const double written = double(per_thread * threads);
  return {written * 1e9 / double(elapsed), cpu_us / written};
}

uint64_t TakenByDouble() {
  const auto library = platform::DynamicLibrary::Open(
      platform::DirectoryPart(platform::HostExecutablePath()) + kLogClientLibraryName);
  const auto taken = library.Get<uint64_t (*)()>("LogClientDoubleTakenLines");
  return taken != nullptr ? taken() : 0;
}

int Main(int argc, char** argv) {
  const Options options(argc, argv);
  const bool smoke = options.Has("smoke");
  const int file_lines = int(options.Integer("file-lines", smoke ? 200 : 100000));
  const int server_lines = int(options.Integer("server-lines", smoke ? 200 : 2000000));
  const int reps = int(options.Integer("reps", smoke ? 1 : 5));

  struct Case {
    const char* target;
    int threads;
    std::vector<double> per_second;
    std::vector<double> cpu_us;
  };
  std::vector<Case> cases = {{"files", 1, {}, {}},
                             {"files", 2, {}, {}},
                             {"log server", 1, {}, {}},
                             {"log server", 2, {}, {}}};
  TempFolder folder;
  for (int rep = 0; rep < reps; ++rep) {
    for (Case& c : cases) {
      const bool server = std::string(c.target) == "log server";
      InstallProgramLog(folder, server ? "bench" : "");
      if (server && !gProgramLog.HasLogClient())
        throw std::runtime_error("the log-server client double was not loaded");
      const uint64_t taken_before = server ? TakenByDouble() : 0;
      const int lines = server ? server_lines : file_lines;
      const Rate rate = WriteLines(c.threads, lines);
      c.per_second.push_back(rate.per_second);
      c.cpu_us.push_back(rate.cpu_us_per_line);
      if (server && TakenByDouble() - taken_before != uint64_t(lines / c.threads * c.threads))
        throw std::runtime_error("the double did not take every line");
      std::cerr << "  " << c.target << " x" << c.threads << " rep " << rep + 1 << ": "
                << FormatNumber(c.per_second.back(), 0) << " lines/s\n";
    }
  }
  gProgramLog.Close();

  std::cout
      << "### Program log (WriteLog)\n\n"
      << "Lines of " << kLine.size() << " characters; files: " << file_lines
      << " lines per run (the hour's file kept open, checked against its path at each line), under "
      << folder.Path() << "; log server: " << server_lines << " lines per run; " << reps
      << " runs; median [min–max]. µs per line: wall time over lines written (all threads); CPU µs "
         "per line: processor time of the whole process (user and system) over lines "
         "written, which other work on the machine disturbs less.\n\n"
      << "| target | writing threads | lines/s | µs per line | CPU µs per line |\n"
      << "|---|---|---|---|---|\n";
  for (const Case& c : cases) {
    const Summary s = Summarize(c.per_second);
    std::cout << "| " << c.target << " | " << c.threads << " | " << FormatSummary(s, 0) << " | "
              << FormatNumber(1e6 / s.median, 2) << " | " << FormatSummary(Summarize(c.cpu_us), 2)
              << " |\n";
  }
  std::cout << "\n";
  return 0;
}

}  // namespace
}  // namespace mox::bench

int main(int argc, char** argv) {
  try {
    return mox::bench::Main(argc, argv);
  } catch (const std::exception& e) {
    std::cerr << "bench_logging: " << e.what() << "\n";
    return 1;
  }
}
