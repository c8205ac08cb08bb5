#include "db/fb_error.h"

#include <algorithm>

#include "db/fb_client.h"
#include "log/log_text.h"

namespace mox {

bool FbError::Has(ISC_STATUS code) const {
  return std::find(codes_.begin(), codes_.end(), code) != codes_.end();
}

std::vector<ISC_STATUS> StatusCodes(const ISC_STATUS* status) {
  std::vector<ISC_STATUS> codes;
  for (std::size_t i = 0; i < ISC_STATUS_LENGTH && status[i] != isc_arg_end;) {
    const ISC_STATUS type = status[i];
    if (type == isc_arg_warning) break;  // warnings follow the errors
    if (type == isc_arg_gds && i + 1 < ISC_STATUS_LENGTH) codes.push_back(status[i + 1]);
    i += type == isc_arg_cstring ? 3 : 2;
  }
  return codes;
}

std::string JoinClientMessages(const std::vector<std::string>& messages) {
  std::string text;
  for (const std::string& message : messages) {
    if (!text.empty() && text.back() != '\n') text += "\r\n";
    // The server's text may quote what the host sent; only a final LF, the message's own line
    // end, stays a line end.
    const bool own_line_end = !message.empty() && message.back() == '\n';
    text += SafeForLog(std::string_view(message).substr(0, message.size() - own_line_end));
    if (own_line_end) text += '\n';
  }
  if (!text.empty() && text.back() == '.') text.pop_back();
  return text;
}

FbError MakeFbError(const FbClient& client, const ISC_STATUS* status) {
  std::vector<std::string> messages;
  const ISC_STATUS* cursor = status;
  char buffer[1024];
  while (client.interpret(buffer, sizeof buffer, &cursor) > 0) messages.emplace_back(buffer);
  return FbError(JoinClientMessages(messages), StatusCodes(status));
}

bool IsLostConnection(const FbError& error) {
  return error.Has(isc_lost_db_connection) || error.Has(isc_net_read_err) ||
         error.Has(isc_net_write_err);
}

bool IsLostConnectionOnTransactionEnd(const FbError& error) {
  return IsLostConnection(error) || error.Has(isc_network_error);
}

}  // namespace mox
