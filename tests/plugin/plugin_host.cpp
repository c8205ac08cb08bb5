#include "plugin/plugin_host.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <sstream>
#include <stdexcept>

#include "platform/file_system.h"
#include "platform/process.h"

namespace mox::test {
namespace {

// The callback is a plain function: it finds the host that is currently loaded through this.
std::atomic<PluginHost*> gCurrentHost{nullptr};

}  // namespace

PluginHost::PluginHost(const std::string& library_file_name, const PluginSettings* settings) {
  library_path_ = dir_.File(library_file_name);
  module_name_ = library_file_name;
  std::filesystem::copy_file(MOX_PLUGIN_PATH, library_path_);
  // Log files of an earlier run of the same test would mix with this run's lines.
  for (const auto& file : LogFiles()) std::filesystem::remove(file);
  if (settings != nullptr) WritePluginSettings(settings_path(), *settings);
}

PluginHost::~PluginHost() {
  if (loaded()) Unload();
}

std::string PluginHost::settings_path() const {
  return platform::ReplaceExtension(library_path_, ".ini");
}

void PluginHost::Load() {
  std::string error;
  library_ = PluginLibrary::Open(library_path_, &error);
  if (!library_) throw std::runtime_error(error);
  gCurrentHost = this;
}

void PluginHost::Unload() {
  library_.Close();
  gCurrentHost = nullptr;
}

const char* PluginHost::GetName() {
  const char* name = nullptr;
  library_.GetName(&name);
  return name;
}

const char* PluginHost::Init(uint32_t user, bool with_callback) {
  const char* name = nullptr;
  library_.Init(&name, with_callback ? &PluginHost::OnReply : nullptr, user);
  return name;
}

int32_t PluginHost::Command(int32_t tag, const std::string& payload) {
  return library_.Command(tag, payload.data(), static_cast<uint32_t>(payload.size()));
}

int32_t PluginHost::CommandRaw(int32_t tag, const void* payload, uint32_t length) {
  return library_.Command(tag, payload, length);
}

void PluginHost::Finalize() {
  library_.Finalize();
}

void MOX_CALL PluginHost::OnReply(int32_t tag, const char* name, const char* reply, int32_t length,
                                  uint32_t user) {
  PluginHost* host = gCurrentHost.load();
  if (host == nullptr) return;
  Reply r;
  r.tag = tag;
  r.name = name != nullptr ? name : "<null>";
  r.length = length;
  if (reply != nullptr && length > 0) {
    r.bytes.assign(reply, static_cast<std::size_t>(length));
    r.nul_after = reply[length] == '\0';
  }
  r.user = user;
  r.thread = std::this_thread::get_id();
  host->Record(std::move(r));
}

void PluginHost::Record(Reply reply) {
  std::function<void(const Reply&)> hook;
  {
    std::lock_guard lock(lock_);
    hook = hook_;
  }
  if (hook) hook(reply);
  std::lock_guard lock(lock_);
  replies_.push_back(std::move(reply));
  arrived_.notify_all();
}

void PluginHost::SetOnReply(std::function<void(const Reply&)> hook) {
  std::lock_guard lock(lock_);
  hook_ = std::move(hook);
}

bool PluginHost::WaitForReplies(std::size_t count, std::chrono::milliseconds timeout) {
  std::unique_lock lock(lock_);
  return arrived_.wait_for(lock, timeout, [&] { return replies_.size() >= count; });
}

std::vector<Reply> PluginHost::Replies() {
  std::lock_guard lock(lock_);
  return replies_;
}

std::size_t PluginHost::ReplyCount() {
  std::lock_guard lock(lock_);
  return replies_.size();
}

std::vector<std::string> PluginHost::LogFiles() const {
  std::vector<std::string> files;
  const std::filesystem::path logs = std::filesystem::path(HostLogRoot()) / "Logs";
  std::error_code ec;
  if (!std::filesystem::exists(logs, ec)) return files;
  const std::string suffix = "_" + module_name_ + ".log";
  for (const auto& day : std::filesystem::directory_iterator(logs, ec)) {
    if (!day.is_directory()) continue;
    for (const auto& file : std::filesystem::directory_iterator(day.path(), ec)) {
      const std::string name = file.path().filename().string();
      if (name.size() == 2 + suffix.size() && name.ends_with(suffix)) {
        files.push_back(file.path().string());
      }
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<std::string> PluginHost::LogLines() const {
  std::vector<std::string> lines;
  for (const auto& file : LogFiles()) {
    const std::string contents = ReadFile(file);
    std::size_t start = 0;
    while (start < contents.size()) {
      auto end = contents.find("\r\n", start);
      if (end == std::string::npos) end = contents.size();
      std::string line = contents.substr(start, end - start);
      // "HH:NN:SS.ZZZ " precedes the text.
      lines.push_back(line.size() >= 13 ? line.substr(13) : line);
      start = end + 2;
    }
  }
  return lines;
}

std::string HostLogRoot() {
  return platform::DirectoryPart(platform::HostExecutablePath());
}

void WritePluginSettings(const std::string& path, const PluginSettings& s) {
  std::ostringstream out;
  out << "[DB]\r\n"
      << "DBFile=" << s.db_file << "\r\n"
      << "DBUser=" << s.db_user << "\r\n"
      << "DBPass=" << s.db_pass << "\r\n"
      << "DBLang=" << s.db_lang << "\r\n"
      << "DBTime=" << s.db_time << "\r\n"
      << "Protocol=" << (s.protocol ? 1 : 0) << "\r\n";
  WriteFile(path, out.str());
  // As a careful host leaves it: the file holds the password.
  std::filesystem::permissions(
      path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

}  // namespace mox::test
