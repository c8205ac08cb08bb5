// WorkerServices: what the worker needs of the plug-in around it: the settings, the two logs and
// the plug-in name. PluginServices (plugin/) is the loaded plug-in's; tests and fuzzers put a fake
// in its place, so the queue and the dispatch run without a settings file.
#pragma once

#include <cstddef>
#include <string_view>

#include "worker/command_limits.h"

namespace mox {

class WorkerServices {
 public:
  virtual ~WorkerServices() = default;

  virtual void InitSettings() = 0;
  // The most commands the queue may hold, read after InitSettings; 0 for no limit.
  virtual std::size_t QueueLimit() noexcept { return 0; }
  // The most payload bytes the queued commands may hold together, read after InitSettings; 0 for
  // no limit.
  virtual std::size_t QueueByteLimit() noexcept { return 0; }
  // The longest command text of codes 10 to 12 and of unknown codes, read after InitSettings.
  virtual std::size_t MaxCommandBytes() noexcept { return kDefaultMaxCommandBytes; }
  // Keeps the library loaded for good: a thread left behind still runs its code.
  virtual void KeepLibraryLoaded() noexcept {}

  virtual void WriteLog(std::string_view text) noexcept = 0;
  virtual void WriteProtocol(std::string_view text) noexcept = 0;
  // Valid while the library is loaded.
  virtual const char* PluginName() noexcept = 0;
};

}  // namespace mox
