#include "db/dpb.h"

#include <gtest/gtest.h>

#include <string>

#include "db/database_error.h"

namespace mox {
namespace {

std::string Bytes(std::initializer_list<int> bytes) {
  std::string text;
  for (int b : bytes) text += static_cast<char>(b);
  return text;
}

TEST(DpbTest, DefaultsGiveUserPasswordAndCharsetInThatOrder) {
  EXPECT_EQ(
      BuildDpb("SYSDBA", "masterkey", "WIN1251"),
      Bytes({1, 28, 6}) + "SYSDBA" + Bytes({29, 9}) + "masterkey" + Bytes({48, 7}) + "WIN1251");
}

TEST(DpbTest, EmptyValuesAreLeftOut) {
  EXPECT_EQ(BuildDpb("", "pw", "WIN1251"), Bytes({1, 29, 2}) + "pw" + Bytes({48, 7}) + "WIN1251");
  EXPECT_EQ(BuildDpb("", "", ""), Bytes({1}));
}

TEST(DpbTest, ValuesOfExactly255BytesFitAndLongerOnesAreRejectedWithoutShowingThem) {
  const std::string longest(255, 'u');
  const std::string dpb = BuildDpb(longest, "", "");
  ASSERT_EQ(dpb.size(), 3u + 255u);
  EXPECT_EQ(static_cast<unsigned char>(dpb[2]), 255);

  const std::string secret(256, 's');
  try {
    BuildDpb("SYSDBA", secret, "WIN1251");
    FAIL() << "a 256-byte password was accepted";
  } catch (const DatabaseError& error) {
    EXPECT_STREQ(error.what(), "The connection parameter Password is longer than 255 bytes");
  }
  EXPECT_THROW(BuildDpb(std::string(300, 'x'), "", ""), DatabaseError);
  EXPECT_THROW(BuildDpb("", "", std::string(256, 'c')), DatabaseError);
}

}  // namespace
}  // namespace mox
