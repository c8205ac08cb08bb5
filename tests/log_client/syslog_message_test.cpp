#include "log_client/syslog_message.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "log_client/ole_date.h"
#include "platform/utc_offset.h"

namespace mox::log_client {
namespace {

// The time stamp as the client builds it from an OLE date, in Berlin's time zone.
std::string TimeStampOf(double ole_date) {
  SyslogFields fields;
  fields.time = FromOleAutomationDate(ole_date);
  if (fields.time) fields.utc_offset_minutes = platform::UtcOffsetMinutes(*fields.time);
  const std::string message = FormatSyslogMessage(fields);  // "<14>1 STAMP - - 0 - -"
  return message.substr(6, message.find(' ', 6) - 6);
}

TEST(SyslogMessage, TimeStampIsTheLocalTimeWithItsOffset) {
  const char* old_tz = std::getenv("TZ");
  const std::string saved = old_tz ? old_tz : "";
  setenv("TZ", "Europe/Berlin", 1);
  tzset();
  EXPECT_EQ(TimeStampOf(45352.37855333333), "2024-03-01T09:05:07.008+01:00");
  EXPECT_EQ(TimeStampOf(45474.5), "2024-07-01T12:00:00.000+02:00");
  EXPECT_EQ(TimeStampOf(45352.99999999999), "2024-03-02T00:00:00.000+01:00");  // rounded up
  EXPECT_EQ(TimeStampOf(0.0), "-");  // WriteRaw's "no time"
  EXPECT_EQ(TimeStampOf(-1.0), "-");
  EXPECT_EQ(TimeStampOf(3e6), "-");
  old_tz ? setenv("TZ", saved.c_str(), 1) : unsetenv("TZ");
  tzset();
}

TEST(SyslogMessage, HeaderFieldsAreCleanedAndTheTextIsOneLine) {
  SyslogFields fields;
  fields.facility = 16;
  fields.host_name = "box";
  fields.app_name = "host app.exe";
  fields.process_id = 42;
  fields.msg_id = "a-module-name-longer-than-32-bytes.so";
  fields.prefix = "p: ";
  fields.text = "one\r\ntwo\rthree\nfour\x01\x7f\ttab \xE4";
  EXPECT_EQ(FormatSyslogMessage(fields),
            "<134>1 - box host_app.exe 42 a-module-name-longer-than-32-byt - "
            "p: one\\ntwo\\nthree\\nfour\\x01\\x7F\ttab \xE4");
  fields.app_name = "";
  fields.host_name = "h\xC3\xA9";
  fields.prefix = fields.text = "";
  EXPECT_EQ(FormatSyslogMessage(fields), "<134>1 - h__ - 42 a-module-name-longer-than-32-byt -");
}

}  // namespace
}  // namespace mox::log_client
