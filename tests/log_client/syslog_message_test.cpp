#include "log_client/syslog_message.h"

#include <gtest/gtest.h>

#include "log_client/ole_date.h"
#include "platform/clock.h"

namespace mox::log_client {
namespace {

TEST(SyslogMessage, LocalTimeWithItsOffsetCleanHeaderFieldsOneLineText) {
  setenv("TZ", "Europe/Berlin", 1);  // the tests own their process; nothing else reads TZ
  tzset();
  const auto stamp = [](double ole_date) {
    SyslogFields fields;
    fields.time = FromOleAutomationDate(ole_date);
    if (fields.time) fields.utc_offset_minutes = platform::UtcOffsetMinutes(*fields.time);
    const std::string message = FormatSyslogMessage(fields);  // "<14>1 STAMP - - 0 - -"
    return message.substr(6, message.find(' ', 6) - 6);
  };
  EXPECT_EQ(stamp(45352.37855333333), "2024-03-01T09:05:07.008+01:00");
  EXPECT_EQ(stamp(45474.5), "2024-07-01T12:00:00.000+02:00");
  EXPECT_EQ(stamp(45352.99999999999), "2024-03-02T00:00:00.000+01:00");  // rounded up
  for (const double no_time : {0.0, -1.0, 3e6}) EXPECT_EQ(stamp(no_time), "-");

  SyslogFields fields{16,
                      {},
                      {},
                      "box",
                      "host app.exe",
                      42,
                      "a-module-name-longer-than-32-bytes.so",
                      "p: ",
                      "one\r\ntwo\rthree\nfour\x01\x7f\ttab \xE4"};
  EXPECT_EQ(FormatSyslogMessage(fields),
            "<134>1 - box host_app.exe 42 a-module-name-longer-than-32-byt - "
            "p: one\\ntwo\\nthree\\nfour\\x01\\x7F\ttab \xE4");
  fields.app_name = fields.prefix = fields.text = "";
  fields.host_name = "h\xC3\xA9";
  EXPECT_EQ(FormatSyslogMessage(fields), "<134>1 - h__ - 42 a-module-name-longer-than-32-byt -");
}

}  // namespace
}  // namespace mox::log_client
