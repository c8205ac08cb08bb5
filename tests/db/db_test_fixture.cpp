#include "db_test_fixture.h"

#include <filesystem>
#include <regex>

#include "log/program_log.h"
#include "support/log_lines.h"

namespace mox::test {

DbTest::DbTest() {
  std::filesystem::create_directory(host_.path() / "lib");
  std::filesystem::create_directory(host_.path() / "host");
  gProgramLog.Open(host_.File("host/host"), host_.File("lib/apMoxSettingsManager.so"));
  UseDatabase(db_);
  settings().db_time = 0;
  SetProtocol(true);
}

DbTest::~DbTest() {
  database_.Done();
  gProgramLog.Close();
  SetProtocol(true);
}

void DbTest::UseDatabase(const SampleDatabase& database) {
  settings().db_file = database.AttachName();
  settings().db_user = database.User();
  settings().db_pass = database.Password();
  settings().db_lang = "WIN1251";
}

void DbTest::ChangeSchema(const std::string& ddl) {
  database_.Disconnect();
  NewLines();
  db_.Execute(ddl);
}

std::vector<std::string> DbTest::LogLines() const {
  return ProgramLogLines(host_.path() / "host" / "Logs");
}

std::vector<std::string> DbTest::NewLines() {
  const std::vector<std::string> all = LogLines();
  std::vector<std::string> fresh;
  for (std::size_t i = lines_seen_; i < all.size(); ++i) fresh.push_back(WithoutElapsed(all[i]));
  lines_seen_ = all.size();
  return fresh;
}

int32_t DbTest::ReadAbc() {
  int16_t value = 0;
  std::string text;
  return database_.GetDataById("ABC", value, text);
}

namespace {

int32_t Answer(BlockingResult answer, RequestList& list) {
  list = std::move(answer.list);
  return answer.result;
}

}  // namespace

int32_t DbTest::BlockingsGetData(RequestList& list) {
  return Answer(database_.BlockingsGetData(list), list);
}

int32_t DbTest::BlockingsSetPwd(RequestList& list) {
  return Answer(database_.BlockingsSetPwd(list), list);
}

int32_t DbTest::BlockingsSetLink(RequestList& list) {
  return Answer(database_.BlockingsSetLink(list), list);
}

void DbTest::InitDatabase() {
  database_.Init(database_.settings());
}

DbToolsTest::DbToolsTest() {
  InitDatabase();
  NewLines();
}

bool HasElapsedField(const std::string& line) {
  static const std::regex field(
      "^<( {7}[0-9]| {6}[0-9]{2}| {5}[0-9]{3}| {4}[0-9]{4}| {3}[0-9]{5}|"
      " {2}[0-9]{6}| [0-9]{7}|-?[0-9]{8,})> ");
  return std::regex_search(line, field);
}

std::string WithoutElapsed(const std::string& line) {
  if (!HasElapsedField(line)) return line;
  return line.substr(line.find("> ") + 2);
}

}  // namespace mox::test
