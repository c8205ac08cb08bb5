// Where the plug-in writes its log as a host sees it, and the lines it added during a run.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace mox::host {

// <host_dir>/Logs/YYYY_MM_DD/HH_<library file name>.log for the local hour of `when`: the plug-in
// logs under the directory of the host executable, one file per hour.
std::filesystem::path PluginLogFile(const std::filesystem::path& host_dir,
                                    const std::string& library_file_name,
                                    std::chrono::system_clock::time_point when);

// `path` relative to `cwd` when it lies below it (shorter to read), else unchanged.
std::string ShownPath(const std::filesystem::path& path, const std::filesystem::path& cwd);

// Remembers how far the plug-in's log file reached when it was made; NewLines() returns what was
// appended since, across an hour change too. Lines lose their CR LF.
class PluginLogWatch {
 public:
  PluginLogWatch(std::filesystem::path host_dir, std::string library_file_name);

  // The file the plug-in writes to now.
  std::filesystem::path CurrentFile() const;
  std::vector<std::string> NewLines() const;
  // True when the new lines say that the plug-in is not initialised: its Init_Plugin failed, or a
  // command was refused for want of a worker.
  bool LoggedNotInitialised() const;

 private:
  std::filesystem::path host_dir_;
  std::string library_file_name_;
  std::filesystem::path start_file_;
  std::uintmax_t start_size_ = 0;
};

}  // namespace mox::host
