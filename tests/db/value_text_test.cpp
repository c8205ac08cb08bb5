// Text forms and integer readings of fetched values, and the small parsers of the database layer.
#include <gtest/gtest.h>

#include <cstring>

#include "db/column_value.h"
#include "db/connection.h"
#include "db/elapsed_field.h"
#include "db/fb_error.h"
#include "db/idle_timer.h"
#include "db/request_integer.h"

namespace mox {
namespace {

TEST(ScaledNumberTest, KeepsTheScaleDigits) {
  EXPECT_EQ(FormatScaled(-12345, -2), "-123.45");
  EXPECT_EQ(FormatScaled(5, -3), "0.005");
  EXPECT_EQ(FormatScaled(-5, -3), "-0.005");
  EXPECT_EQ(FormatScaled(0, -2), "0.00");
  EXPECT_EQ(FormatScaled(1200, 0), "1200");
  EXPECT_EQ(FormatScaled(INT64_MIN, -4), "-922337203685477.5808");
}

TEST(SqlDateTimeTest, ClientEncodingsBecomeCalendarText) {
  // Day 0 of the client's encoding is 1858-11-17.
  EXPECT_EQ(FormatSqlDate(0), "1858-11-17");
  EXPECT_EQ(FormatSqlDate(60369), "2024-02-29");
  EXPECT_EQ(FormatSqlDate(-678575), "0001-01-01");
  EXPECT_EQ(FormatSqlTime(0), "00:00:00");
  EXPECT_EQ(FormatSqlTime((13 * 3600 + 14 * 60 + 15) * 10000 + 6789), "13:14:15");
}

TEST(DecimalIntegerTextTest, AcceptsSpacesAroundASignedNumberThatFits) {
  int32_t value = 0;
  EXPECT_TRUE(ParseDecimalInt32(" 17  ", value));
  EXPECT_EQ(value, 17);
  EXPECT_TRUE(ParseDecimalInt32("-2147483648", value));
  EXPECT_EQ(value, INT32_MIN);
  EXPECT_TRUE(ParseDecimalInt32("+5", value));
  EXPECT_EQ(value, 5);
  for (const char* bad : {"", "  ", "2147483648", "1 2", "12a", "+-1", "$10", "1.5"})
    EXPECT_FALSE(ParseDecimalInt32(bad, value)) << bad;
}

TEST(RequestIntegerTest, DecimalAndHexadecimalFormsWithFallback) {
  EXPECT_EQ(ParseRequestInteger("0", 1), 0);
  EXPECT_EQ(ParseRequestInteger("  -42", 1), -42);
  EXPECT_EQ(ParseRequestInteger("+7", 1), 7);
  EXPECT_EQ(ParseRequestInteger("$1F", 1), 31);
  EXPECT_EQ(ParseRequestInteger("x1f", 1), 31);
  EXPECT_EQ(ParseRequestInteger("0X10", 1), 16);
  EXPECT_EQ(ParseRequestInteger("-$10", 1), -16);
  EXPECT_EQ(ParseRequestInteger("$FFFFFFFF", 1), -1);
  EXPECT_EQ(ParseRequestInteger("$80000000", 1), INT32_MIN);
  EXPECT_EQ(ParseRequestInteger("2147483647", 1), INT32_MAX);
  EXPECT_EQ(ParseRequestInteger("-2147483648", 1), INT32_MIN);
  for (const char* bad : {"", "   ", "abc", "12 ", "1.0", "2147483648", "-2147483649", "$100000000",
                          "$", "0x", "--1", "$G"})
    EXPECT_EQ(ParseRequestInteger(bad, 1), 1) << bad;
}

TEST(ElapsedFieldTest, RightAlignedInEightAndNeverCut) {
  EXPECT_EQ(FormatElapsedField(5), "<       5> ");
  EXPECT_EQ(FormatElapsedField(12345678), "<12345678> ");
  EXPECT_EQ(FormatElapsedField(123456789012), "<123456789012> ");
}

TEST(ClientMessageTest, JoinedByCrLfWithOneFinalDotRemoved) {
  EXPECT_EQ(JoinClientMessages({"I/O error during \"open\" operation for file \"x\"",
                                "Error while trying to open file", "No such file or directory."}),
            "I/O error during \"open\" operation for file \"x\"\r\nError while trying to open "
            "file\r\nNo such file or directory");
  EXPECT_EQ(JoinClientMessages({"first\n", "second.."}), "first\nsecond.");
  EXPECT_EQ(JoinClientMessages({}), "");
  // The server's text may quote the host's: its control bytes are escaped, its own line end kept.
  EXPECT_EQ(JoinClientMessages({"string \"a\r\n12:00:00.000 X\x7F\"\n", "next."}),
            "string \"a\\x0D\\x0A12:00:00.000 X\\x7F\"\nnext");
}

TEST(StatusVectorTest, CodesAreCollectedAcrossArgumentsUpToTheWarnings) {
  const char* text = "x";
  const ISC_STATUS status[] = {isc_arg_gds,
                               isc_net_read_err,
                               isc_arg_string,
                               reinterpret_cast<ISC_STATUS>(text),
                               isc_arg_cstring,
                               1,
                               reinterpret_cast<ISC_STATUS>(text),
                               isc_arg_gds,
                               isc_network_error,
                               isc_arg_number,
                               17,
                               isc_arg_warning,
                               335544366,
                               isc_arg_end};
  ISC_STATUS_ARRAY vector = {};
  std::memcpy(vector, status, sizeof status);
  const std::vector<ISC_STATUS> codes = StatusCodes(vector);
  EXPECT_EQ(codes, (std::vector<ISC_STATUS>{isc_net_read_err, isc_network_error}));

  // A network error counts as a lost connection only when a transaction ends.
  const FbError network("network", {isc_network_error});
  EXPECT_FALSE(IsLostConnection(network));
  EXPECT_TRUE(IsLostConnectionOnTransactionEnd(network));
  EXPECT_TRUE(IsLostConnection(FbError("lost", {isc_random, isc_lost_db_connection})));
  EXPECT_TRUE(IsLostConnection(FbError("write", {isc_net_write_err})));
  EXPECT_FALSE(IsLostConnectionOnTransactionEnd(FbError("shutdown", {isc_att_shutdown})));
}

TEST(InfoItemTest, ReadsALittleEndianValueOrNothing) {
  const char dialect[] = {isc_info_db_sql_dialect, 1, 0, 3, isc_info_end};
  EXPECT_EQ(InfoItemValue(dialect, sizeof dialect, isc_info_db_sql_dialect), 3);
  const char two_items[] = {isc_info_base_level, 2, 0, 1, 12, isc_info_db_sql_dialect, 2, 0, 1, 0,
                            isc_info_end};
  EXPECT_EQ(InfoItemValue(two_items, sizeof two_items, isc_info_db_sql_dialect), 1);
  const char unknown[] = {isc_info_error, 0, 0, isc_info_end};
  EXPECT_EQ(InfoItemValue(unknown, sizeof unknown, isc_info_db_sql_dialect), std::nullopt);
  const char cut[] = {isc_info_db_sql_dialect, 4, 0, 3};
  EXPECT_EQ(InfoItemValue(cut, sizeof cut, isc_info_db_sql_dialect), std::nullopt);
}

TEST(IdleTimerTest, TicksEveryPeriodAndCoalescesMissedTicks) {
  IdleTimer timer;
  EXPECT_FALSE(timer.TakeDueTick(1'000'000));  // not armed
  timer.SetPeriod(100, 1000);
  EXPECT_FALSE(timer.TakeDueTick(1099));
  EXPECT_TRUE(timer.TakeDueTick(1100));
  EXPECT_FALSE(timer.TakeDueTick(1150));
  // Five periods late: one tick, and the next one keeps the phase.
  EXPECT_TRUE(timer.TakeDueTick(1750));
  EXPECT_FALSE(timer.TakeDueTick(1750));
  EXPECT_FALSE(timer.TakeDueTick(1799));
  EXPECT_TRUE(timer.TakeDueTick(1800));

  // The same period again keeps the phase; another one restarts from now; 0 disarms.
  timer.SetPeriod(100, 1850);
  EXPECT_TRUE(timer.TakeDueTick(1900));
  timer.SetPeriod(300, 1950);
  EXPECT_FALSE(timer.TakeDueTick(2200));
  EXPECT_TRUE(timer.TakeDueTick(2250));
  timer.SetPeriod(0, 2300);
  EXPECT_FALSE(timer.TakeDueTick(100000));
}

}  // namespace
}  // namespace mox
