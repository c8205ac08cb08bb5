// The built plug-in loaded as a host loads it: a copy of apMoxSettingsManager.so in a folder of
// its own with its settings file beside it, opened by path, driven through its four exports. Every
// reply is counted and time-stamped by the request tag it carries.
//
// One instance at a time: the reply callback is a plain function that finds the loaded instance
// through a global.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <limits>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "apMoxSettingsManager.h"
#include "common/temp_folder.h"
#include "plugin_library.h"

namespace mox::bench {

struct PluginSettings {
  std::string db_file;
  std::string db_user = "SYSDBA";
  std::string db_pass = "masterkey";
  std::string db_lang = "WIN1251";
  int32_t db_time = 1200000;
  bool protocol = false;
  // [Queue] MaxQueueBytes when set (0 turns the byte limit off); else the plug-in's default.
  std::optional<int64_t> max_queue_bytes;
};

class PluginUnderTest {
 public:
  // Copies the plug-in (MOX_PLUGIN_PATH) into a fresh folder and loads it.
  PluginUnderTest();
  // Finalizes a running plug-in, then unloads it.
  ~PluginUnderTest();
  PluginUnderTest(const PluginUnderTest&) = delete;
  PluginUnderTest& operator=(const PluginUnderTest&) = delete;

  // Written before Init: the plug-in reads its settings file at every Init_Plugin.
  void WriteSettings(const PluginSettings& settings);

  void Init();
  void Finalize();
  bool Running() const { return running_; }

  int32_t Command(int32_t tag, const void* payload, uint32_t length) {
    return library_.Command(tag, payload, length);
  }

  // Replies are recorded for tags 0 .. capacity-1 (time and length); other tags are only counted.
  // Clears the records and the count. Only while no reply is due.
  void ResetReplies(std::size_t capacity);
  uint64_t ReplyCount() const { return reply_count_.load(std::memory_order_acquire); }
  // Blocks until at least `count` replies arrived since the last reset. The callback wakes the
  // waiter only when that count is reached, so waiting costs the plug-in's thread nothing before.
  void WaitForReplies(uint64_t count);
  int64_t ReplyTimeNs(int32_t tag) const { return reply_ns_[std::size_t(tag)]; }
  int32_t ReplyLength(int32_t tag) const { return reply_length_[std::size_t(tag)]; }
  // The bytes of the reply to tag 0.
  std::string FirstReply() const { return first_reply_; }

 private:
  static void MOX_CALL OnReply(int32_t tag, const char* name, const char* reply, int32_t length,
                               uint32_t user);

  TempFolder folder_;
  std::string library_path_;
  PluginLibrary library_;
  bool running_ = false;

  std::vector<int64_t> reply_ns_;
  std::vector<int32_t> reply_length_;
  std::string first_reply_;
  std::atomic<uint64_t> reply_count_{0};
  std::atomic<uint64_t> wake_at_{std::numeric_limits<uint64_t>::max()};
  std::mutex wait_lock_;
  std::condition_variable arrived_;
};

}  // namespace mox::bench
