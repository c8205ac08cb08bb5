// Loads a copy of the built plug-in exactly as a host does (PluginLibrary: opened by path, the
// four exports by name) and records every reply it sends.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "apMoxSettingsManager.h"
#include "plugin_library.h"
#include "support/temp_dir.h"

namespace mox::test {

struct Reply {
  int32_t tag = 0;
  std::string name;
  std::string bytes;  // exactly `length` bytes
  int32_t length = 0;
  uint32_t user = 0;
  bool nul_after = false;  // the byte after the reply was NUL
  std::thread::id thread;
};

// Settings written to the plug-in's ini file before loading it.
struct PluginSettings {
  std::string db_file;
  std::string db_user = "SYSDBA";
  std::string db_pass = "masterkey";
  std::string db_lang = "WIN1251";
  int32_t db_time = 1200000;
  bool protocol = true;
};

class PluginHost {
 public:
  // Copies the built plug-in into a fresh folder as `library_file_name` and writes its settings
  // file beside it (unless `settings` is null). The plug-in is not loaded yet.
  explicit PluginHost(const std::string& library_file_name, const PluginSettings* settings);
  ~PluginHost();

  const std::string& library_path() const { return library_path_; }
  std::string settings_path() const;
  const TempDir& dir() const { return dir_; }

  void Load();    // opens the library and looks up the four exports
  void Unload();  // unloads the library
  bool loaded() const { return static_cast<bool>(library_); }

  // The exports.
  const char* GetName();
  const char* Init(uint32_t user = 4242, bool with_callback = true);
  int32_t Command(int32_t tag, const std::string& payload);
  int32_t CommandRaw(int32_t tag, const void* payload, uint32_t length);
  void Finalize();

  // Waits until at least `count` replies arrived; false on time-out.
  bool WaitForReplies(std::size_t count, std::chrono::milliseconds timeout);
  std::vector<Reply> Replies();
  std::size_t ReplyCount();

  // What the callback does besides recording (runs on the worker thread, before recording).
  void SetOnReply(std::function<void(const Reply&)> hook);

  // Every line the plug-in wrote to its log files so far (all hours, in order), without the time
  // stamps and line ends.
  std::vector<std::string> LogLines() const;
  // The log files of this plug-in copy (full paths, sorted).
  std::vector<std::string> LogFiles() const;

 private:
  static void MOX_CALL OnReply(int32_t tag, const char* name, const char* reply, int32_t length,
                               uint32_t user);
  void Record(Reply reply);

  TempDir dir_;
  std::string library_path_;
  std::string module_name_;
  PluginLibrary library_;

  std::mutex lock_;
  std::condition_variable arrived_;
  std::vector<Reply> replies_;
  std::function<void(const Reply&)> hook_;
};

// Directory holding the Logs folder of this process (the test executable's directory).
std::string HostLogRoot();

// Writes a settings file for the plug-in.
void WritePluginSettings(const std::string& path, const PluginSettings& settings);

}  // namespace mox::test
