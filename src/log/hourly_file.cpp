#include "log/hourly_file.h"

#include <cstring>
#include <stdexcept>

#include "log/log_text.h"
#include "platform/file_system.h"

namespace mox {
namespace {

// Fills a fixed buffer from several pieces, silently dropping whatever does not fit.
class RecordBuffer {
 public:
  RecordBuffer() { data_[0] = '\0'; }
  void AppendTimeStamp(const platform::LocalDateTime& when) {
    char stamp[kTimeStampSize];
    FormatTimeStamp(when, stamp);
    Append(std::string_view(stamp, sizeof stamp));
  }
  // Keeps `kept_back` bytes of room free for what must follow.
  void Append(std::string_view piece, std::size_t kept_back = 0) {
    const std::size_t free = sizeof data_ - 1 - size_;
    const std::size_t room = free > kept_back ? free - kept_back : 0;
    const std::size_t n = piece.size() < room ? piece.size() : room;
    std::memcpy(data_ + size_, piece.data(), n);
    size_ += n;
    data_[size_] = '\0';
  }
  const char* data() const { return data_; }
  std::size_t size() const { return size_; }

 private:
  char data_[HourlyFile::kRecordBufferSize];
  std::size_t size_ = 0;
};

// The top folder ends in a separator, so that it is a whole prefix of the names below it.
std::string AsFolder(std::string folder) {
  if (!folder.empty() && !platform::IsPathSeparator(folder.back())) {
    folder += platform::PathSeparator();
  }
  return folder;
}

}  // namespace

HourlyFile::HourlyFile(std::string file_name_pattern, std::string top_folder)
    : file_name_pattern_(std::move(file_name_pattern)),
      top_folder_(AsFolder(std::move(top_folder))) {}

bool HourlyFile::Write(std::string_view text, const Clock& clock) {
  // The name comes first: a line whose name is fetched just before the hour turns carries the
  // next hour's time stamp in the old hour's file.
  const std::string& name = file_name_pattern_.Format(clock());
  if (name.empty() || name != file_name_) {
    if (platform::DirectoryPart(name).empty()) {
      throw std::runtime_error("log file name without directory: " + name);
    }
    file_name_ = name;
  }
  const platform::LocalDateTime now = clock();
  using Result = platform::AppendingFile::AppendResult;
  if (!refused_link_.empty() &&
      AppendRecord(now, "FileLog:: FAIL: " + SafeForLog(platform::PathForLog(refused_link_)) +
                            " is a symbolic link; not followed") == Result::kWritten) {
    refused_link_.clear();
  }
  const Result result = AppendRecord(now, text);
  if (result == Result::kLinkRefused) refused_link_ = file_.refused_link();
  return result == Result::kWritten;
}

platform::AppendingFile::AppendResult HourlyFile::AppendRecord(const platform::LocalDateTime& when,
                                                               std::string_view text) {
  RecordBuffer record;
  record.AppendTimeStamp(when);
  // A record too long for the buffer loses the end of its text, never its line end: the next
  // record must not join it.
  constexpr std::string_view kLineEnd = "\r\n";
  record.Append(text, kLineEnd.size());
  record.Append(kLineEnd);
  // A name outside the top folder (none is made so) has only its file opened without links.
  const std::size_t walked_from = file_name_.starts_with(top_folder_)
                                      ? top_folder_.size()
                                      : platform::DirectoryPart(file_name_).size();
  return file_.Append(file_name_, walked_from, record.data(), record.size(), true);
}

}  // namespace mox
