// TQuery: one statement of its database in its transaction. Open prepares and executes the SQL
// text with its bound parameters and stands on the first row; the row's columns are read by
// position. Every text and integer value travels as a parameter, never inside the SQL text.
#pragma once

#include <ibase.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "db/fb_handles.h"

namespace mox {

class TDatabase;
class TTransaction;
class XsqldaBuffer;

class TQuery {
 public:
  TQuery();
  // Closes the statement, ignoring errors, and unbinds from the database.
  ~TQuery();
  TQuery(const TQuery&) = delete;
  TQuery& operator=(const TQuery&) = delete;

  void SetDatabase(TDatabase* database);
  void SetTransaction(TTransaction* transaction) { transaction_ = transaction; }

  // Replaces the SQL text and clears the parameters.
  void SetSQL(std::string sql);
  const std::string& SQL() const { return sql_; }
  // Values for the statement's "?" markers, in order.
  void AddTextParam(std::string_view value);
  void AddIntegerParam(int32_t value);

  // Prepares and executes in the transaction and fetches the first row. Throws DBError/FbError;
  // on failure the statement is freed again.
  void Open();
  // Prepares and executes a statement that returns no rows, then frees it.
  void Execute();
  bool IsOpen() const { return open_; }
  // True when the result had no row.
  bool Eof() const { return eof_; }

  int FieldCount() const;
  bool IsNull(int index) const;
  // As the database reports the column: its alias, else its name (for a selectable procedure, the
  // output parameter's name), in the reported letter case.
  std::string FieldName(int index) const;
  std::string AsText(int index) const;
  int32_t AsInteger(int index) const;

  // Frees the statement; a failure is thrown after the query is marked closed.
  void Close();
  void CloseQuietly() noexcept;

 private:
  void Prepare();
  void BindParams(XsqldaBuffer& input);
  void Drop(bool quietly);
  const XSQLVAR& Column(int index) const;
  std::string ReadBlob(const ISC_QUAD& id) const;
  TDatabase& ConnectedDatabase() const;

  TDatabase* database_ = nullptr;
  TTransaction* transaction_ = nullptr;
  std::string sql_;
  std::vector<std::variant<std::string, int32_t>> params_;
  StatementHandle statement_;
  std::unique_ptr<XsqldaBuffer> output_;
  bool open_ = false;
  bool eof_ = true;
};

}  // namespace mox
