// The raw baseline: the Firebird client's C interface called directly, loaded at run time as the
// plug-in loads it, with none of the plug-in's queueing, logging or bookkeeping.
#pragma once

#include <ibase.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/dynamic_library.h"

namespace mox::bench {

struct FbApi {
  // libfbclient.so.2, loaded once for the process. Throws std::runtime_error when it is missing.
  static const FbApi& Get();

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
  decltype(&isc_dsql_execute_immediate) dsql_execute_immediate = nullptr;
  decltype(&isc_dsql_fetch) dsql_fetch = nullptr;
  decltype(&isc_dsql_free_statement) dsql_free_statement = nullptr;
  decltype(&fb_interpret) interpret = nullptr;

 private:
  platform::DynamicLibrary library_;
};

// Throws std::runtime_error with the client's message text when `status` holds an error.
void CheckStatus(const ISC_STATUS* status, const char* call);

class RawAttachment {
 public:
  RawAttachment(const std::string& name, const std::string& user, const std::string& password,
                const std::string& charset);
  ~RawAttachment();
  RawAttachment(const RawAttachment&) = delete;
  RawAttachment& operator=(const RawAttachment&) = delete;

  isc_db_handle* Handle() { return &handle_; }

 private:
  isc_db_handle handle_ = 0;
};

struct RawParam {
  bool is_text = true;
  std::string text;
  int32_t integer = 0;
};

// One command as the plug-in runs it against its kept connection: the liveness probe
// (isc_database_info), a transaction with an empty parameter block, a new statement prepared
// with its parameters bound, executed, the first row fetched, the statement freed, commit.
class RawCommand {
 public:
  RawCommand(RawAttachment& attachment, std::string sql, std::vector<RawParam> params);

  // Throws std::runtime_error on any failure (the transaction is rolled back).
  void Run();
  // The first row's columns as text, from the latest Run; empty when there was no row.
  std::vector<std::string> LastRowAsText() const;

 private:
  void Bind(XSQLDA* input);

  RawAttachment& attachment_;
  std::string sql_;
  std::vector<RawParam> params_;
  std::vector<char> output_storage_;
  std::vector<char> input_storage_;
  std::vector<std::vector<char>> output_areas_;
  std::vector<std::vector<char>> input_areas_;
  std::vector<short> output_nulls_;
  std::vector<short> input_nulls_;
  bool has_row_ = false;
};

// Holds a row's lock from another transaction until released: an update of that row waits
// (the default transaction waits on lock conflicts).
class RowLock {
 public:
  RowLock(RawAttachment& attachment, const std::string& update_sql);
  ~RowLock();
  RowLock(const RowLock&) = delete;
  RowLock& operator=(const RowLock&) = delete;
  // Rolls the holding transaction back.
  void Release();

 private:
  isc_tr_handle transaction_ = 0;
};

}  // namespace mox::bench
