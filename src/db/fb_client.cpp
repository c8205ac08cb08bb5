#include "db/fb_client.h"

#include <atomic>
#include <mutex>

#include "db/db_error.h"
#include "platform/static_mutex.h"

namespace mox {
namespace {

std::mutex gNamesLock;
std::optional<std::vector<std::string>> gNamesOverride;

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
NoDestroy<KeptClient> gKept;
constinit std::atomic<unsigned> gLoads{0};

template <typename Function>
bool Bind(const platform::DynamicLibrary& library, const char* name, Function& target) {
  target = library.Get<Function>(name);
  return target != nullptr;
}

}  // namespace

std::vector<std::string> ClientLibraryNames() {
  std::lock_guard lock(gNamesLock);
  if (gNamesOverride) return *gNamesOverride;
  return {platform::kClientLibraryNames.begin(), platform::kClientLibraryNames.end()};
}

void OverrideClientLibraryNamesForTesting(std::optional<std::vector<std::string>> names) {
  std::lock_guard lock(gNamesLock);
  gNamesOverride = std::move(names);
}

bool FbClient::Resolve() {
  const auto& lib = library_;
  Bind(lib, "fb_cancel_operation", cancel_operation);
  return Bind(lib, "isc_attach_database", attach_database) &&
         Bind(lib, "isc_detach_database", detach_database) &&
         Bind(lib, "isc_database_info", database_info) &&
         Bind(lib, "isc_start_multiple", start_multiple) &&
         Bind(lib, "isc_commit_transaction", commit_transaction) &&
         Bind(lib, "isc_rollback_transaction", rollback_transaction) &&
         Bind(lib, "isc_dsql_allocate_statement", dsql_allocate_statement) &&
         Bind(lib, "isc_dsql_prepare", dsql_prepare) &&
         Bind(lib, "isc_dsql_describe", dsql_describe) &&
         Bind(lib, "isc_dsql_describe_bind", dsql_describe_bind) &&
         Bind(lib, "isc_dsql_execute", dsql_execute) && Bind(lib, "isc_dsql_fetch", dsql_fetch) &&
         Bind(lib, "isc_dsql_free_statement", dsql_free_statement) &&
         Bind(lib, "isc_open_blob2", open_blob2) && Bind(lib, "isc_get_segment", get_segment) &&
         Bind(lib, "isc_close_blob", close_blob) && Bind(lib, "fb_interpret", interpret);
}

std::shared_ptr<const FbClient> FbClient::Load() {
  const std::vector<std::string> names = ClientLibraryNames();
  std::lock_guard lock(gKeptLock);
  KeptClient& kept = gKept.value;
  if (kept.client && kept.names == names) return kept.client;
  for (const std::string& name : names) {
    auto client = std::make_shared<FbClient>();
    client->library_ = platform::DynamicLibrary::Open(name);
    if (client->library_ && client->Resolve()) {
      kept.names = names;
      kept.client = client;
      gLoads.fetch_add(1);
      return client;
    }
  }
  throw DBError("InterBase library " + std::string(platform::kClientLibraryNames.front()) +
                " not found in the path. Please install InterBase to use this functionality");
}

unsigned ClientLibraryLoads() noexcept {
  return gLoads.load();
}

void ReleaseClientLibrary() noexcept {
  std::lock_guard lock(gKeptLock);
  gKept.value.client.reset();
  gKept.value.names.clear();
  gKept.value.names.shrink_to_fit();
}

}  // namespace mox
