#include "tools/plugin_log.h"

#include <ctime>
#include <fstream>
#include <iterator>
#include <system_error>

#include "tools/plugin_module.h"

namespace mox::host {

namespace {

std::uintmax_t SizeOrZero(const std::filesystem::path& file) {
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(file, error);
  return error ? 0 : size;
}

void AppendLines(const std::filesystem::path& file, std::uintmax_t from,
                 std::vector<std::string>& lines) {
  std::ifstream in(file, std::ios::binary);
  if (!in || !in.seekg(static_cast<std::streamoff>(from))) return;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
  }
}

}  // namespace

std::filesystem::path PluginLogFile(const std::filesystem::path& host_dir,
                                    const std::string& library_file_name,
                                    std::chrono::system_clock::time_point when) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
  const std::tm local = LocalCalendar(seconds);
  char day[16];
  char hour[8];
  std::strftime(day, sizeof day, "%Y_%m_%d", &local);
  std::strftime(hour, sizeof hour, "%H_", &local);
  return host_dir / "Logs" / day / PathFromText(hour + library_file_name + ".log");
}

std::string ShownPath(const std::filesystem::path& path, const std::filesystem::path& cwd) {
  const std::filesystem::path relative = path.lexically_relative(cwd);
  if (relative.empty() || *relative.begin() == "..") return path.string();
  return relative.string();
}

PluginLogWatch::PluginLogWatch(std::filesystem::path host_dir, std::string library_file_name)
    : host_dir_(std::move(host_dir)), library_file_name_(std::move(library_file_name)) {
  start_file_ = CurrentFile();
  start_size_ = SizeOrZero(start_file_);
}

std::filesystem::path PluginLogWatch::CurrentFile() const {
  return PluginLogFile(host_dir_, library_file_name_, std::chrono::system_clock::now());
}

std::vector<std::string> PluginLogWatch::NewLines() const {
  std::vector<std::string> lines;
  // A file shorter than at the start was replaced: read it whole.
  AppendLines(start_file_, SizeOrZero(start_file_) < start_size_ ? 0 : start_size_, lines);
  if (const std::filesystem::path now = CurrentFile(); now != start_file_)
    AppendLines(now, 0, lines);
  return lines;
}

bool PluginLogWatch::LoggedNotInitialised() const {
  for (const std::string& line : NewLines()) {
    if (line.find("Init_Plugin:: FAIL") != std::string::npos ||
        line.find("PLUGIN PANIC: Plugin is not initialized!") != std::string::npos)
      return true;
  }
  return false;
}

}  // namespace mox::host
