#include "common/raw_client.h"

#include <cstring>
#include <stdexcept>

namespace mox::bench {
namespace {

constexpr unsigned short kDialect = 3;
constexpr int kInitialColumns = 16;
constexpr ISC_STATUS kNoMoreRows = 100;
// Text parameters travel in the attachment's character set, as the plug-in sends them.
constexpr short kConnectionCharset = 127;

struct TransactionExistenceBlock {
  isc_db_handle* database;
  int tpb_length;
  const char* tpb;
};

template <typename Function>
void Bind(const platform::DynamicLibrary& library, const char* name, Function& target) {
  target = library.Get<Function>(name);
  if (target == nullptr) throw std::runtime_error(std::string("libfbclient lacks ") + name);
}

XSQLDA* Descriptor(std::vector<char>& storage, int capacity) {
  storage.assign(XSQLDA_LENGTH(static_cast<std::size_t>(capacity)), 0);
  auto* sqlda = reinterpret_cast<XSQLDA*>(storage.data());
  sqlda->version = SQLDA_VERSION1;
  sqlda->sqln = static_cast<ISC_SHORT>(capacity);
  return sqlda;
}

std::size_t DataSize(const XSQLVAR& var) {
  if ((var.sqltype & ~1) == SQL_VARYING) return sizeof(ISC_USHORT) + std::size_t(var.sqllen);
  return std::size_t(var.sqllen > 0 ? var.sqllen : 1);
}

void AddDpbItem(std::string& dpb, char item, const std::string& value) {
  if (value.empty()) return;
  dpb += item;
  dpb += static_cast<char>(value.size());
  dpb += value;
}

}  // namespace

const FbApi& FbApi::Get() {
  static const FbApi api = [] {
    FbApi a;
    a.library_ = platform::DynamicLibrary::Open("libfbclient.so.2");
    if (!a.library_) throw std::runtime_error("cannot load libfbclient.so.2");
    const auto& lib = a.library_;
    Bind(lib, "isc_attach_database", a.attach_database);
    Bind(lib, "isc_detach_database", a.detach_database);
    Bind(lib, "isc_database_info", a.database_info);
    Bind(lib, "isc_start_multiple", a.start_multiple);
    Bind(lib, "isc_commit_transaction", a.commit_transaction);
    Bind(lib, "isc_rollback_transaction", a.rollback_transaction);
    Bind(lib, "isc_dsql_allocate_statement", a.dsql_allocate_statement);
    Bind(lib, "isc_dsql_prepare", a.dsql_prepare);
    Bind(lib, "isc_dsql_describe", a.dsql_describe);
    Bind(lib, "isc_dsql_describe_bind", a.dsql_describe_bind);
    Bind(lib, "isc_dsql_execute", a.dsql_execute);
    Bind(lib, "isc_dsql_execute_immediate", a.dsql_execute_immediate);
    Bind(lib, "isc_dsql_fetch", a.dsql_fetch);
    Bind(lib, "isc_dsql_free_statement", a.dsql_free_statement);
    Bind(lib, "fb_interpret", a.interpret);
    return a;
  }();
  return api;
}

void CheckStatus(const ISC_STATUS* status, const char* call) {
  if (status[0] != 1 || status[1] == 0) return;
  std::string message = std::string(call) + ": ";
  const ISC_STATUS* cursor = status;
  char buffer[1024];
  while (FbApi::Get().interpret(buffer, sizeof buffer, &cursor) > 0) {
    message += buffer;
    message += "; ";
  }
  throw std::runtime_error(message);
}

RawAttachment::RawAttachment(const std::string& name, const std::string& user,
                             const std::string& password, const std::string& charset) {
  std::string dpb(1, static_cast<char>(isc_dpb_version1));
  AddDpbItem(dpb, isc_dpb_user_name, user);
  AddDpbItem(dpb, isc_dpb_password, password);
  AddDpbItem(dpb, isc_dpb_lc_ctype, charset);
  ISC_STATUS_ARRAY status;
  FbApi::Get().attach_database(status, static_cast<short>(name.size()), name.data(), &handle_,
                               static_cast<short>(dpb.size()), dpb.data());
  CheckStatus(status, "isc_attach_database");
}

RawAttachment::~RawAttachment() {
  ISC_STATUS_ARRAY status;
  if (handle_ != 0) FbApi::Get().detach_database(status, &handle_);
}

RawCommand::RawCommand(RawAttachment& attachment, std::string sql, std::vector<RawParam> params)
    : attachment_(attachment), sql_(std::move(sql)), params_(std::move(params)) {}

void RawCommand::Bind(XSQLDA* input) {
  input_areas_.resize(params_.size());
  input_nulls_.assign(params_.size(), 0);
  for (std::size_t i = 0; i < params_.size(); ++i) {
    XSQLVAR& var = input->sqlvar[i];
    std::vector<char>& area = input_areas_[i];
    if (params_[i].is_text) {
      const std::string& text = params_[i].text;
      const auto length = static_cast<ISC_USHORT>(text.size());
      area.resize(sizeof length + text.size());
      std::memcpy(area.data(), &length, sizeof length);
      std::memcpy(area.data() + sizeof length, text.data(), text.size());
      var.sqltype = SQL_VARYING + 1;
      var.sqlsubtype = kConnectionCharset;
      var.sqllen = static_cast<ISC_SHORT>(text.size());
    } else {
      area.resize(sizeof(ISC_LONG));
      const ISC_LONG value = params_[i].integer;
      std::memcpy(area.data(), &value, sizeof value);
      var.sqltype = SQL_LONG + 1;
      var.sqlsubtype = 0;
      var.sqllen = sizeof(ISC_LONG);
    }
    var.sqlscale = 0;
    var.sqldata = area.data();
    var.sqlind = &input_nulls_[i];
  }
}

void RawCommand::Run() {
  const FbApi& api = FbApi::Get();
  ISC_STATUS_ARRAY status;
  isc_db_handle* db = attachment_.Handle();

  const char items[] = {isc_info_base_level, isc_info_end};
  char info[512];
  api.database_info(status, db, sizeof items, items, sizeof info, info);
  CheckStatus(status, "isc_database_info");

  isc_tr_handle transaction = 0;
  TransactionExistenceBlock teb{db, 0, nullptr};
  api.start_multiple(status, &transaction, 1, &teb);
  CheckStatus(status, "isc_start_multiple");

  isc_stmt_handle statement = 0;
  try {
    api.dsql_allocate_statement(status, db, &statement);
    CheckStatus(status, "isc_dsql_allocate_statement");
    XSQLDA* output = Descriptor(output_storage_, kInitialColumns);
    api.dsql_prepare(status, &transaction, &statement, static_cast<unsigned short>(sql_.size()),
                     sql_.data(), kDialect, output);
    CheckStatus(status, "isc_dsql_prepare");
    if (output->sqld > output->sqln) {
      output = Descriptor(output_storage_, output->sqld);
      api.dsql_describe(status, &statement, kDialect, output);
      CheckStatus(status, "isc_dsql_describe");
    }
    output_areas_.resize(std::size_t(output->sqld));
    output_nulls_.assign(std::size_t(output->sqld), 0);
    for (int i = 0; i < output->sqld; ++i) {
      XSQLVAR& var = output->sqlvar[i];
      output_areas_[std::size_t(i)].resize(DataSize(var));
      var.sqldata = output_areas_[std::size_t(i)].data();
      var.sqltype = static_cast<ISC_SHORT>(var.sqltype | 1);
      var.sqlind = &output_nulls_[std::size_t(i)];
    }

    XSQLDA* input = Descriptor(input_storage_, static_cast<int>(params_.size()));
    api.dsql_describe_bind(status, &statement, kDialect, input);
    CheckStatus(status, "isc_dsql_describe_bind");
    if (input->sqld != static_cast<int>(params_.size()))
      throw std::runtime_error("parameter count mismatch for " + sql_);
    Bind(input);

    api.dsql_execute(status, &transaction, &statement, kDialect, params_.empty() ? nullptr : input);
    CheckStatus(status, "isc_dsql_execute");
    const ISC_STATUS fetched = api.dsql_fetch(status, &statement, kDialect, output);
    if (fetched != kNoMoreRows) CheckStatus(status, "isc_dsql_fetch");
    has_row_ = fetched != kNoMoreRows;

    api.dsql_free_statement(status, &statement, DSQL_drop);
    CheckStatus(status, "isc_dsql_free_statement");
    api.commit_transaction(status, &transaction);
    CheckStatus(status, "isc_commit_transaction");
  } catch (...) {
    ISC_STATUS_ARRAY ignored;
    if (statement != 0) api.dsql_free_statement(ignored, &statement, DSQL_drop);
    if (transaction != 0) api.rollback_transaction(ignored, &transaction);
    throw;
  }
}

std::vector<std::string> RawCommand::LastRowAsText() const {
  std::vector<std::string> row;
  if (!has_row_) return row;
  const auto* output = reinterpret_cast<const XSQLDA*>(output_storage_.data());
  for (int i = 0; i < output->sqld; ++i) {
    const XSQLVAR& var = output->sqlvar[i];
    if (*var.sqlind < 0) {
      row.emplace_back();
    } else if ((var.sqltype & ~1) == SQL_VARYING) {
      ISC_USHORT length = 0;
      std::memcpy(&length, var.sqldata, sizeof length);
      row.emplace_back(var.sqldata + sizeof length, length);
    } else if ((var.sqltype & ~1) == SQL_LONG) {
      ISC_LONG value = 0;
      std::memcpy(&value, var.sqldata, sizeof value);
      row.push_back(std::to_string(value));
    } else {
      row.emplace_back("?");
    }
  }
  return row;
}

RowLock::RowLock(RawAttachment& attachment, const std::string& update_sql) {
  const FbApi& api = FbApi::Get();
  ISC_STATUS_ARRAY status;
  TransactionExistenceBlock teb{attachment.Handle(), 0, nullptr};
  api.start_multiple(status, &transaction_, 1, &teb);
  CheckStatus(status, "isc_start_multiple");
  api.dsql_execute_immediate(status, attachment.Handle(), &transaction_, 0, update_sql.c_str(),
                             kDialect, nullptr);
  if (status[0] == 1 && status[1] != 0) {
    Release();
    CheckStatus(status, "isc_dsql_execute_immediate");
  }
}

RowLock::~RowLock() {
  Release();
}

void RowLock::Release() {
  if (transaction_ == 0) return;
  ISC_STATUS_ARRAY status;
  FbApi::Get().rollback_transaction(status, &transaction_);
  transaction_ = 0;
}

}  // namespace mox::bench
