#include "db/column_value.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "db/database_error.h"

namespace mox {
namespace {

template <typename T>
T Load(const XSQLVAR& var) {
  T value;
  std::memcpy(&value, var.sqldata, sizeof value);
  return value;
}

std::string_view TextBytes(const XSQLVAR& var) {
  if ((var.sqltype & ~1) == SQL_VARYING) {
    const auto length = Load<ISC_USHORT>(var);
    return {var.sqldata + sizeof(ISC_USHORT), length};
  }
  return {var.sqldata, static_cast<std::size_t>(var.sqllen)};
}

bool IsInteger(int type) {
  return type == SQL_SHORT || type == SQL_LONG || type == SQL_INT64;
}

int64_t LoadInteger(const XSQLVAR& var) {
  switch (var.sqltype & ~1) {
    case SQL_SHORT:
      return Load<ISC_SHORT>(var);
    case SQL_LONG:
      return Load<ISC_LONG>(var);
    default:
      return Load<ISC_INT64>(var);
  }
}

template <typename Float>
std::string ShortestText(Float value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

// Converts the civil date of a Modified Julian Day number (days since 1858-11-17).
void CivilFromMjd(int64_t mjd, int64_t& year, unsigned& month, unsigned& day) {
  // Days since 0000-03-01 of the proleptic Gregorian calendar, then the era algorithm.
  const int64_t z = mjd + 678881;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = doy - (153 * mp + 2) / 5 + 1;
  month = mp < 10 ? mp + 3 : mp - 9;
  year = static_cast<int64_t>(yoe) + era * 400 + (month <= 2 ? 1 : 0);
}

[[noreturn]] void ThrowNoConversion(const XSQLVAR& var, const char* target) {
  throw DatabaseError("Column " +
                      std::string(var.aliasname, static_cast<std::size_t>(std::max<ISC_SHORT>(
                                                     var.aliasname_length, 0))) +
                      " cannot be read as " + target);
}

}  // namespace

bool ColumnIsNull(const XSQLVAR& var) {
  return (var.sqltype & 1) != 0 && var.sqlind != nullptr && *var.sqlind != 0;
}

std::string FormatSqlDate(ISC_DATE date) {
  int64_t year = 0;
  unsigned month = 0;
  unsigned day = 0;
  CivilFromMjd(date, year, month, day);
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%04lld-%02u-%02u", static_cast<long long>(year), month,
                day);
  return buffer;
}

std::string FormatSqlTime(ISC_TIME time) {
  const unsigned seconds = time / ISC_TIME_SECONDS_PRECISION;
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%02u:%02u:%02u", (seconds / 3600) % 100,
                (seconds / 60) % 60, seconds % 60);
  return buffer;
}

std::string FormatScaled(int64_t value, int scale) {
  if (scale >= 0) {
    std::string text = std::to_string(value);
    if (value != 0) text.append(static_cast<std::size_t>(scale), '0');
    return text;
  }
  const bool negative = value < 0;
  // Work on the magnitude as unsigned so that the smallest int64 needs no special case.
  const uint64_t magnitude =
      negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  std::string digits = std::to_string(magnitude);
  const auto places = static_cast<std::size_t>(-scale);
  if (digits.size() <= places) digits.insert(0, places - digits.size() + 1, '0');
  digits.insert(digits.size() - places, 1, '.');
  return negative ? "-" + digits : digits;
}

bool ParseDecimalInt32(std::string_view text, int32_t& value) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return false;
  const auto last = text.find_last_not_of(' ');
  std::string_view number = text.substr(first, last - first + 1);
  if (!number.empty() && number.front() == '+') {
    number.remove_prefix(1);
    if (number.empty() || number.front() == '-') return false;
  }
  int32_t parsed = 0;
  const auto result = std::from_chars(number.data(), number.data() + number.size(), parsed);
  if (result.ec != std::errc() || result.ptr != number.data() + number.size()) return false;
  value = parsed;
  return true;
}

std::string ColumnAsText(const XSQLVAR& var, const BlobReader& read_blob) {
  if (ColumnIsNull(var)) return {};
  switch (const int type = var.sqltype & ~1) {
    case SQL_TEXT:
    case SQL_VARYING:
      return std::string(TextBytes(var));
    case SQL_SHORT:
    case SQL_LONG:
    case SQL_INT64:
      return FormatScaled(LoadInteger(var), var.sqlscale);
    case SQL_FLOAT:
      return ShortestText(Load<float>(var));
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
      return ShortestText(Load<double>(var));
    case SQL_TYPE_DATE:
      return FormatSqlDate(Load<ISC_DATE>(var));
    case SQL_TYPE_TIME:
      return FormatSqlTime(Load<ISC_TIME>(var));
    case SQL_TIMESTAMP: {
      const auto stamp = Load<ISC_TIMESTAMP>(var);
      return FormatSqlDate(stamp.timestamp_date) + " " + FormatSqlTime(stamp.timestamp_time);
    }
    case SQL_BLOB:
      return read_blob(Load<ISC_QUAD>(var));
    case SQL_BOOLEAN:
      return Load<unsigned char>(var) != 0 ? "TRUE" : "FALSE";
    default:
      (void)type;
      ThrowNoConversion(var, "text");
  }
}

int32_t ColumnAsInteger(const XSQLVAR& var, const BlobReader& read_blob) {
  if (ColumnIsNull(var)) return 0;
  const int type = var.sqltype & ~1;
  if (IsInteger(type)) {
    int64_t value = LoadInteger(var);
    if (var.sqlscale < 0) {
      // Round half away from zero by the dropped digits.
      int64_t divisor = 1;
      for (int i = 0; i < -var.sqlscale && divisor <= std::numeric_limits<int64_t>::max() / 10; ++i)
        divisor *= 10;
      const int64_t quotient = value / divisor;
      const int64_t remainder = value % divisor;
      value = quotient +
              (2 * (remainder < 0 ? -remainder : remainder) >= divisor ? (value < 0 ? -1 : 1) : 0);
    } else if (var.sqlscale > 0) {
      for (int i = 0; i < var.sqlscale; ++i) {
        if (value > std::numeric_limits<int32_t>::max() ||
            value < std::numeric_limits<int32_t>::min())
          break;
        value *= 10;
      }
    }
    if (value > std::numeric_limits<int32_t>::max() || value < std::numeric_limits<int32_t>::min())
      throw DatabaseError("Integer value out of range: " +
                          FormatScaled(LoadInteger(var), var.sqlscale));
    return static_cast<int32_t>(value);
  }
  if (type == SQL_TEXT || type == SQL_VARYING || type == SQL_BLOB) {
    const std::string text =
        type == SQL_BLOB ? read_blob(Load<ISC_QUAD>(var)) : std::string(TextBytes(var));
    int32_t value = 0;
    if (ParseDecimalInt32(text, value)) return value;
    throw DatabaseError("'" + text + "' is not a valid integer value");
  }
  ThrowNoConversion(var, "an integer");
}

}  // namespace mox
