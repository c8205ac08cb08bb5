#include "db/xsqlda_buffer.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "db/database_error.h"

namespace mox {
namespace {

// A VARCHAR's data area: two length bytes, then the characters.
constexpr std::size_t kVaryingHeader = sizeof(ISC_USHORT);

std::size_t DataSize(const XSQLVAR& var) {
  switch (var.sqltype & ~1) {
    case SQL_VARYING:
      return kVaryingHeader + static_cast<std::size_t>(var.sqllen);
    default:
      return static_cast<std::size_t>(std::max<ISC_SHORT>(var.sqllen, 1));
  }
}

}  // namespace

XsqldaBuffer::XsqldaBuffer(int capacity) {
  capacity = std::max(capacity, 1);
  const std::size_t size = XSQLDA_LENGTH(static_cast<std::size_t>(capacity));
  storage_ = std::make_unique<char[]>(size);  // zero-filled
  XSQLDA* sqlda = get();
  sqlda->version = SQLDA_VERSION1;
  sqlda->sqln = static_cast<ISC_SHORT>(capacity);
  sqlda->sqld = 0;
  areas_.resize(static_cast<std::size_t>(capacity));
  indicators_.assign(static_cast<std::size_t>(capacity), 0);
}

std::vector<char>& XsqldaBuffer::AreaFor(int index, std::size_t size) {
  std::vector<char>& area = areas_[static_cast<std::size_t>(index)];
  // Eight-byte alignment for the integer, floating point and date types comes from the
  // allocator; the area is never reallocated while the descriptor points at it. An area kept from
  // an earlier statement is not cleared: a fetch or SetText writes every byte that is read back
  // (a VARCHAR's length, then that many bytes).
  if (area.size() < size) area.resize(size);
  return area;
}

void XsqldaBuffer::AllocateForOutput() {
  const int count = std::min(Described(), Capacity());
  for (int i = 0; i < count; ++i) {
    XSQLVAR& var = Var(i);
    var.sqldata = AreaFor(i, DataSize(var)).data();
    var.sqltype = static_cast<ISC_SHORT>(var.sqltype | 1);  // always ask for the NULL indicator
    indicators_[static_cast<std::size_t>(i)] = 0;
    var.sqlind = &indicators_[static_cast<std::size_t>(i)];
  }
}

void XsqldaBuffer::SetText(int index, std::string_view bytes, short charset) {
  static_assert(kMaxTextParameterBytes ==
                static_cast<std::size_t>(std::numeric_limits<ISC_SHORT>::max()) - kVaryingHeader);
  if (bytes.size() > kMaxTextParameterBytes) {
    throw DatabaseError("A parameter value is longer than 32765 bytes");
  }
  XSQLVAR& var = Var(index);
  std::vector<char>& area = AreaFor(index, kVaryingHeader + bytes.size());
  const auto length = static_cast<ISC_USHORT>(bytes.size());
  std::memcpy(area.data(), &length, sizeof length);
  if (!bytes.empty()) std::memcpy(area.data() + kVaryingHeader, bytes.data(), bytes.size());
  var.sqltype = SQL_VARYING + 1;
  var.sqlsubtype = charset;
  var.sqlscale = 0;
  var.sqllen = static_cast<ISC_SHORT>(bytes.size());
  var.sqldata = area.data();
  indicators_[static_cast<std::size_t>(index)] = 0;
  var.sqlind = &indicators_[static_cast<std::size_t>(index)];
}

void XsqldaBuffer::SetInteger(int index, int32_t value) {
  XSQLVAR& var = Var(index);
  std::vector<char>& area = AreaFor(index, sizeof(ISC_LONG));
  const ISC_LONG long_value = value;
  std::memcpy(area.data(), &long_value, sizeof long_value);
  var.sqltype = SQL_LONG + 1;
  var.sqlsubtype = 0;
  var.sqlscale = 0;
  var.sqllen = sizeof(ISC_LONG);
  var.sqldata = area.data();
  indicators_[static_cast<std::size_t>(index)] = 0;
  var.sqlind = &indicators_[static_cast<std::size_t>(index)];
}

}  // namespace mox
