// Reading one fetched column (an XSQLVAR with its data) as text or as an integer.
#pragma once

#include <ibase.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace mox {

// Reads a whole BLOB by its identifier.
using BlobReader = std::function<std::string(const ISC_QUAD&)>;

bool ColumnIsNull(const XSQLVAR& var);

// Integers in decimal, scaled numbers with their scale digits, floating point in the shortest form
// that reads back equal, DATE as YYYY-MM-DD, TIME as HH:NN:SS, TIMESTAMP as YYYY-MM-DD HH:NN:SS,
// CHAR and VARCHAR as their bytes, BLOBs whole, BOOLEAN as TRUE or FALSE; NULL as empty text.
// Throws DatabaseError for a type without a text form.
std::string ColumnAsText(const XSQLVAR& var, const BlobReader& read_blob);

// Integer columns unchanged (outside signed 32 bits is an error), scaled numbers rounded half away
// from zero, text holding a decimal integer converted; NULL as 0. Throws DatabaseError otherwise.
int32_t ColumnAsInteger(const XSQLVAR& var, const BlobReader& read_blob);

// Calendar parts of the client's date and time encodings (days since 1858-11-17, ten-thousandths
// of a second since midnight).
std::string FormatSqlDate(ISC_DATE date);
std::string FormatSqlTime(ISC_TIME time);

// A scaled integer as decimal text: FormatScaled(-12345, -2) is "-123.45".
std::string FormatScaled(int64_t value, int scale);

// A decimal integer in text, spaces allowed around it; false when it is none or does not fit.
bool ParseDecimalInt32(std::string_view text, int32_t& value);

}  // namespace mox
