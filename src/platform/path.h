// Path text helpers. Paths are byte strings in the system code page; no normalisation happens.
#pragma once

#include <string>
#include <string_view>

namespace mox::platform {

// The separator the platform's paths use between directories.
char PathSeparator();

// True for every character that ends a directory part ('/'; on Windows also '\\').
bool IsPathSeparator(char c);

// The text after the last path separator (the whole text when there is none).
std::string FileNamePart(std::string_view path);

// The text up to and including the last path separator (empty when there is none).
std::string DirectoryPart(std::string_view path);

// The path with the extension of its file-name part replaced by `extension` (which includes its
// dot), or with `extension` appended when the file name has no extension.
std::string ReplaceExtension(std::string_view path, std::string_view extension);

}  // namespace mox::platform
