#include "db/fb_client.h"

#include <atomic>

#include "base/thread_annotations.h"
#include "db/database_error.h"
#include "platform/file_system.h"
#include "platform/static_mutex.h"

namespace mox {
namespace {

// Holds a value whose destructor never runs: the kept client must not be unloaded by the
// library's own destructors at process exit, while the client library's exit handlers run.
template <typename T>
union NoDestroy {
  constexpr NoDestroy() : value() {}
  ~NoDestroy() {}
  T value;
};

struct KeptClient {
  std::vector<std::string> names;
  std::shared_ptr<const FbClient> client;
};

constinit platform::StaticMutex gKeptLock;
NoDestroy<KeptClient> gKept GUARDED_BY(gKeptLock);
constinit std::atomic<unsigned> gLoads{0};

template <typename Function>
bool Bind(const platform::DynamicLibrary& library, const char* name, Function& target) {
  target = library.Get<Function>(name);
  return target != nullptr;
}

}  // namespace

std::vector<std::string> ClientLibraryNames() {
  return {platform::kClientLibraryNames.begin(), platform::kClientLibraryNames.end()};
}

const char* FbClient::Resolve() {
  const auto& lib = library_;
  Bind(lib, "fb_cancel_operation", cancel_operation);
  const char* missing = nullptr;
  // Notes the first entry point that is missing.
  const auto bind = [&](const char* name, auto& target) {
    if (Bind(lib, name, target)) return true;
    missing = name;
    return false;
  };
  const bool complete =
      bind("isc_attach_database", attach_database) &&
      bind("isc_detach_database", detach_database) && bind("isc_database_info", database_info) &&
      bind("isc_start_multiple", start_multiple) &&
      bind("isc_commit_transaction", commit_transaction) &&
      bind("isc_rollback_transaction", rollback_transaction) &&
      bind("isc_dsql_allocate_statement", dsql_allocate_statement) &&
      bind("isc_dsql_prepare", dsql_prepare) && bind("isc_dsql_describe", dsql_describe) &&
      bind("isc_dsql_describe_bind", dsql_describe_bind) &&
      bind("isc_dsql_execute", dsql_execute) && bind("isc_dsql_fetch", dsql_fetch) &&
      bind("isc_dsql_free_statement", dsql_free_statement) && bind("isc_open_blob2", open_blob2) &&
      bind("isc_get_segment", get_segment) && bind("isc_close_blob", close_blob) &&
      bind("fb_interpret", interpret);
  return complete ? nullptr : missing;
}

std::shared_ptr<const FbClient> FbClient::Load(const std::vector<std::string>& names) {
  platform::StaticMutexLock lock(gKeptLock);
  KeptClient& kept = gKept.value;
  if (kept.client && kept.names == names) return kept.client;
  // Why each name failed, for the line that follows the fixed message.
  std::string tried;
  for (const std::string& name : names) {
    auto client = std::make_shared<FbClient>();
    std::string reason;
    client->library_ = platform::DynamicLibrary::Open(name, &reason);
    if (client->library_) {
      const char* missing = client->Resolve();
      if (missing == nullptr) {
        kept.names = names;
        kept.client = client;
        gLoads.fetch_add(1);
        return client;
      }
      reason = std::string("loaded, but it has no ") + missing;
    }
    tried += (tried.empty() ? "tried " : "; ") + platform::PathForLog(name) + ": " + reason;
  }
  throw DatabaseError(
      "InterBase library " + std::string(platform::kClientLibraryNames.front()) +
          " not found in the path. Please install InterBase to use this functionality",
      tried + "; looked in " + platform::PathForLog(platform::DynamicLibrary::SearchPlaces()));
}

unsigned ClientLibraryLoads() noexcept {
  return gLoads.load();
}

void ReleaseClientLibrary() noexcept {
  platform::StaticMutexLock lock(gKeptLock);
  gKept.value.client.reset();
  gKept.value.names.clear();
  gKept.value.names.shrink_to_fit();
}

}  // namespace mox
