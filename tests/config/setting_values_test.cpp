#include "config/setting_values.h"

#include <gtest/gtest.h>

namespace mox {
namespace {

TEST(ParseIniIntegerTest, ReadsDecimalAndBothHexadecimalForms) {
  EXPECT_EQ(ParseIniInteger("0"), 0);
  EXPECT_EQ(ParseIniInteger("1200000"), 1200000);
  EXPECT_EQ(ParseIniInteger("+7"), 7);
  EXPECT_EQ(ParseIniInteger("-7"), -7);
  EXPECT_EQ(ParseIniInteger("007"), 7);
  EXPECT_EQ(ParseIniInteger("0x10"), 16);
  EXPECT_EQ(ParseIniInteger("0XfF"), 255);
  EXPECT_EQ(ParseIniInteger("0x7FFFFFFF"), 2147483647);
  EXPECT_EQ(ParseIniInteger("$1f"), 31);
  EXPECT_EQ(ParseIniInteger("-$10"), -16);
  EXPECT_EQ(ParseIniInteger("2147483647"), 2147483647);
  EXPECT_EQ(ParseIniInteger("-2147483648"), -2147483647 - 1);
  EXPECT_EQ(ParseIniInteger("-$80000000"), -2147483647 - 1);
}

TEST(ParseIniIntegerTest, RejectsWhatIsNotASigned32BitInteger) {
  for (const char* text :
       {"",           "abc",         "1e3",        "12a",       " 1",
        "1 ",         "+",           "-",          "$",         "0x",
        "0X",         "0x-1",        "0x+1",       "0xg",       "+-1",
        "2147483648", "-2147483649", "0x80000000", "$80000000", "99999999999999999999",
        "1.5",        "true"}) {
    EXPECT_EQ(ParseIniInteger(text), std::nullopt) << '"' << text << '"';
  }
}

}  // namespace
}  // namespace mox
