#include "log/file_log.h"

#include <cstring>

#include "log/date_time_pattern.h"
#include "platform/path.h"

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
  char data_[FileLog::kRecordBufferSize];
  std::size_t size_ = 0;
};

}  // namespace

FileLog::FileLog(std::string file_name) : FileLog(std::move(file_name), false) {}

FileLog::FileLog(std::string file_name, bool create_folder)
    : file_name_(std::move(file_name)),
      clock_(&platform::NowLocal),
      create_folder_(create_folder) {}

const std::string& FileLog::GetFileName() {
  return file_name_;
}

bool FileLog::Write(std::string_view text) {
  MutexLock guard(lock_);
  // The name comes first: a line whose name is fetched just before the hour turns carries the
  // next hour's time stamp in the old hour's file.
  const std::string& name = GetFileName();
  if (name.empty()) return false;
  RecordBuffer record;
  record.AppendTimeStamp(Now());
  // A record too long for the buffer loses the end of its text, never its line end: the next
  // record must not join it.
  constexpr std::string_view kLineEnd = "\r\n";
  record.Append(text, kLineEnd.size());
  record.Append(kLineEnd);
  return file_.Append(name, record.data(), record.size(), create_folder_);
}

}  // namespace mox
