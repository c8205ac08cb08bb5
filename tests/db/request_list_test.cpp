#include "db/request_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace mox {
namespace {

using Entries = std::vector<std::string>;
using namespace std::string_literals;

RequestList ListOf(const Entries& entries) {
  RequestList list;
  for (const std::string& e : entries) list.Add(e);
  return list;
}

Entries Read(std::string_view text, bool expect_ok = true) {
  RequestList list;
  EXPECT_EQ(list.SetCommaText(text), expect_ok) << text;
  return list.Entries();
}

TEST(RequestListKeys, ReadByNameIgnoringCaseFirstOneCounts) {
  const RequestList list = ListOf({"noname", "OfficeID=7", "officeid=8", "Empty=", "=anon"});
  EXPECT_EQ(list.Value("officeid"), "7");
  EXPECT_EQ(list.Value("OFFICEID"), "7");
  EXPECT_EQ(list.Value("noname"), "");  // an entry without "=" has no name
  EXPECT_FALSE(list.HasName("noname"));
  EXPECT_EQ(list.Value("Missing"), "");
  EXPECT_FALSE(list.HasName("Missing"));
  EXPECT_TRUE(list.HasName("empty"));  // present with an empty value
  EXPECT_EQ(list.Value(""), "anon");
  // Only ASCII letters fold: the bytes of other letters compare exactly.
  EXPECT_FALSE(ListOf({"\xC0=1"}).HasName("\xE0"));
}

TEST(RequestListKeys, WriteReplacesInPlaceAppendsOrDeletes) {
  RequestList list = ListOf({"a=1", "blocknumber=3", "c=2", "BLOCKNUMBER=4"});
  list.SetValue("BlockNumber", "5");
  EXPECT_EQ(list.Entries(), (Entries{"a=1", "BlockNumber=5", "c=2", "BLOCKNUMBER=4"}));
  list.SetValue("New", "x=y");
  EXPECT_EQ(list.Entries().back(), "New=x=y");
  EXPECT_EQ(list.Value("new"), "x=y");  // the value is everything after the first "="
  list.SetValue("blockNUMBER", "");
  EXPECT_EQ(list.Entries(), (Entries{"a=1", "c=2", "BLOCKNUMBER=4", "New=x=y"}));
  list.SetValue("Absent", "");
  EXPECT_EQ(list.Count(), 4u);
}

TEST(CommaText, BuildsQuotingWhatNeedsIt) {
  EXPECT_EQ(ListOf({}).CommaText(), "");
  EXPECT_EQ(ListOf({""}).CommaText(), "\"\"");
  EXPECT_EQ(ListOf({"a", "b c", "x\"y"}).CommaText(), "a,\"b c\",\"x\"\"y\"");
  EXPECT_EQ(ListOf({"", ""}).CommaText(), ",");
  EXPECT_EQ(ListOf({"a,b", "tab\there", "\x01", "=", "\xFF\x80"}).CommaText(),
            "\"a,b\",\"tab\there\",\"\x01\",=,\xFF\x80");
}

TEST(CommaText, ReadsEntriesBySeparatorsAndQuotes) {
  EXPECT_EQ(Read("a,,b"), (Entries{"a", "", "b"}));
  EXPECT_EQ(Read("a,"), (Entries{"a", ""}));
  EXPECT_EQ(Read(",a"), (Entries{"", "a"}));
  EXPECT_EQ(Read("   "), Entries{});
  EXPECT_EQ(Read(""), Entries{});
  EXPECT_EQ(Read("\"\""), Entries{""});
  EXPECT_EQ(Read("OfficeID=7,BlockNumber=12"), (Entries{"OfficeID=7", "BlockNumber=12"}));
  EXPECT_EQ(Read("OfficeID=7 12"), (Entries{"OfficeID=7", "12"}));
  EXPECT_EQ(Read("  a  ,  b  "), (Entries{"a", "b"}));  // a comma with blanks is one separator
  EXPECT_EQ(Read("a, "), Entries{"a"});                 // not a trailing comma: a blank follows it
  EXPECT_EQ(Read("\"x\"\"y\",\"a,b\""), (Entries{"x\"y", "a,b"}));
  EXPECT_EQ(Read("\"a\"b"), (Entries{"a", "b"}));  // reading goes on right after the quote
  EXPECT_EQ(Read("a,b\0c,d"s), (Entries{"a", "b"}));
  EXPECT_EQ(Read("a,\0c"s), (Entries{"a", ""}));  // the comma is last before the NUL
}

TEST(CommaText, QuoteLeftOpenIsMalformed) {
  EXPECT_EQ(Read("a,\"b,c", false), Entries{"a"});
  Read("\"", false);
  Read("\"x\"\"", false);       // the doubled quote does not close it
  Read("\"ab\0\"c\""s, false);  // reading stops at the NUL inside the quotes
}

TEST(CommaText, WhatIsBuiltReadsBackTheSame) {
  const std::vector<Entries> cases = {
      {"a", "b c", "x\"y"},
      {""},
      {"", ""},
      {"a", "", ""},
      {"", "a", ""},
      {"\"", "\"\"", ",", " lead", "trail ", "mid dle", "\x1F", "\x7F\xFF"},
      {"OfficeID=two words", "BlockNumberPWD=p\"w,d", "=", "=="},
  };
  for (const Entries& entries : cases) {
    const std::string text = ListOf(entries).CommaText();
    EXPECT_EQ(Read(text), entries) << text;
  }
}

TEST(PasswordMasking, ListForLogHidesOnlyPasswordValues) {
  const RequestList list =
      ListOf({"OfficeID=7", "blocknumberpwd=s e", "BlockNumberPWDNew=", "BlockNumberPWDX=v"});
  EXPECT_EQ(list.CommaTextForLog(),
            "OfficeID=7,blocknumberpwd=***,BlockNumberPWDNew=***,BlockNumberPWDX=v");
  EXPECT_TRUE(IsPasswordKey("BLOCKNUMBERPWDNEW"));
  EXPECT_FALSE(IsPasswordKey("BlockNumberPWD "));
}

TEST(PasswordMasking, RawTextKeepsEveryOtherByte) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"OfficeID=7, BlockNumberPWD=secret ,x", "OfficeID=7, BlockNumberPWD=*** ,x"},
      {"\"BlockNumberPWD=se\"\"c,ret\",\"B=x y\"", "\"BlockNumberPWD=***\",\"B=x y\""},
      {"blocknumberpwdnew=n,BlockNumberPWD=", "blocknumberpwdnew=***,BlockNumberPWD=***"},
      {"BlockNumberPWD=a b", "BlockNumberPWD=*** b"},  // the blank ends the value
      {"BlockNumberPWD==x", "BlockNumberPWD=***"},
      {"NoPassword=1", "NoPassword=1"},
  };
  for (const auto& [text, masked] : cases) EXPECT_EQ(MaskPasswordsInCommaText(text), masked);
}

TEST(PasswordMasking, UnreadRestNeverShowsAValue) {
  // After a quote left open, or after a NUL, nothing is taken apart: all after the first "=" goes.
  EXPECT_EQ(MaskPasswordsInCommaText("BlockNumberPWD=a,\"x,BlockNumberPWD=secret"),
            "BlockNumberPWD=***,\"x,BlockNumberPWD=***");
  EXPECT_EQ(MaskPasswordsInCommaText("A=1,\"no value here"), "A=1,\"no value here");
  EXPECT_EQ(MaskPasswordsInCommaText("A=1\0BlockNumberPWD=secret"s), "A=1\0BlockNumberPWD=***"s);
}

}  // namespace
}  // namespace mox
