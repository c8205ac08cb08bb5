// An XSQLDA with room for a number of columns or parameters, and the data and NULL-indicator
// areas its entries point at. The descriptor lives as long as the buffer and moves with it.
#pragma once

#include <ibase.h>

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace mox {

// The most bytes a text parameter carries (a VARCHAR's length is a signed 16-bit count, less the
// two bytes of the length itself).
inline constexpr std::size_t kMaxTextParameterBytes = 32765;

class XsqldaBuffer {
 public:
  explicit XsqldaBuffer(int capacity);

  XSQLDA* get() { return reinterpret_cast<XSQLDA*>(storage_.get()); }
  const XSQLDA* get() const { return reinterpret_cast<const XSQLDA*>(storage_.get()); }

  int Capacity() const { return get()->sqln; }
  // Entries the server described (may exceed the capacity, then describe again with more room).
  int Described() const { return get()->sqld; }

  XSQLVAR& Var(int index) { return get()->sqlvar[index]; }
  const XSQLVAR& Var(int index) const { return get()->sqlvar[index]; }

  // Output: gives every described entry a data area of its described type and length and a NULL
  // indicator.
  void AllocateForOutput();

  // Input: entry `index` becomes a text of the given bytes (a VARCHAR in the character set in
  // `charset`), or a 32-bit integer. Throws DatabaseError for a text longer than a VARCHAR can
  // carry.
  void SetText(int index, std::string_view bytes, short charset);
  void SetInteger(int index, int32_t value);

 private:
  std::vector<char>& AreaFor(int index, std::size_t size);

  std::unique_ptr<char[]> storage_;
  std::vector<std::vector<char>> areas_;
  std::vector<short> indicators_;
};

}  // namespace mox
