#include "log_client/syslog_message.h"

#include <cstdio>
#include <cstdlib>

namespace mox::log_client {
namespace {

constexpr std::size_t kMaxHostName = 255;
constexpr std::size_t kMaxAppName = 48;
constexpr std::size_t kMaxProcId = 128;
constexpr std::size_t kMaxMsgId = 32;

void AppendHeaderField(std::string& out, std::string_view value, std::size_t max_size) {
  out += ' ';
  if (value.empty()) {
    out += '-';
    return;
  }
  for (const char c : value.substr(0, max_size)) {
    const auto byte = static_cast<unsigned char>(c);
    out += (byte >= 33 && byte <= 126) ? c : '_';
  }
}

void AppendTimeStamp(std::string& out, const SyslogFields& fields) {
  if (!fields.time || !fields.utc_offset_minutes) {
    out += " -";
    return;
  }
  const auto& t = *fields.time;
  const int offset = std::abs(*fields.utc_offset_minutes);
  char text[48];
  std::snprintf(text, sizeof text, " %04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d", t.year,
                t.month, t.day, t.hour, t.minute, t.second, t.millisecond,
                *fields.utc_offset_minutes < 0 ? '-' : '+', offset / 60, offset % 60);
  out += text;
}

void AppendEscapedText(std::string& out, std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte == '\r' || byte == '\n') {
      out += "\\n";
      if (byte == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;  // CR LF is one break
    } else if ((byte < 0x20 && byte != '\t') || byte == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      out += escaped;
    } else {
      out += text[i];
    }
  }
}

}  // namespace

std::string FormatSyslogMessage(const SyslogFields& fields) {
  std::string out;
  out.reserve(96 + fields.prefix.size() + fields.text.size());
  out += '<' + std::to_string(fields.facility * 8 + kSeverityInformational) + ">1";
  AppendTimeStamp(out, fields);
  AppendHeaderField(out, fields.host_name, kMaxHostName);
  AppendHeaderField(out, fields.app_name, kMaxAppName);
  AppendHeaderField(out, std::to_string(fields.process_id), kMaxProcId);
  AppendHeaderField(out, fields.msg_id, kMaxMsgId);
  out += " -";  // no structured data
  if (!fields.prefix.empty() || !fields.text.empty()) {
    out += ' ';
    AppendEscapedText(out, fields.prefix);
    AppendEscapedText(out, fields.text);
  }
  return out;
}

}  // namespace mox::log_client
