// The statement part of Connection: preparing, executing, the first row and its columns.
#include <algorithm>

#include "db/column_value.h"
#include "db/connection.h"
#include "db/database_error.h"
#include "db/fb_client.h"
#include "db/fb_error.h"
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

void Connection::RequireTransaction() const {
  if (!Connected()) throw DatabaseError("Database not connected");
  if (!TransactionActive()) throw DatabaseError("Transaction is not active");
}

void Connection::ExecuteStatement(const std::string& sql, const Params& params) {
  if (statement_open_) throw DatabaseError("The query is already open");
  try {
    RequireTransaction();
    ISC_STATUS_ARRAY status;
    StatementHandle statement(*client_);
    client_->dsql_allocate_statement(status, &handle_, statement.get());
    Check(status);

    // The output descriptor and its data areas are kept from the previous statement: allocating
    // and zero-filling them anew for every command cost more than the rest of the plug-in's own
    // work.
    std::unique_ptr<XsqldaBuffer> output = std::move(output_);
    if (!output) output = std::make_unique<XsqldaBuffer>(kInitialColumns);
    client_->dsql_prepare(status, &transaction_, statement.get(),
                          static_cast<unsigned short>(sql.size()), sql.data(), dialect_,
                          output->get());
    Check(status);
    if (output->Described() > output->Capacity()) {
      output = std::make_unique<XsqldaBuffer>(output->Described());
      client_->dsql_describe(status, statement.get(), dialect_, output->get());
      Check(status);
    }
    output->AllocateForOutput();

    XsqldaBuffer input(static_cast<int>(params.size()));
    client_->dsql_describe_bind(status, statement.get(), dialect_, input.get());
    Check(status);
    if (input.Described() != static_cast<int>(params.size())) {
      throw DatabaseError("The statement has " + std::to_string(input.Described()) +
                          " parameters, " + std::to_string(params.size()) + " values given");
    }
    BindParams(params, input);

    client_->dsql_execute(status, &transaction_, statement.get(), dialect_,
                          params.empty() ? nullptr : input.get());
    Check(status);

    statement_ = std::move(statement);
    output_ = std::move(output);
  } catch (...) {
    DropStatement(true);
    throw;
  }
}

void Connection::BindParams(const Params& params, XsqldaBuffer& input) {
  for (std::size_t i = 0; i < params.size(); ++i) {
    const int index = static_cast<int>(i);
    if (const auto* text = std::get_if<std::string>(&params[i]))
      input.SetText(index, *text, kConnectionCharset);
    else
      input.SetInteger(index, std::get<int32_t>(params[i]));
  }
}

void Connection::OpenStatement(const std::string& sql, const Params& params) {
  ExecuteStatement(sql, params);
  try {
    RequireTransaction();
    ISC_STATUS_ARRAY status;
    const ISC_STATUS fetched =
        client_->dsql_fetch(status, statement_.get(), dialect_, output_->get());
    if (fetched != kNoMoreRows) Check(status);
    Touch();
    eof_ = fetched == kNoMoreRows;
    statement_open_ = true;
  } catch (...) {
    DropStatement(true);
    throw;
  }
}

int Connection::FieldCount() const {
  return statement_open_ && output_ ? std::min(output_->Described(), output_->Capacity()) : 0;
}

const XSQLVAR& Connection::Column(int index) const {
  if (!statement_open_ || eof_) throw DatabaseError("The query has no current row");
  if (index < 0 || index >= FieldCount())
    throw DatabaseError("Field index " + std::to_string(index) + " out of range");
  return output_->Var(index);
}

bool Connection::IsNull(int index) const {
  return ColumnIsNull(Column(index));
}

std::string Connection::FieldName(int index) const {
  const XSQLVAR& var = Column(index);
  if (var.aliasname_length > 0)
    return std::string(var.aliasname, static_cast<std::size_t>(var.aliasname_length));
  return std::string(var.sqlname,
                     static_cast<std::size_t>(std::max<ISC_SHORT>(var.sqlname_length, 0)));
}

std::string Connection::AsText(int index) {
  return ColumnAsText(Column(index), [this](const ISC_QUAD& id) { return ReadBlob(id); });
}

int32_t Connection::AsInteger(int index) {
  return ColumnAsInteger(Column(index), [this](const ISC_QUAD& id) { return ReadBlob(id); });
}

std::string Connection::ReadBlob(const ISC_QUAD& id) {
  RequireTransaction();
  ISC_STATUS_ARRAY status;
  BlobHandle blob(*client_);
  ISC_QUAD blob_id = id;
  client_->open_blob2(status, &handle_, &transaction_, blob.get(), &blob_id, 0, nullptr);
  Check(status);
  std::string data;
  char segment[32768];
  for (;;) {
    unsigned short length = 0;
    const ISC_STATUS result =
        client_->get_segment(status, blob.get(), &length, sizeof segment, segment);
    if (result == isc_segstr_eof) break;
    if (result != 0 && result != isc_segment) Check(status);
    data.append(segment, length);
  }
  Touch();
  return data;
}

void Connection::DropStatement(bool quietly) {
  statement_open_ = false;
  eof_ = true;
  if (!statement_) return;
  ISC_STATUS_ARRAY status;
  statement_.Drop(status);
  if (quietly)
    Touch();
  else
    Check(status);
}

void Connection::CloseStatement() {
  DropStatement(false);
}

}  // namespace mox
