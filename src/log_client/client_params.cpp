#include "log_client/client_params.h"

#include <array>
#include <charconv>

namespace mox::log_client {
namespace {

constexpr int kDefaultUdpPort = 514;
constexpr int kDefaultTcpPort = 601;  // syslog over TCP

// Facility names in the order of their codes.
constexpr std::array<std::string_view, 24> kFacilityNames = {
    "kern",   "user",   "mail",     "daemon", "auth",   "syslog", "lpr",    "news",
    "uucp",   "cron",   "authpriv", "ftp",    "ntp",    "audit",  "alert",  "clock",
    "local0", "local1", "local2",   "local3", "local4", "local5", "local6", "local7"};

std::string_view Trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

std::optional<int> ParseNumber(std::string_view text, int min, int max) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < min ||
      value > max) {
    return std::nullopt;
  }
  return value;
}

std::optional<int> ParseFacility(std::string_view text) {
  for (std::size_t code = 0; code < kFacilityNames.size(); ++code) {
    if (text == kFacilityNames[code]) return static_cast<int>(code);
  }
  return ParseNumber(text, 0, static_cast<int>(kFacilityNames.size()) - 1);
}

// "HOST", "HOST:PORT", "[V6]" or "[V6]:PORT" into params.host and params.port.
bool ParseHostPort(std::string_view text, int default_port, ClientParams& params) {
  std::string_view port_text;
  if (!text.empty() && text.front() == '[') {
    const auto close = text.find(']');
    if (close == std::string_view::npos) return false;
    params.host = text.substr(1, close - 1);
    const auto rest = text.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') return false;
      port_text = rest.substr(1);
    }
  } else {
    const auto colon = text.rfind(':');
    params.host = text.substr(0, colon);
    if (colon != std::string_view::npos) port_text = text.substr(colon + 1);
    if (params.host.find(':') != std::string::npos) return false;  // IPv6 needs brackets
  }
  if (params.host.empty()) return false;
  params.port = default_port;
  if (port_text.data() != nullptr) {
    const auto port = ParseNumber(port_text, 1, 65535);
    if (!port) return false;
    params.port = *port;
  }
  return true;
}

bool ParseAddress(std::string_view text, ClientParams& params) {
  if (text.starts_with("udp://")) {
    params.transport = Transport::kUdp;
    return ParseHostPort(text.substr(6), kDefaultUdpPort, params);
  }
  if (text.starts_with("tcp://")) {
    params.transport = Transport::kTcp;
    return ParseHostPort(text.substr(6), kDefaultTcpPort, params);
  }
  if (text.starts_with("unix:")) {
    params.transport = Transport::kUnix;
    params.path = text.substr(5);
    return params.path.starts_with('/');  // a relative path would depend on the host's directory
  }
  return false;
}

bool ParseOption(std::string_view option, ClientParams& params) {
  const auto equals = option.find('=');
  if (equals == std::string_view::npos) return false;
  const auto key = Trim(option.substr(0, equals));
  const auto value = Trim(option.substr(equals + 1));
  if (key == "app" && !value.empty()) {
    params.app_name = value;
    return true;
  }
  if (key == "facility") {
    const auto facility = ParseFacility(value);
    if (!facility) return false;
    params.facility = *facility;
    return true;
  }
  return false;
}

}  // namespace

std::optional<ClientParams> ParseClientParams(std::string_view text) {
  ClientParams params;
  auto separator = text.find(';');
  if (!ParseAddress(Trim(text.substr(0, separator)), params)) return std::nullopt;
  while (separator != std::string_view::npos) {
    text.remove_prefix(separator + 1);
    separator = text.find(';');
    const auto option = Trim(text.substr(0, separator));
    if (option.empty()) continue;  // a trailing or doubled ';'
    if (!ParseOption(option, params)) return std::nullopt;
  }
  return params;
}

}  // namespace mox::log_client
