#include "log/date_time_pattern.h"

#include <gtest/gtest.h>

#include "log/program_log_setup.h"
#include "log_test_support.h"

namespace mox {
namespace {

using test::At;

const platform::LocalDateTime kWhen = At(2017, 6, 2, 16, 4, 9, 42);

TEST(DateTimePatternTest, TokensInEitherCaseAreZeroPadded) {
  EXPECT_EQ(FormatDateTime("YYYY-MM-DD HH:NN:SS.ZZZ", kWhen), "2017-06-02 16:04:09.042");
  EXPECT_EQ(FormatDateTime("yyyy mm dd hh nn ss zzz", kWhen), "2017 06 02 16 04 09 042");
  EXPECT_EQ(FormatDateTime("yYyY", At(987, 1, 1, 0, 0, 0, 0)), "0987");
  EXPECT_EQ(FormatDateTime("HH:NN", At(2024, 3, 1, 0, 0, 0, 0)), "00:00");
  EXPECT_EQ(FormatDateTime("HH", At(2024, 3, 1, 23, 0, 0, 0)), "23");
}

TEST(DateTimePatternTest, TimeStampOfTheLogs) {
  EXPECT_EQ(FormatDateTime("HH:NN:SS.ZZZ ", kWhen), "16:04:09.042 ");
}

TEST(DateTimePatternTest, OtherCharactersAndPartialTokensAreCopied) {
  EXPECT_EQ(FormatDateTime("", kWhen), "");
  EXPECT_EQ(FormatDateTime("a/b_c-x.log", kWhen), "a/b_c-x.log");
  // One letter of a token, or three of YYYY, is not a token.
  EXPECT_EQ(FormatDateTime("M D H N S Z Y", kWhen), "M D H N S Z Y");
  EXPECT_EQ(FormatDateTime("YYY", kWhen), "YYY");
  EXPECT_EQ(FormatDateTime("MMM", kWhen), "06M");
  EXPECT_EQ(FormatDateTime("ZZZZ", kWhen), "042Z");
}

TEST(DateTimePatternTest, QuotedTextIsCopiedWithoutItsQuotes) {
  EXPECT_EQ(FormatDateTime("\"HH MM\"HH", kWhen), "HH MM16");
  EXPECT_EQ(FormatDateTime("'DD \"x\"'DD", kWhen), "DD \"x\"02");
  EXPECT_EQ(FormatDateTime("\"\"HH", kWhen), "16");
  EXPECT_EQ(FormatDateTime("HH\"open to the end YYYY", kWhen), "16open to the end YYYY");
}

TEST(DateTimePatternTest, QuotedLiteralFormatsToItself) {
  const std::string texts[] = {"",     "plain",      "/srv/YYYY MM DD/HH:NN.log",
                               "a\"b", "a'b\"c'\"d", "\"",
                               "'",    "\"\"''\"",   "\xE9t\xC3\xA9 zzz"};
  for (const std::string& text : texts) {
    EXPECT_EQ(FormatDateTime(QuotePatternLiteral(text), kWhen), text) << text;
    EXPECT_EQ(FormatDateTime(QuotePatternLiteral(text) + "HH", kWhen), text + "16") << text;
  }
  EXPECT_EQ(QuotePatternLiteral("/svc/Logs/"), "\"/svc/Logs/\"");
}

TEST(DateTimePatternTest, ProgramLogPattern) {
  const std::string pattern = BuildProgramLogPattern("/svc/", "apMoxSettingsManager.so");
  EXPECT_EQ(pattern, "\"/svc/Logs/\"YYYY\"_\"MM\"_\"DD\"/\"HH\"_apMoxSettingsManager.so.log\"");
  EXPECT_EQ(FormatDateTime(pattern, kWhen), "/svc/Logs/2017_06_02/16_apMoxSettingsManager.so.log");
  EXPECT_EQ(FormatDateTime(BuildProgramLogPattern("/a \"q\" b/", "m\"d.so"), kWhen),
            "/a \"q\" b/Logs/2017_06_02/16_m\"d.so.log");
}

}  // namespace
}  // namespace mox
