// The program log's file: each line goes to the file that a date-time pattern names at that line,
// so that the file and its folder change with the clock (one file an hour for the program log). A
// missing folder is created. The file is kept open between lines (see AppendingFile for the check
// that a file deleted or moved away is opened anew at the next line). Below the top folder no
// symbolic link is followed: a line whose path meets one goes to no file, and the next line that
// reaches a file is preceded by one that names the link.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "log/date_time_pattern.h"
#include "platform/clock.h"
#include "platform/file_system.h"

namespace mox {

// Not thread-safe: the owner serialises calls.
class HourlyFile {
 public:
  // Where the current local date and time come from.
  using Clock = std::function<platform::LocalDateTime()>;

  // A record is written from a fixed buffer of this size, its last byte being a terminating zero,
  // so at most kRecordBufferSize - 1 bytes of a record reach the file; a longer one is cut in its
  // text and keeps its CR LF.
  static constexpr std::size_t kRecordBufferSize = 8192;

  // `file_name_pattern` uses the language of FormatDateTime and must yield a full file path that
  // begins with `top_folder`. The top folder is opened as it is, symbolic links included; the
  // folders below it and the file are not opened through a link.
  HourlyFile(std::string file_name_pattern, std::string top_folder);

  // One line, "HH:NN:SS.ZZZ <text>" CR LF, into the file the pattern names. `clock` is read twice:
  // for the name, then for the time stamp. True when written. Throws std::runtime_error when the
  // name has no directory part.
  bool Write(std::string_view text, const Clock& clock);

 private:
  // One record, stamped with `when`, into the file file_name_.
  platform::AppendingFile::AppendResult AppendRecord(const platform::LocalDateTime& when,
                                                     std::string_view text);

  CachedDateTimeFormat file_name_pattern_;
  const std::string top_folder_;
  std::string file_name_;  // the name last formatted, checked once for its directory part
  platform::AppendingFile file_;
  // The link that kept the last line out of its file, until a line names it.
  std::string refused_link_;
};

}  // namespace mox
