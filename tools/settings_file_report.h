// The plug-in's settings file as an operator checks it before the host starts.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace mox::host {

// The file the plug-in reads: beside the library, named like it with the extension ".ini".
std::filesystem::path SettingsFileFor(const std::filesystem::path& plugin);

// The value of `key` in section [DB] of an ini text, as the plug-in reads it: section and key
// names in any letter case, blanks around the value and one pair of enclosing quotes removed.
// Empty when the key is absent.
std::optional<std::string> DbSetting(std::string_view ini_text, std::string_view key);

// Lines describing the file: its path, the six keys of [DB] (the password as ***, a missing key
// named as such), `access_line` (who may read it), and notes on values that hide or skip a check.
// `text` is empty when the file cannot be read.
std::string DescribeSettingsFile(const std::filesystem::path& file,
                                 const std::optional<std::string>& text,
                                 const std::string& access_line);

// The access line of a file whose mode bits tell who may read it.
std::string SettingsFileModeLine(const std::filesystem::path& file,
                                 std::filesystem::perms permissions);

}  // namespace mox::host
