// The ini reader and writer on any file.
//
// Input: four length bytes (section, key, value low byte, value high byte), then the section, key
// and value texts, then the bytes of the file. Reading any key of the file never fails hard. After
// one WriteString, reading that key gives the value written, and the file differs from before only
// by the key's own line (replaced or inserted), a new section header for it at the end, and a line
// end added to a last line that had none. A write that fails leaves the file as it was.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "config/ini_file.h"
#include "fuzz_check.h"

namespace {

using mox::IniFile;
using mox::fuzz::Check;

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// One folder for the whole run, in memory where the machine has /dev/shm: the writer syncs every
// file it replaces.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::error_code error;
    const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", error)
                                           ? std::filesystem::path("/dev/shm")
                                           : std::filesystem::temp_directory_path();
    std::string name = (base / "mox-fuzz-ini-XXXXXX").string();
    Check(mkdtemp(name.data()) != nullptr, "a scratch folder can be made");
    path_ = name;
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  std::string File() const { return (path_ / "settings.ini").string(); }

 private:
  std::filesystem::path path_;
};

void WriteBytes(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  Check(static_cast<bool>(out), "the scratch file can be written");
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The lines of a file, each with its line end (CR LF, CR or LF); the last may have none.
std::vector<std::string> Lines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t begin = 0;
  while (begin < text.size()) {
    std::size_t end = text.find_first_of("\r\n", begin);
    if (end == std::string_view::npos) {
      end = text.size();
    } else if (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') {
      end += 2;
    } else {
      end += 1;
    }
    lines.emplace_back(text.substr(begin, end - begin));
    begin = end;
  }
  return lines;
}

std::string_view LineEnd(std::string_view line) {
  std::size_t content = line.size();
  while (content > 0 && (line[content - 1] == '\r' || line[content - 1] == '\n')) --content;
  return line.substr(content);
}

std::string_view Content(std::string_view line) {
  return line.substr(0, line.size() - LineEnd(line).size());
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool SameIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// The name part of a key line ("name =" up to and including the "="), or empty.
std::string_view KeyPart(std::string_view line, std::string_view key) {
  const std::string_view content = Content(line);
  const std::size_t equals = content.find('=');
  if (equals == std::string_view::npos) return {};
  if (!SameIgnoringAsciiCase(Trim(content.substr(0, equals)), key)) return {};
  return content.substr(0, equals + 1);
}

// True when `line` reads as `key` with `value`, by the reading rules: the value is trimmed of
// blanks and of one pair of enclosing quotes.
bool ReadsAsEntry(std::string_view line, std::string_view key, std::string_view value) {
  const std::string_view key_part = KeyPart(line, key);
  if (key_part.empty()) return false;
  std::string_view stored = Trim(Content(line).substr(key_part.size()));
  if (stored.size() >= 2 && (stored.front() == '"' || stored.front() == '\'') &&
      stored.back() == stored.front()) {
    stored = stored.substr(1, stored.size() - 2);
  }
  return stored == value;
}

// The same for a line the writer added: it always ends with a line end.
bool IsAddedEntryLine(std::string_view line, std::string_view key, std::string_view value) {
  return !LineEnd(line).empty() && ReadsAsEntry(line, key, value);
}

bool IsHeaderLine(std::string_view line, std::string_view section) {
  return !LineEnd(line).empty() && Content(line) == "[" + std::string(section) + "]";
}

// Checks that `after` is `before` with only the changes one WriteString may make.
void CheckOnlyTheKeyChanged(const std::string& before, const std::string& after,
                            std::string_view section, std::string_view key,
                            std::string_view value) {
  const std::vector<std::string> old_lines = Lines(before);
  const std::vector<std::string> new_lines = Lines(after);
  // The lines both files share at their start and at their end are the untouched ones.
  std::size_t prefix = 0;
  while (prefix < old_lines.size() && prefix < new_lines.size() &&
         old_lines[prefix] == new_lines[prefix]) {
    ++prefix;
  }
  std::size_t suffix = 0;
  while (prefix + suffix < old_lines.size() && prefix + suffix < new_lines.size() &&
         old_lines[old_lines.size() - 1 - suffix] == new_lines[new_lines.size() - 1 - suffix]) {
    ++suffix;
  }
  std::vector<std::string_view> removed(old_lines.begin() + static_cast<std::ptrdiff_t>(prefix),
                                        old_lines.end() - static_cast<std::ptrdiff_t>(suffix));
  std::vector<std::string_view> added(new_lines.begin() + static_cast<std::ptrdiff_t>(prefix),
                                      new_lines.end() - static_cast<std::ptrdiff_t>(suffix));

  // The key already held the value as the writer stores it.
  if (removed.empty() && added.empty()) return;

  // The key's line replaced in place by key=value alone; its line end is kept.
  if (removed.size() == 1 && added.size() == 1 && !KeyPart(removed[0], key).empty()) {
    Check(KeyPart(added[0], key) == std::string(key) + "=", "a replaced line starts with key=");
    Check(LineEnd(added[0]) == LineEnd(removed[0]), "a replaced line keeps its line end");
    Check(ReadsAsEntry(added[0], key, value), "the replaced line holds the value");
    return;
  }

  // A last line without a line end gets one before anything is added after it; a file of a
  // byte-order mark alone gets the new section header right after the mark.
  if (removed.size() == 1) {
    Check(suffix == 0 && prefix + 1 == old_lines.size() && LineEnd(removed[0]).empty(),
          "only a last line without a line end may change besides the key's line");
    Check(!added.empty(), "the last line is kept");
    if (old_lines.size() == 1 && removed[0] == kByteOrderMark &&
        added[0].substr(0, kByteOrderMark.size()) == removed[0]) {
      added[0].remove_prefix(kByteOrderMark.size());
    } else {
      Check(added[0].substr(0, removed[0].size()) == removed[0] &&
                Content(added[0]) == removed[0] && !LineEnd(added[0]).empty(),
            "the last line only gains a line end");
      added.erase(added.begin());
    }
    removed.clear();
  }
  Check(removed.empty(), "no line but the key's own is removed or changed");

  if (added.size() == 1) {
    Check(IsAddedEntryLine(added[0], key, value), "the inserted line holds the value");
    return;
  }
  Check(added.size() == 2, "at most a section header and the key's line are added");
  Check(suffix == 0, "a new section goes at the end of the file");
  Check(IsHeaderLine(added[0], section), "the new section has its header");
  Check(IsAddedEntryLine(added[1], key, value), "the new section holds the key's line");
  Check(LineEnd(added[0]) == LineEnd(added[1]), "the added lines end alike");
}

// Names that need nothing special: any write with them (and a value without line ends) works.
bool IsPlainName(std::string_view name) {
  if (name.empty()) return false;
  for (const char c : name) {
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) {
      return false;
    }
  }
  return true;
}

// Takes up to `length` bytes from the front of `input`.
std::string_view Take(std::string_view& input, std::size_t length) {
  const std::string_view taken = input.substr(0, length);
  input.remove_prefix(taken.size());
  return taken;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static const ScratchFolder folder;
  const std::string path = folder.File();

  std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::string_view lengths = Take(input, 4);
  const auto length_at = [&](std::size_t i) -> std::size_t {
    return i < lengths.size() ? static_cast<unsigned char>(lengths[i]) : 0;
  };
  const std::string_view section = Take(input, length_at(0));
  const std::string_view key = Take(input, length_at(1));
  const std::string_view value = Take(input, length_at(2) | (length_at(3) << 8));
  const std::string before(input);

  WriteBytes(path, before);
  IniFile ini(path);
  (void)ini.ReadString(section, key, "");

  const bool written = ini.WriteString(section, key, value);
  const std::string after = ReadBytes(path);
  if (!written) {
    Check(after == before, "a failed write leaves the file as it was");
    Check(!IsPlainName(section) || !IsPlainName(key) ||
              value.find_first_of("\r\n") != std::string_view::npos,
          "a write with plain names and a one-line value succeeds");
    return 0;
  }

  const std::string expected(value.substr(0, IniFile::kMaxValueLength));
  Check(ini.ReadString(section, key, "\x01") == expected &&
            ini.ReadString(section, key, "\x02") == expected,
        "the key reads back as the value written");
  CheckOnlyTheKeyChanged(before, after, section, key, value);
  return 0;
}
