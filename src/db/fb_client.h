// The Firebird client library, loaded at run time, and the entry points the database layer uses.
// Nothing links against fbclient: every function is looked up by name after loading.
#pragma once

#include <ibase.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/dynamic_library.h"

namespace mox {

class FbClient {
 public:
  // The first library of `names` that opens and has every entry point. Loaded once and kept until
  // ReleaseClientLibrary (the library's unload), so that a worker created again finds it in
  // place. Throws DatabaseError ("InterBase library libfbclient.so.2 not found in the
  // path.
  // ...", gds32.dll on Windows) when none loads, its detail naming each library tried, why it
  // failed and where it was looked for. On 32-bit Windows every entry point is __stdcall:
  // ibase.h says so under _WIN32, and the decltype types below carry it.
  static std::shared_ptr<const FbClient> Load(const std::vector<std::string>& names);

  decltype(&isc_attach_database) attach_database = nullptr;
  decltype(&isc_detach_database) detach_database = nullptr;
  decltype(&isc_database_info) database_info = nullptr;
  decltype(&isc_start_multiple) start_multiple = nullptr;
  decltype(&isc_commit_transaction) commit_transaction = nullptr;
  decltype(&isc_rollback_transaction) rollback_transaction = nullptr;
  decltype(&isc_dsql_allocate_statement) dsql_allocate_statement = nullptr;
  decltype(&isc_dsql_prepare) dsql_prepare = nullptr;
  decltype(&isc_dsql_describe) dsql_describe = nullptr;
  decltype(&isc_dsql_describe_bind) dsql_describe_bind = nullptr;
  decltype(&isc_dsql_execute) dsql_execute = nullptr;
  decltype(&isc_dsql_fetch) dsql_fetch = nullptr;
  decltype(&isc_dsql_free_statement) dsql_free_statement = nullptr;
  decltype(&isc_open_blob2) open_blob2 = nullptr;
  decltype(&isc_get_segment) get_segment = nullptr;
  decltype(&isc_close_blob) close_blob = nullptr;
  decltype(&fb_interpret) interpret = nullptr;
  // Optional: a client without it still loads, and a running call then cannot be cancelled.
  decltype(&fb_cancel_operation) cancel_operation = nullptr;

 private:
  // Binds every entry point; the name of the first one missing, or nullptr when all are there.
  const char* Resolve();

  platform::DynamicLibrary library_;
};

// How many times a client library was loaded anew: exit handlers registered before a load run
// after the client library's own at process exit, so a caller that must run first registers again
// when this changes.
unsigned ClientLibraryLoads() noexcept;

// Drops the kept client library (it is unloaded once no connection holds it). Not at process exit:
// the client library tears itself down then.
void ReleaseClientLibrary() noexcept;

// The names the plug-in tries in order: "libfbclient.so.2", then "libfbclient.so" (Windows:
// "gds32.dll", then "fbclient.dll").
std::vector<std::string> ClientLibraryNames();

}  // namespace mox
