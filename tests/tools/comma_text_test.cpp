#include "tools/comma_text.h"

#include <gtest/gtest.h>

#include <vector>

namespace mox::host {
namespace {

std::vector<std::string> Entries(std::string_view text) {
  std::vector<std::string> entries;
  for (const CommaEntry& entry : ReadCommaText(text).entries) entries.push_back(entry.text);
  return entries;
}

using List = std::vector<std::string>;

TEST(CommaText, SeparatorsAndEmptyEntries) {
  EXPECT_EQ(Entries("OfficeID=7,BlockNumber=12"), (List{"OfficeID=7", "BlockNumber=12"}));
  EXPECT_EQ(Entries("a,,b"), (List{"a", "", "b"}));
  EXPECT_EQ(Entries(",a"), (List{"", "a"}));
  EXPECT_EQ(Entries("a,"), (List{"a", ""}));
  EXPECT_EQ(Entries("  a ,  b  "), (List{"a", "b"}));
  // A comma followed by blanks is not the last character, so no empty entry follows it.
  EXPECT_EQ(Entries("a, "), (List{"a"}));
  EXPECT_EQ(Entries("   "), List{});
  EXPECT_EQ(Entries(""), List{});
  // Blanks separate entries outside quotes, just as commas do.
  EXPECT_EQ(Entries("OfficeID=7 12"), (List{"OfficeID=7", "12"}));
  EXPECT_EQ(Entries("a\tb"), (List{"a", "b"}));
}

TEST(CommaText, QuotedEntries) {
  EXPECT_EQ(Entries("a,\"b c\",\"x\"\"y\""), (List{"a", "b c", "x\"y"}));
  EXPECT_EQ(Entries("\"\""), (List{""}));
  EXPECT_EQ(Entries("\"a,b\"c"), (List{"a,b", "c"}));
  const CommaTextReading reading = ReadCommaText("x=1,\"p q");
  EXPECT_TRUE(reading.unclosed_quote);
  ASSERT_EQ(reading.entries.size(), 2u);
  EXPECT_EQ(reading.entries[1].text, "p q");
  EXPECT_FALSE(ReadCommaText("\"a\"\"\"").unclosed_quote);
}

TEST(CommaText, NulEndsTheTextAndSpansPointIntoIt) {
  const std::string text("a, \"b c\"\0rest", 13);
  const CommaTextReading reading = ReadCommaText(text);
  ASSERT_EQ(reading.entries.size(), 2u);
  EXPECT_EQ(reading.consumed, 8u);
  EXPECT_EQ(reading.entries[1].begin, 3u);
  EXPECT_EQ(reading.entries[1].end, 8u);
}

TEST(CommaText, PasswordNamesAndMasking) {
  EXPECT_TRUE(IsPasswordName("BlockNumberPWD"));
  EXPECT_TRUE(IsPasswordName("blocknumberpwdnew"));
  EXPECT_TRUE(IsPasswordName("UserPassword"));
  EXPECT_FALSE(IsPasswordName("OfficeID"));
  EXPECT_EQ(EntryName("a=b=c"), "a");
  EXPECT_EQ(EntryName("no name"), "");

  EXPECT_EQ(MaskedEntry("BlockNumberPWD=secret"), "BlockNumberPWD=***");
  EXPECT_EQ(MaskedEntry("BlockNumberPWD="), "BlockNumberPWD=***");
  EXPECT_EQ(MaskedEntry("pwd"), "pwd");  // no "=", so no name and nothing to hide
  EXPECT_EQ(MaskedEntry("OfficeID=7"), "OfficeID=7");

  EXPECT_EQ(MaskPasswordsInCommaText(
                "OfficeID=7 , BlockNumberPWD=secret,\"BlockNumberPWDNew=new one\",x"),
            "OfficeID=7 , BlockNumberPWD=***,BlockNumberPWDNew=***,x");
  EXPECT_EQ(MaskPasswordsInCommaText("\"My Pwd=a b\""), "\"My Pwd=***\"");
  EXPECT_EQ(MaskPasswordsInCommaText("a=1,,b=2,"), "a=1,,b=2,");
}

}  // namespace
}  // namespace mox::host
