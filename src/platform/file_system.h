// File operations the logs and the settings file need.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace mox::platform {

// Appends `size` bytes to the file at `path` with one write call, creating the file when it does
// not exist and never truncating it. Other processes may read the file meanwhile. The file is
// closed again before returning. True when the write call reported success.
bool AppendToFile(const std::string& path, const char* data, std::size_t size);

// True when `path` names an existing directory.
bool DirectoryExists(const std::string& path);

// True when nothing exists at `path` (false when something is there or the system cannot tell).
bool FileIsMissing(const std::string& path);

// Creates the directory `path` with every missing parent. True when it exists afterwards.
bool CreateDirectories(const std::string& path);

// Reads the whole file into `contents`. False when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string& contents);

// True when the file at `path` exists and its permission bits let its group or others read it.
bool ReadableByGroupOrOthers(const std::string& path);

// Replaces the file at `path` with `contents` so that readers see either the old or the new file,
// never a half-written one: the data goes to a temporary file in the same directory, is flushed,
// and is renamed over the old one. A new file is readable and writable by its owner only; an
// existing file keeps its permission bits. False (with nothing changed) on any failure.
bool ReplaceFileAtomically(const std::string& path, std::string_view contents);

}  // namespace mox::platform
