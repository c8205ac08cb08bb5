// End to end: the built plug-in, loaded as a host loads it, against the raw client doing the same
// database work per command, in one process, alternating so that drift hits both.
//
// For every access (embedded, TCP loopback), Protocol setting (off, on) and message code (1, 10)
// each repetition runs, in this order:
//   plug-in batch   N commands posted at once, then every reply awaited: commands per second
//   raw             N times the plug-in's per-command sequence on the raw client
//   plug-in closed  N commands one at a time, each posted after the previous reply: latency from
//                   Command_Plugin to the reply callback, and commands per second
//   raw             as above
// and after all repetitions, in pairs: the raw client alone, then the raw client writing the
// plug-in's log lines (1, or 3 with Protocol on) through this process's own program log.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/options.h"
#include "common/plugin_under_test.h"
#include "common/raw_client.h"
#include "common/sample_database.h"
#include "common/stats.h"
#include "log/program_log.h"
#include "platform/file_system.h"
#include "platform/process.h"

namespace mox::bench {
namespace {

struct CommandKind {
  int code;
  std::string payload;
  std::string sql;
  std::vector<RawParam> params;
  // A reply the plug-in must give (a failure reply would time nothing useful).
  std::string expected_reply_start;
  // The lines the plug-in writes per command: always the first, with Protocol on all three.
  std::vector<std::string> log_lines;
};

std::vector<CommandKind> CommandKinds() {
  return {
      {1,
       std::string("\x01") + "ABC",
       "SELECT * FROM SP_GETDATABYID(?)",
       {{true, "ABC", 0}},
       std::string("\x01\x01") + "Alpha settings",
       {"MSG_GETDATABYID(ABC)", "MSG: ABC", "<       0> DBGetDataByID(ID=ABC):: Res=0"}},
      {10,
       std::string("\x0A") + "OfficeID=7,BlockNumber=12,BlockNumberPWD=secret",
       "SELECT * FROM SP_BLOCKINGS_GETDATA(?, ?, ?, ?)",
       {{true, "7", 0}, {true, "12", 0}, {true, "secret", 0}, {false, "", 1}},
       std::string("\x0A") + "OfficeID=7,BlockNumber=12,",
       {"MSG_BLOCKINGS_GETDATA(OfficeID=7,BlockNumber=12,BlockNumberPWD=***)",
        "MSG: OfficeID=7,BlockNumber=12,BlockNumberPWD=***",
        "<       0> DBBlockings_GetData(OfficeID=7,BlockNumber=12,BlockNumberPWD=***):: Res=0, "
        "Data=OfficeID=7,BlockNumber=12,BlockNumberPWD=***,LinkNumber=L-100,Status=1,Result=0"}}};
}

// The lines the plug-in writes for one command of this kind.
std::vector<std::string> LinesPerCommand(const CommandKind& kind, bool protocol) {
  return {kind.log_lines.begin(), kind.log_lines.begin() + (protocol ? 3 : 1)};
}

// One run's figures.
struct RunFigures {
  double per_second = 0;
  double p50_us = 0;
  double p90_us = 0;
  double p99_us = 0;
  double cpu_us = 0;                 // processor time of the whole process per command
  std::vector<double> latencies_us;  // of each command, for percentiles over all runs
};

RunFigures FromLatencies(std::vector<double> latencies_ns, int64_t total_ns) {
  RunFigures f;
  for (const double ns : latencies_ns) f.latencies_us.push_back(ns / 1000);
  f.per_second = double(latencies_ns.size()) * 1e9 / double(total_ns);
  f.p50_us = Percentile(latencies_ns, 50) / 1000;
  f.p90_us = Percentile(latencies_ns, 90) / 1000;
  f.p99_us = Percentile(latencies_ns, 99) / 1000;
  return f;
}

void CheckReplies(PluginUnderTest& plugin, const CommandKind& kind, int n) {
  const std::string first = plugin.FirstReply();
  if (first.rfind(kind.expected_reply_start, 0) != 0)
    throw std::runtime_error("code " + std::to_string(kind.code) + ": unexpected reply (length " +
                             std::to_string(first.size()) + ")");
  for (int32_t tag = 0; tag < n; ++tag) {
    if (plugin.ReplyLength(tag) != int32_t(first.size()))
      throw std::runtime_error("code " + std::to_string(kind.code) + ": reply " +
                               std::to_string(tag) + " differs from the first");
  }
}

RunFigures PluginBatch(PluginUnderTest& plugin, const CommandKind& kind, int n) {
  plugin.ResetReplies(std::size_t(n));
  const double cpu_start = ProcessCpuUs();
  const int64_t start = NowNs();
  for (int32_t tag = 0; tag < n; ++tag)
    plugin.Command(tag, kind.payload.data(), uint32_t(kind.payload.size()));
  plugin.WaitForReplies(uint64_t(n));
  const double cpu_us = (ProcessCpuUs() - cpu_start) / n;
  int64_t last = start;
  for (int32_t tag = 0; tag < n; ++tag) last = std::max(last, plugin.ReplyTimeNs(tag));
  CheckReplies(plugin, kind, n);
  RunFigures f;
  f.per_second = double(n) * 1e9 / double(last - start);
  f.cpu_us = cpu_us;
  return f;
}

RunFigures PluginClosed(PluginUnderTest& plugin, const CommandKind& kind, int n) {
  plugin.ResetReplies(std::size_t(n));
  std::vector<double> latencies(static_cast<std::size_t>(n));
  const double cpu_start = ProcessCpuUs();
  const int64_t start = NowNs();
  for (int32_t tag = 0; tag < n; ++tag) {
    const int64_t posted = NowNs();
    plugin.Command(tag, kind.payload.data(), uint32_t(kind.payload.size()));
    plugin.WaitForReplies(uint64_t(tag) + 1);
    latencies[std::size_t(tag)] = double(plugin.ReplyTimeNs(tag) - posted);
  }
  const int64_t total = NowNs() - start;
  const double cpu_us = (ProcessCpuUs() - cpu_start) / n;
  CheckReplies(plugin, kind, n);
  RunFigures f = FromLatencies(std::move(latencies), total);
  f.cpu_us = cpu_us;
  return f;
}

// `log_lines`: written through this process's own program log before each command, as the plug-in
// writes its lines (same code, same kind of target), to show what the logging alone costs.
RunFigures Raw(RawCommand& command, int n, const std::vector<std::string>& log_lines = {}) {
  std::vector<double> latencies(static_cast<std::size_t>(n));
  const double cpu_start = ProcessCpuUs();
  const int64_t start = NowNs();
  for (int i = 0; i < n; ++i) {
    const int64_t begun = NowNs();
    for (const std::string& line : log_lines) WriteLog(line);
    command.Run();
    latencies[std::size_t(i)] = double(NowNs() - begun);
  }
  const int64_t total = NowNs() - start;
  RunFigures f = FromLatencies(std::move(latencies), total);
  f.cpu_us = (ProcessCpuUs() - cpu_start) / n;
  return f;
}

struct Series {
  std::vector<double> per_second, p50, p90, p99, cpu_us;
  std::vector<double> latencies_us;  // every command of every run
  void Add(const RunFigures& f) {
    latencies_us.insert(latencies_us.end(), f.latencies_us.begin(), f.latencies_us.end());
    per_second.push_back(f.per_second);
    cpu_us.push_back(f.cpu_us);
    p50.push_back(f.p50_us);
    p90.push_back(f.p90_us);
    p99.push_back(f.p99_us);
  }
};

struct CaseResult {
  std::string access;
  bool protocol = false;
  int code = 0;
  Series batch, closed, raw, raw_logged;
  // Per plug-in run, against the raw runs on either side; per raw-with-log run, against the raw run
  // before it.
  std::vector<double> batch_ratio, closed_ratio, logged_ratio;
  // The same for processor time: raw CPU per command over the plug-in's (batch runs).
  std::vector<double> batch_cpu_ratio;
};

void RunCase(Access access, PluginUnderTest& plugin, RawAttachment& raw, const CommandKind& kind,
             bool protocol, int n, int reps, const std::string& only, CaseResult& result) {
  result.access = AccessName(access);
  result.protocol = protocol;
  result.code = kind.code;
  RawCommand command(raw, kind.sql, kind.params);
  command.Run();

  const int warm = std::min(n, 50);
  PluginClosed(plugin, kind, warm);
  Raw(command, warm);
  if (!only.empty()) {
    // One kind of run alone, for profilers.
    for (int rep = 0; rep < reps; ++rep) {
      if (only == "batch")
        result.batch.Add(PluginBatch(plugin, kind, n));
      else if (only == "closed")
        result.closed.Add(PluginClosed(plugin, kind, n));
      else if (only == "raw")
        result.raw.Add(Raw(command, n));
      else if (only == "raw-logged")
        result.raw_logged.Add(Raw(command, n, LinesPerCommand(kind, protocol)));
      else
        throw std::invalid_argument("--only takes batch, closed, raw or raw-logged");
    }
    return;
  }
  // B R C R B R C R ...: each plug-in run is set against the mean of the raw runs on either side.
  std::vector<double> raw_rates, raw_cpu;
  std::vector<std::pair<char, double>> plugin_runs;  // kind and rate, each before raw run i
  std::vector<double> plugin_cpu;                    // CPU per command, each before raw run i
  for (int rep = 0; rep < reps; ++rep) {
    for (const char which : {'B', 'C'}) {
      const RunFigures f =
          which == 'B' ? PluginBatch(plugin, kind, n) : PluginClosed(plugin, kind, n);
      (which == 'B' ? result.batch : result.closed).Add(f);
      plugin_runs.emplace_back(which, f.per_second);
      plugin_cpu.push_back(f.cpu_us);
      const RunFigures r = Raw(command, n);
      result.raw.Add(r);
      raw_rates.push_back(r.per_second);
      raw_cpu.push_back(r.cpu_us);
      std::cerr << "  " << result.access << " Protocol=" << (protocol ? "on" : "off") << " code "
                << kind.code << " rep " << rep + 1 << ": plug-in "
                << (which == 'B' ? "batch " : "closed ") << FormatNumber(f.per_second, 0)
                << "/s, raw " << FormatNumber(r.per_second, 0) << "/s\n";
    }
  }
  for (int rep = 0; rep < reps; ++rep) {
    // The raw client plus the plug-in's log lines, set against a raw run right before it.
    const std::vector<std::string> lines = LinesPerCommand(kind, protocol);
    const RunFigures plain = Raw(command, n);
    const RunFigures logged = Raw(command, n, lines);
    result.raw_logged.Add(logged);
    result.logged_ratio.push_back(logged.per_second / plain.per_second);
  }
  for (std::size_t i = 0; i < plugin_runs.size(); ++i) {
    const double raw_beside = i == 0 ? raw_rates[i] : (raw_rates[i - 1] + raw_rates[i]) / 2;
    (plugin_runs[i].first == 'B' ? result.batch_ratio : result.closed_ratio)
        .push_back(plugin_runs[i].second / raw_beside);
    const double raw_cpu_beside = i == 0 ? raw_cpu[i] : (raw_cpu[i - 1] + raw_cpu[i]) / 2;
    if (plugin_runs[i].first == 'B')
      result.batch_cpu_ratio.push_back(raw_cpu_beside / plugin_cpu[i]);
  }
}

// At least 0.95 over TCP and embedded with Protocol off, 0.90 embedded with Protocol on.
double TargetRatio(const CaseResult& r) {
  return r.access == AccessName(Access::kEmbedded) && r.protocol ? 0.90 : 0.95;
}

std::string Row(const CaseResult& r, const char* kind, const Series& s, bool with_latency) {
  std::ostringstream out;
  out << "| " << r.access << " | " << (r.protocol ? "on" : "off") << " | " << r.code << " | "
      << kind << " | " << FormatSummary(Summarize(s.per_second), 0) << " | "
      << FormatSummary(Summarize(s.cpu_us), 1) << " | ";
  if (with_latency) {
    out << FormatSummary(Summarize(s.p50), 1) << " | " << FormatSummary(Summarize(s.p90), 1)
        << " | " << FormatSummary(Summarize(s.p99), 1) << " |";
  } else {
    out << "– | – | – |";
  }
  return out.str();
}

void Report(const std::vector<CaseResult>& results, int n, int reps, bool judge, bool log_server,
            std::ostream& out) {
  out << "### Commands per second and latency"
      << (log_server ? ", program log to a log server" : "") << "\n\n"
      << "The plug-in's program log goes to "
      << (log_server ? "a log-server client library that takes every line (no files)"
                     : "hourly files beside the host (kept open between lines)")
      << ". " << n << " commands per run, " << reps
      << " repetitions; each cell is the median of the runs [min–max]. Latency is from the call "
         "of Command_Plugin to the reply callback (plug-in closed loop) or the time of one "
         "command's sequence (raw), in µs. CPU: processor time of the whole process (host, "
         "plug-in, "
         "engine) per command, in µs.\n\n"
      << "| access | Protocol | code | run | commands/s | CPU µs | p50 µs | p90 µs | p99 µs |\n"
      << "|---|---|---|---|---|---|---|---|---|\n";
  for (const CaseResult& r : results) {
    out << Row(r, "plug-in batch", r.batch, false) << "\n"
        << Row(r, "plug-in closed loop", r.closed, true) << "\n"
        << Row(r, "raw client", r.raw, true) << "\n"
        << Row(r, "raw client + the plug-in's log lines", r.raw_logged, true) << "\n";
  }
  out << "\n### Ratios plug-in / raw\n\n"
      << "Commands per second of each plug-in run over the mean of the raw runs on either side "
         "of it: median of the runs [min–max]. Latency: median p50 of the plug-in's closed-loop "
         "runs over median p50 of the raw runs. Target: the batch ratio (the plug-in's "
         "throughput with commands waiting in its queue).\n\n"
      << "The last column but two: the raw client writing the plug-in's log lines through the "
         "same program-log code (each run against a raw run right before it), i.e. what the "
         "logging alone costs. The column \"batch / raw, CPU\": the raw client's processor time "
         "per command over the plug-in's in the same batch runs (the throughput ratio if neither "
         "waited for anything but the processor), which other work on the machine disturbs "
         "less.\n\n"
      << "| access | Protocol | code | batch / raw | batch / raw, CPU | closed loop / raw | p50 "
         "latency closed / raw | raw + log lines / raw | target (batch) | |\n"
         "|---|---|---|---|---|---|---|---|---|---|\n";
  for (const CaseResult& r : results) {
    const Summary batch = Summarize(r.batch_ratio);
    const double target = TargetRatio(r);
    out << "| " << r.access << " | " << (r.protocol ? "on" : "off") << " | " << r.code << " | "
        << FormatSummary(batch, 3) << " | " << FormatSummary(Summarize(r.batch_cpu_ratio), 3)
        << " | " << FormatSummary(Summarize(r.closed_ratio), 3) << " | "
        << FormatNumber(Summarize(r.closed.p50).median / Summarize(r.raw.p50).median, 3) << " | "
        << FormatSummary(Summarize(r.logged_ratio), 3) << " | ≥ " << FormatNumber(target, 2)
        << " | "
        << (!judge                   ? "not judged"
            : batch.median >= target ? "met"
                                     : "MISSED")
        << " |\n";
  }
  out << "\n";
}

// The closed loop's latency over all its runs against the raw client's, and the added latency
// (plug-in minus raw) at p50 and p99; targets for the embedded database only.
void ReportLatency(const std::vector<CaseResult>& results, bool judge, std::ostream& out) {
  out << "### Latency of one command at a time\n\n"
         "Every command of every run pooled: the plug-in's closed loop (Command_Plugin to the "
         "reply callback) and the raw client (the same per-command sequence on the caller's "
         "thread), in µs. Added: plug-in minus raw. Targets, embedded: added p50 ≤ 5 µs and p99 "
         "≤ 50 µs with Protocol off; closed loop / raw (median of the runs, as above) ≥ 0.85 "
         "with Protocol off and ≥ 0.83 with it on.\n\n"
         "| access | Protocol | code | plug-in p50 | p99 | p99.9 | raw p50 | p99 | p99.9 | added "
         "p50 | added p99 | closed loop / raw | |\n"
         "|---|---|---|---|---|---|---|---|---|---|---|---|---|\n";
  for (const CaseResult& r : results) {
    std::vector<double> plugin = r.closed.latencies_us, raw = r.raw.latencies_us;
    const double added50 = Percentile(plugin, 50) - Percentile(raw, 50);
    const double added99 = Percentile(plugin, 99) - Percentile(raw, 99);
    const double closed = Summarize(r.closed_ratio).median;
    std::string verdict = "no target";
    if (!judge) {
      verdict = "not judged";
    } else if (r.access == AccessName(Access::kEmbedded)) {
      const bool met =
          r.protocol ? closed >= 0.83 : added50 <= 5 && added99 <= 50 && closed >= 0.85;
      verdict = met ? "met" : "MISSED";
    }
    out << "| " << r.access << " | " << (r.protocol ? "on" : "off") << " | " << r.code;
    for (std::vector<double>* samples : {&plugin, &raw}) {
      for (const double p : {50.0, 99.0, 99.9})
        out << " | " << FormatNumber(Percentile(*samples, p), 1);
    }
    out << " | " << FormatNumber(added50, 1) << " | " << FormatNumber(added99, 1) << " | "
        << FormatNumber(closed, 3) << " | " << verdict << " |\n";
  }
  out << "\n";
}

// The host's ini file, beside the host executable, naming a log server for the plug-in: its
// program log then hands every line to libLogClient.so (the double beside this program, which
// takes them all) instead of writing files. Removed again at the end.
class LogServerSetting {
 public:
  LogServerSetting() : path_(platform::ReplaceExtension(platform::HostExecutablePath(), ".ini")) {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out << "[Debug]\r\napMoxSettingsManager.so=bench\r\n";
    if (!out) throw std::runtime_error("cannot write " + path_);
  }
  ~LogServerSetting() { std::remove(path_.c_str()); }
  LogServerSetting(const LogServerSetting&) = delete;
  LogServerSetting& operator=(const LogServerSetting&) = delete;

 private:
  std::string path_;
};

int Main(int argc, char** argv) {
  const Options options(argc, argv);
  std::optional<LogServerSetting> log_server;
  if (options.Has("log-server")) log_server.emplace();
  // This process's own program log, for the raw runs with log lines: files beside this program,
  // or the log-server double, like the plug-in's.
  const std::string here = platform::DirectoryPart(platform::HostExecutablePath());
  gProgramLog.Open(BuildProgramLogPattern(here, "raw_baseline.so"), here, log_server ? "bench" : "",
                   here);
  const bool smoke = options.Has("smoke");
  const int n = int(options.Integer("n", smoke ? 20 : 500));
  const int reps = int(options.Integer("reps", smoke ? 1 : 12));
  const std::vector<std::string> accesses =
      options.List("access", smoke ? "embedded" : "embedded,tcp");
  const std::vector<std::string> protocols = options.List("protocol", "off,on");
  const std::vector<std::string> codes = options.List("codes", "1,10");
  const std::string only = options.Text("only", "");

  std::vector<CaseResult> results;
  for (const std::string& access_name : accesses) {
    const Access access = access_name == "tcp" ? Access::kTcp : Access::kEmbedded;
    if (access == Access::kTcp && !ServerListening()) {
      std::cout << "TCP loopback skipped: no Firebird server on 127.0.0.1:3050\n\n";
      continue;
    }
    SampleDatabase db(access);
    RawAttachment raw(db.AttachName(), db.User(), db.Password(), "WIN1251");
    PluginUnderTest plugin;
    for (const std::string& protocol_name : protocols) {
      const bool protocol = protocol_name == "on";
      PluginSettings settings;
      settings.db_file = db.AttachName();
      settings.db_pass = db.Password();
      settings.protocol = protocol;
      plugin.WriteSettings(settings);
      plugin.Init();
      for (const CommandKind& kind : CommandKinds()) {
        bool wanted = false;
        for (const std::string& c : codes) wanted = wanted || std::stoi(c) == kind.code;
        if (!wanted) continue;
        results.emplace_back();
        RunCase(access, plugin, raw, kind, protocol, n, reps, only, results.back());
      }
      plugin.Finalize();
    }
  }
  Report(results, n, reps, !smoke, log_server.has_value(), std::cout);
  if (only.empty()) ReportLatency(results, !smoke && !log_server, std::cout);
  gProgramLog.Close();
  return 0;
}

}  // namespace
}  // namespace mox::bench

int main(int argc, char** argv) {
  try {
    return mox::bench::Main(argc, argv);
  } catch (const std::exception& e) {
    std::cerr << "bench_end_to_end: " << e.what() << "\n";
    return 1;
  }
}
