// A fresh directory under /tmp for one test, removed with everything in it afterwards.
#pragma once

#include <filesystem>
#include <string>

namespace mox::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // path() / name as a string.
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// The file a path of the plug-in's names: its text read as UTF-8 (the same bytes on POSIX systems;
// on Windows a std::filesystem::path made from a std::string would read it byte by byte).
std::filesystem::path PathOf(const std::string& path);

// Whole file as bytes; empty when missing.
std::string ReadFile(const std::string& path);
// Replaces the file with `contents`.
void WriteFile(const std::string& path, const std::string& contents);

}  // namespace mox::test
