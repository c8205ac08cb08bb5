#include "log/date_time_pattern.h"

#include <gtest/gtest.h>

#include "log/program_log.h"
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

// The shortcuts of the log line must give what the pattern gives, over a run of times in which
// each field changes alone, including fields that a pattern shows only inside quotes.
TEST(DateTimePatternTest, TimeStampAndCachedFormatMatchThePattern) {
  const char* patterns[] = {"\"/l/\"YYYY\"_\"MM\"_\"DD\"/\"HH\"_x.log\"", "\"HH\"nn", "ss.zzz",
                            "'YYYY'"};
  const platform::LocalDateTime times[] = {
      At(2024, 3, 1, 9, 5, 7, 8),       At(2024, 3, 1, 9, 5, 7, 9),   At(2024, 3, 1, 9, 59, 7, 9),
      At(2024, 3, 1, 10, 59, 7, 9),     At(2024, 3, 2, 10, 59, 7, 9), At(2024, 4, 2, 10, 59, 7, 9),
      At(2025, 4, 2, 10, 59, 7, 9),     At(2025, 4, 2, 10, 59, 8, 9), At(2025, 4, 2, 0, 0, 0, 0),
      At(2025, 12, 31, 23, 59, 59, 999)};
  for (const char* pattern : patterns) {
    CachedDateTimeFormat cached(pattern);
    for (const auto& when : times) EXPECT_EQ(cached.Format(when), FormatDateTime(pattern, when));
  }
  for (const auto& when : times) {
    char stamp[kTimeStampSize];
    FormatTimeStamp(when, stamp);
    EXPECT_EQ(std::string(stamp, sizeof stamp), FormatDateTime("HH:NN:SS.ZZZ ", when));
  }
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
