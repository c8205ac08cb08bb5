// One log line as an RFC 5424 syslog message.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/clock.h"

namespace mox::log_client {

// Every message is sent with this severity: the log has no levels.
constexpr int kSeverityInformational = 6;

struct SyslogFields {
  int facility = 1;
  std::optional<platform::LocalDateTime> time;  // none: the time stamp is "-"
  std::optional<int> utc_offset_minutes;        // none: the time stamp is "-"
  std::string_view host_name;
  std::string_view app_name;
  long process_id = 0;
  std::string_view msg_id;
  std::string_view prefix;
  std::string_view text;
};

// "<PRI>1 TIMESTAMP HOSTNAME APP-NAME PROCID MSGID - MSG". Header fields are cut to their
// greatest length, bytes outside printable ASCII and spaces become '_', an empty field becomes
// "-". MSG is prefix and text, without a BOM, with every line break written as \n (as the detail
// log joins lines) and every other control byte but tab as \xHH, so a message is one line.
std::string FormatSyslogMessage(const SyslogFields& fields);

}  // namespace mox::log_client
