// A log that appends lines to one named file, kept open between lines (see AppendingFile for the
// check that a file deleted or moved away is opened anew at the next line). Below the log's top
// folder no symbolic link is followed: a line whose path meets one goes to no file, and the next
// line that reaches a file is preceded by one that names the link.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "log/custom_log.h"
#include "platform/clock.h"
#include "platform/file_system.h"

namespace mox {

class FileLog : public CustomLog {
 public:
  // Where the log takes the current local date and time from.
  using Clock = std::function<platform::LocalDateTime()>;

  // A record is written from a fixed buffer of this size, its last byte being a terminating zero,
  // so at most kRecordBufferSize - 1 bytes of a record reach the file; a longer one is cut in its
  // text and keeps its CR LF.
  static constexpr std::size_t kRecordBufferSize = 8192;

  // The file's own folder is the top folder: only the file itself is opened without following a
  // link.
  explicit FileLog(std::string file_name);

  // A time-stamped line into the current file.
  bool Write(std::string_view text) override EXCLUDES(lock_);

 protected:
  // Every file name begins with `top_folder`, which is opened as it is, symbolic links included;
  // the folders below it and the file are not opened through a link. With `create_folder`, a
  // folder missing from the file's path is created at the next line.
  FileLog(std::string file_name, std::string top_folder, bool create_folder);

  // The name of the file the next line goes to; empty means "write nothing". Called by the write
  // operations with the lock held; may throw, and the error then passes out of the write
  // operation (after the lock is released). The reference stays valid until the next call.
  virtual const std::string& GetFileName() REQUIRES(lock_);

 public:
  // Replaces the clock (platform::NowLocal by default). Only while no write is running.
  void SetClock(Clock clock) { clock_ = std::move(clock); }

 protected:
  platform::LocalDateTime Now() const { return clock_(); }

  std::string file_name_ GUARDED_BY(lock_);  // GetFileName rewrites it

 private:
  // One record, stamped with `when`, into the file `name`.
  platform::AppendingFile::AppendResult AppendRecord(const std::string& name,
                                                     const platform::LocalDateTime& when,
                                                     std::string_view text) REQUIRES(lock_);

  Clock clock_;
  const std::string top_folder_;
  const bool create_folder_ = false;
  platform::AppendingFile file_ GUARDED_BY(lock_);
  // The link that kept the last line out of its file, until a line names it.
  std::string refused_link_ GUARDED_BY(lock_);
};

}  // namespace mox
