// Private-profile ("ini") files: our own reader and writer with the rules the plug-in relies on.
//
// Reading: section and key names match without regard to ASCII letter case; the first matching
// section and the first matching key in it win; a value is the text after the first "=", with
// surrounding blanks removed and one pair of enclosing single or double quotes removed, cut to
// kMaxValueLength characters. A missing file, section or key gives the default.
//
// Writing: one key at a time. An existing entry's line is replaced in place by key=value alone
// (blanks and quotes around the old value do not survive); a missing key is added at the end of
// its section; a missing section is appended at the end of the file; a missing file
// is created. Every other byte of the file is kept as it was (line ends, a byte-order mark,
// comments, garbage, a missing final line end). The file is replaced atomically (see
// ReplaceFileAtomically), so it is never left half written.
#pragma once

#include <string>
#include <string_view>

namespace mox {

class IniFile {
 public:
  static constexpr std::size_t kMaxValueLength = 2047;

  explicit IniFile(std::string path);

  const std::string& path() const { return path_; }

  // The value of `key` in `section`, or `default_value`.
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view default_value) const;

  // Writes `key`=`value` into `section`. False when the file cannot be written; the file is then
  // unchanged.
  bool WriteString(std::string_view section, std::string_view key, std::string_view value);

 private:
  std::string path_;
};

}  // namespace mox
