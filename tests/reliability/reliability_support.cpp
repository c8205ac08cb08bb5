#include "reliability_support.h"

#include <dirent.h>
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

namespace mox::test {
namespace {

int CountEntries(const char* directory) {
  DIR* dir = opendir(directory);
  if (dir == nullptr) return -1;
  int count = 0;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") ++count;
  }
  closedir(dir);
  return count - (std::string(directory) == "/proc/self/fd" ? 1 : 0);  // the one opendir holds
}

}  // namespace

std::string Payload(uint8_t code, std::string_view text) {
  std::string payload(1, static_cast<char>(code));
  payload.append(text);
  return payload;
}

std::string UniqueLibraryName() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string("apMoxSettingsManager_rel") + info->name();
  // Parameterised test names carry a "/"; a file name cannot.
  for (char& c : name) {
    if (c == '/' || c == '.') c = '-';
  }
  return name + ".so";
}

PluginSettings SettingsFor(const SampleDatabase& db) {
  PluginSettings settings;
  settings.db_file = db.AttachName();
  settings.db_user = db.User();
  settings.db_pass = db.Password();
  return settings;
}

PluginSettings SettingsThroughPort(const SampleDatabase& db, uint16_t port) {
  PluginSettings settings = SettingsFor(db);
  settings.db_file = "127.0.0.1/" + std::to_string(port) + ":" + db.Path();
  return settings;
}

void AddSlowProcedure(const SampleDatabase& db) {
  // 'NOW' is read afresh at every evaluation, unlike CURRENT_TIMESTAMP.
  db.Execute(
      "CREATE OR ALTER PROCEDURE SP_GETMODIFIEDSTATEBYID (ID VARCHAR(8000))\n"
      "RETURNS (STATE INTEGER)\n"
      "AS\n"
      "DECLARE VARIABLE UNTIL_AT TIMESTAMP;\n"
      "BEGIN\n"
      "  IF (ID STARTING WITH 'SLOW') THEN\n"
      "  BEGIN\n"
      "    UNTIL_AT = DATEADD(CAST(SUBSTRING(ID FROM 5) AS INTEGER) MILLISECOND TO\n"
      "                       CAST('NOW' AS TIMESTAMP));\n"
      "    STATE = 0;\n"
      "    WHILE (CAST('NOW' AS TIMESTAMP) < UNTIL_AT) DO STATE = 0;\n"
      "    STATE = 1;\n"
      "    SUSPEND;\n"
      "    EXIT;\n"
      "  END\n"
      "  FOR SELECT MODIFIED_STATE FROM SETTINGS_RECORDS WHERE ID = :ID INTO :STATE DO\n"
      "    SUSPEND;\n"
      "END");
}

std::string SlowCommand(int ms) {
  return Payload(2, "SLOW" + std::to_string(ms));
}

ReplyAudit AuditReplies(const std::map<int32_t, int>& expected, const std::vector<Reply>& replies) {
  ReplyAudit audit;
  std::set<int32_t> seen;
  std::map<int, int32_t> last_of_sender;
  for (const Reply& reply : replies) {
    const auto found = expected.find(reply.tag);
    if (found == expected.end()) {
      ++audit.unexpected;
      continue;
    }
    if (!seen.insert(reply.tag).second) {
      ++audit.duplicates;
      continue;
    }
    ++audit.answered;
    const auto last = last_of_sender.find(found->second);
    if (last != last_of_sender.end() && last->second > reply.tag) ++audit.out_of_order;
    last_of_sender[found->second] = reply.tag;
  }
  audit.missing = expected.size() - seen.size();
  return audit;
}

ProcessCounts CurrentProcessCounts() {
  ProcessCounts counts;
  counts.open_files = CountEntries("/proc/self/fd");
  counts.threads = CountEntries("/proc/self/task");
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) {
      std::istringstream(line.substr(6)) >> counts.rss_kb;
      break;
    }
  }
  return counts;
}

bool HasLineContaining(const std::vector<std::string>& lines, std::string_view part) {
  return CountLinesContaining(lines, part) > 0;
}

std::size_t CountLinesContaining(const std::vector<std::string>& lines, std::string_view part) {
  std::size_t count = 0;
  for (const std::string& line : lines) {
    if (line.find(part) != std::string::npos) ++count;
  }
  return count;
}

long long MsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               start)
      .count();
}

}  // namespace mox::test
