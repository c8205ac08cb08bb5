// Shared pieces of the reliability tests: payloads, reply bookkeeping, the process's own resource
// counts, and a slow variant of a sample procedure.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "plugin/plugin_host.h"
#include "support/firebird_fixture.h"

namespace mox::test {

using namespace std::chrono_literals;

// Message code followed by the command text.
std::string Payload(uint8_t code, std::string_view text);

// A library file name of this test alone ("apMoxSettingsManager_rel<test name>.so"), so that its
// log file and plug-in name are its own.
std::string UniqueLibraryName();

// Settings that reach `db` (embedded path or host:path through the server).
PluginSettings SettingsFor(const SampleDatabase& db);
// The same database reached through the server via 127.0.0.1/`port` (a proxy).
PluginSettings SettingsThroughPort(const SampleDatabase& db, uint16_t port);

// Replaces SP_GETMODIFIEDSTATEBYID in `db` so that an ID "SLOW<ms>" keeps the server busy for
// that many milliseconds and then answers with the state 1; every other ID behaves as before.
void AddSlowProcedure(const SampleDatabase& db);
// Payload of code 2 that runs for `ms` on a database prepared with AddSlowProcedure.
std::string SlowCommand(int ms);

// Checks a stream of replies against what was sent: every known-code command answered exactly
// once, in the order each sender posted, and nothing else answered.
struct ReplyAudit {
  std::size_t answered = 0;
  std::size_t duplicates = 0;
  std::size_t unexpected = 0;  // a tag that was never sent, or sent with an unknown code
  std::size_t out_of_order = 0;
  std::size_t missing = 0;
};
// `expected` maps each tag that must be answered to its sender (tags of one sender must be
// answered in increasing order); `replies` is what arrived.
ReplyAudit AuditReplies(const std::map<int32_t, int>& expected, const std::vector<Reply>& replies);

// Counts of this process, from /proc/self.
struct ProcessCounts {
  int open_files = 0;
  int threads = 0;
  long rss_kb = 0;
};
ProcessCounts CurrentProcessCounts();

// True when the log lines hold one that contains `part`.
bool HasLineContaining(const std::vector<std::string>& lines, std::string_view part);
std::size_t CountLinesContaining(const std::vector<std::string>& lines, std::string_view part);

// Milliseconds since `start`.
long long MsSince(std::chrono::steady_clock::time_point start);

// The server's TCP port on loopback.
inline constexpr uint16_t kServerPort = 3050;

}  // namespace mox::test
