#include "common/plugin_under_test.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "common/stats.h"

namespace mox::bench {
namespace {

std::atomic<PluginUnderTest*> gLoaded{nullptr};

// The plug-in built beside the benchmarks, or another build of it named by MOX_BENCH_PLUGIN (to
// set two revisions side by side).
std::string PluginToTest() {
  const char* other = std::getenv("MOX_BENCH_PLUGIN");
  return other != nullptr && *other != '\0' ? other : MOX_PLUGIN_PATH;
}

}  // namespace

PluginUnderTest::PluginUnderTest() : library_path_(folder_.File("apMoxSettingsManager.so")) {
  std::filesystem::copy_file(PluginToTest(), library_path_);
  std::string error;
  library_ = PluginLibrary::Open(library_path_, &error);
  if (!library_) throw std::runtime_error(error);
  PluginUnderTest* expected = nullptr;
  if (!gLoaded.compare_exchange_strong(expected, this))
    throw std::logic_error("one plug-in at a time");
}

PluginUnderTest::~PluginUnderTest() {
  if (running_) Finalize();
  library_.Close();
  gLoaded = nullptr;
}

void PluginUnderTest::WriteSettings(const PluginSettings& s) {
  std::ofstream out(folder_.File("apMoxSettingsManager.ini"), std::ios::binary | std::ios::trunc);
  out << "[DB]\r\n"
      << "DBFile=" << s.db_file << "\r\n"
      << "DBUser=" << s.db_user << "\r\n"
      << "DBPass=" << s.db_pass << "\r\n"
      << "DBLang=" << s.db_lang << "\r\n"
      << "DBTime=" << s.db_time << "\r\n"
      << "Protocol=" << (s.protocol ? 1 : 0) << "\r\n";
  if (s.max_queue_bytes) out << "[Queue]\r\nMaxQueueBytes=" << *s.max_queue_bytes << "\r\n";
  if (!out) throw std::runtime_error("cannot write the plug-in's settings file");
}

void PluginUnderTest::Init() {
  const char* name = nullptr;
  library_.Init(&name, &PluginUnderTest::OnReply, 4242);
  running_ = true;
}

void PluginUnderTest::Finalize() {
  library_.Finalize();
  running_ = false;
}

void PluginUnderTest::ResetReplies(std::size_t capacity) {
  reply_ns_.assign(capacity, 0);
  reply_length_.assign(capacity, 0);
  first_reply_.clear();
  reply_count_.store(0, std::memory_order_release);
}

void PluginUnderTest::WaitForReplies(uint64_t count) {
  std::unique_lock lock(wait_lock_);
  // Sequentially consistent with the callback's increment: either the callback sees this target,
  // or the check below sees its reply.
  wake_at_.store(count);
  arrived_.wait(lock, [&] { return reply_count_.load() >= count; });
  wake_at_.store(std::numeric_limits<uint64_t>::max());
}

void MOX_CALL PluginUnderTest::OnReply(int32_t tag, const char*, const char* reply, int32_t length,
                                       uint32_t) {
  const int64_t now = NowNs();
  PluginUnderTest* self = gLoaded.load(std::memory_order_acquire);
  if (self == nullptr) return;
  if (tag >= 0 && std::size_t(tag) < self->reply_ns_.size()) {
    self->reply_ns_[std::size_t(tag)] = now;
    self->reply_length_[std::size_t(tag)] = length;
    if (tag == 0) self->first_reply_.assign(reply, std::size_t(length));
  }
  if (self->reply_count_.fetch_add(1) + 1 >= self->wake_at_.load()) {
    std::lock_guard lock(self->wait_lock_);
    self->arrived_.notify_all();
  }
}

}  // namespace mox::bench
