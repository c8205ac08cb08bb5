#include "db/query.h"

#include <algorithm>

#include "db/column_value.h"
#include "db/database.h"
#include "db/db_tools.h"
#include "db/fb_client.h"
#include "db/fb_error.h"
#include "db/fb_handles.h"
#include "db/transaction.h"
#include "db/xsqlda_buffer.h"

namespace mox {
namespace {

// Room for the columns of most results; a wider result is described again.
constexpr int kInitialColumns = 16;
// isc_dsql_fetch's answer when the cursor has no more rows.
constexpr ISC_STATUS kNoMoreRows = 100;
// The attachment's own character set: text parameters travel in it unchanged.
constexpr short kConnectionCharset = 127;  // CS_dynamic

}  // namespace

TQuery::TQuery() = default;

TQuery::~TQuery() {
  CloseQuietly();
  if (database_ != nullptr) database_->RemoveQuery(this);
}

void TQuery::SetDatabase(TDatabase* database) {
  if (database_ == database) return;
  CloseQuietly();
  if (database_ != nullptr) database_->RemoveQuery(this);
  database_ = database;
  if (database_ != nullptr) database_->AddQuery(this);
}

void TQuery::SetSQL(std::string sql) {
  sql_ = std::move(sql);
  params_.clear();
}

void TQuery::AddTextParam(std::string_view value) {
  params_.emplace_back(std::string(value));
}

void TQuery::AddIntegerParam(int32_t value) {
  params_.emplace_back(value);
}

TDatabase& TQuery::ConnectedDatabase() const {
  if (database_ == nullptr || !database_->Connected()) throw DBError("Database not connected");
  if (transaction_ == nullptr || !transaction_->Active())
    throw DBError("Transaction is not active");
  return *database_;
}

void TQuery::Prepare() {
  TDatabase& database = ConnectedDatabase();
  const FbClient& client = database.Client();
  ISC_STATUS_ARRAY status;

  StatementHandle statement(client);
  client.dsql_allocate_statement(status, database.Handle(), statement.get());
  database.Check(status);

  auto output = std::make_unique<XsqldaBuffer>(kInitialColumns);
  client.dsql_prepare(status, transaction_->Handle(), statement.get(),
                      static_cast<unsigned short>(sql_.size()), sql_.data(), database.Dialect(),
                      output->get());
  database.Check(status);
  if (output->Described() > output->Capacity()) {
    output = std::make_unique<XsqldaBuffer>(output->Described());
    client.dsql_describe(status, statement.get(), database.Dialect(), output->get());
    database.Check(status);
  }
  output->AllocateForOutput();

  XsqldaBuffer input(static_cast<int>(params_.size()));
  client.dsql_describe_bind(status, statement.get(), database.Dialect(), input.get());
  database.Check(status);
  if (input.Described() != static_cast<int>(params_.size())) {
    throw DBError("The statement has " + std::to_string(input.Described()) + " parameters, " +
                  std::to_string(params_.size()) + " values given");
  }
  BindParams(input);

  client.dsql_execute(status, transaction_->Handle(), statement.get(), database.Dialect(),
                      params_.empty() ? nullptr : input.get());
  database.Check(status);

  statement_ = std::move(statement);
  output_ = std::move(output);
}

void TQuery::BindParams(XsqldaBuffer& input) {
  for (std::size_t i = 0; i < params_.size(); ++i) {
    const int index = static_cast<int>(i);
    if (const auto* text = std::get_if<std::string>(&params_[i]))
      input.SetText(index, *text, kConnectionCharset);
    else
      input.SetInteger(index, std::get<int32_t>(params_[i]));
  }
}

void TQuery::Open() {
  if (open_) throw DBError("The query is already open");
  try {
    Prepare();
    TDatabase& database = ConnectedDatabase();
    ISC_STATUS_ARRAY status;
    const ISC_STATUS fetched =
        database.Client().dsql_fetch(status, statement_.get(), database.Dialect(), output_->get());
    if (fetched != kNoMoreRows) database.Check(status);
    database.Touch();
    eof_ = fetched == kNoMoreRows;
    open_ = true;
  } catch (...) {
    Drop(true);
    throw;
  }
}

void TQuery::Execute() {
  if (open_) throw DBError("The query is already open");
  try {
    Prepare();
  } catch (...) {
    Drop(true);
    throw;
  }
  Drop(false);
}

int TQuery::FieldCount() const {
  return open_ && output_ ? std::min(output_->Described(), output_->Capacity()) : 0;
}

const XSQLVAR& TQuery::Column(int index) const {
  if (!open_ || eof_) throw DBError("The query has no current row");
  if (index < 0 || index >= FieldCount())
    throw DBError("Field index " + std::to_string(index) + " out of range");
  return output_->Var(index);
}

bool TQuery::IsNull(int index) const {
  return ColumnIsNull(Column(index));
}

std::string TQuery::FieldName(int index) const {
  const XSQLVAR& var = Column(index);
  if (var.aliasname_length > 0)
    return std::string(var.aliasname, static_cast<std::size_t>(var.aliasname_length));
  return std::string(var.sqlname,
                     static_cast<std::size_t>(std::max<ISC_SHORT>(var.sqlname_length, 0)));
}

std::string TQuery::AsText(int index) const {
  return ColumnAsText(Column(index), [this](const ISC_QUAD& id) { return ReadBlob(id); });
}

int32_t TQuery::AsInteger(int index) const {
  return ColumnAsInteger(Column(index), [this](const ISC_QUAD& id) { return ReadBlob(id); });
}

std::string TQuery::ReadBlob(const ISC_QUAD& id) const {
  TDatabase& database = ConnectedDatabase();
  const FbClient& client = database.Client();
  ISC_STATUS_ARRAY status;
  BlobHandle blob(client);
  ISC_QUAD blob_id = id;
  client.open_blob2(status, database.Handle(), transaction_->Handle(), blob.get(), &blob_id, 0,
                    nullptr);
  database.Check(status);
  std::string data;
  char segment[32768];
  for (;;) {
    unsigned short length = 0;
    const ISC_STATUS result =
        client.get_segment(status, blob.get(), &length, sizeof segment, segment);
    if (result == isc_segstr_eof) break;
    if (result != 0 && result != isc_segment) database.Check(status);
    data.append(segment, length);
  }
  database.Touch();
  return data;
}

void TQuery::Drop(bool quietly) {
  open_ = false;
  eof_ = true;
  output_.reset();
  if (!statement_) return;
  ISC_STATUS_ARRAY status;
  statement_.Drop(status);
  if (database_ == nullptr) return;
  if (quietly)
    database_->Touch();
  else
    database_->Check(status);
}

void TQuery::Close() {
  Drop(false);
}

void TQuery::CloseQuietly() noexcept {
  Drop(true);
}

}  // namespace mox
