// WorkerServices: what the worker needs of the plug-in around it: the settings file, the two logs
// and the plug-in name. PluginServices (plugin/) is the loaded plug-in's; tests and fuzzers put a
// fake in its place, so the queue and the dispatch run without a settings file.
#pragma once

#include <string_view>

#include "config/settings.h"

namespace mox {

class WorkerServices {
 public:
  virtual ~WorkerServices() = default;

  // Reads (and rewrites) the settings file; throws when it cannot be written.
  virtual Settings LoadSettings() = 0;
  // Keeps the library loaded for good: a thread left behind still runs its code.
  virtual void KeepLibraryLoaded() noexcept {}

  virtual void Log(std::string_view text) noexcept = 0;
  virtual void LogDetail(std::string_view text) noexcept = 0;
  // Whether LogDetail writes anything: a caller whose line costs work to build asks first.
  virtual bool DetailOn() noexcept { return true; }
  // Valid while the library is loaded.
  virtual const char* PluginName() noexcept = 0;
};

}  // namespace mox
