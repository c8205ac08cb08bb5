#include "tools/settings_file_report.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "tools/text_concat.h"
#include "tools/text_escape.h"

namespace mox::host {

namespace {

constexpr std::string_view kKeys[] = {"DBFile", "DBUser", "DBPass", "DBLang", "DBTime", "Protocol"};

std::string_view Trimmed(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

bool SameName(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

std::string PermissionText(std::filesystem::perms permissions) {
  char octal[8];
  std::snprintf(octal, sizeof octal, "%04o", static_cast<unsigned>(permissions) & 07777u);
  return octal;
}

}  // namespace

std::filesystem::path SettingsFileFor(const std::filesystem::path& plugin) {
  std::filesystem::path file = plugin;
  return file.replace_extension(".ini");
}

std::optional<std::string> DbSetting(std::string_view ini_text, std::string_view key) {
  bool in_db = false;
  while (!ini_text.empty()) {
    const std::size_t end = std::min(ini_text.find('\n'), ini_text.size());
    const std::string_view line = Trimmed(ini_text.substr(0, end));
    ini_text.remove_prefix(std::min(end + 1, ini_text.size()));
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      in_db = SameName(Trimmed(line.substr(1, line.size() - 2)), "DB");
      continue;
    }
    const std::size_t equals = line.find('=');
    if (!in_db || equals == std::string_view::npos ||
        !SameName(Trimmed(line.substr(0, equals)), key))
      continue;
    std::string_view value = Trimmed(line.substr(equals + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
      value = value.substr(1, value.size() - 2);
    return std::string(value);
  }
  return std::nullopt;
}

std::string DescribeSettingsFile(const std::filesystem::path& file,
                                 const std::optional<std::string>& text,
                                 const std::string& access_line) {
  if (!text)
    return Concat({"settings: ", file.string(),
                   " is missing or unreadable: the plug-in starts with its built-in defaults and "
                   "writes them there (or fails to start when it cannot)\n"});
  std::string out = Concat({"settings: ", file.string(), "\n"});
  for (std::string_view key : kKeys) {
    const std::optional<std::string> value = DbSetting(*text, key);
    if (!value)
      out += Concat({"  ", key, " is missing: the plug-in adds its default\n"});
    else
      out += Concat({"  ", key, "=", key == "DBPass" ? "***" : EscapeBytes(*value), "\n"});
  }
  if (DbSetting(*text, "Protocol") == "0")
    out += "  note: Protocol=0 keeps connect errors out of the log; set Protocol=1 to see them\n";
  if (const auto db_file = DbSetting(*text, "DBFile"); db_file && db_file->starts_with('/'))
    out += "  note: DBFile is a local path: embedded access, which does not check DBPass\n";

  return out + access_line;
}

std::string SettingsFileModeLine(const std::filesystem::path& file,
                                 std::filesystem::perms permissions) {
  using std::filesystem::perms;
  const std::string mode = PermissionText(permissions);
  if ((permissions & (perms::group_read | perms::others_read)) == perms::none)
    return Concat({"  permissions ", mode, ": not readable by others\n"});
  return Concat({"  permissions ", mode,
                 ": readable by others, and it holds the password (chmod 600 ", file.string(),
                 ")\n"});
}

}  // namespace mox::host
