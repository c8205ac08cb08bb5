#include "worker/command_limits.h"

#include "apMoxSettingsManager.h"
#include "db/xsqlda_buffer.h"

namespace mox {

uint64_t MaxCommandTextBytes(uint8_t code, std::size_t max_command_bytes) {
  switch (code) {
    case MSG_GETDATABYID:
    case MSG_GETMODIFIEDSTATEBYID:
      return kMaxTextParameterBytes;
    case MSG_SETMODIFIEDSTATEBYID:
      return kMaxTextParameterBytes + 1;
    default:
      return max_command_bytes;
  }
}

bool IsKnownMessageCode(uint8_t code) {
  return code == MSG_GETDATABYID || code == MSG_GETMODIFIEDSTATEBYID ||
         code == MSG_SETMODIFIEDSTATEBYID || code == MSG_BLOCKINGS_GETDATA ||
         code == MSG_BLOCKINGS_SETPWD || code == MSG_BLOCKINGS_SETLINK;
}

std::string OversizedCommandLine(uint8_t code, uint64_t text_bytes, uint64_t limit) {
  return "Command_Plugin:: FAIL: message " + std::to_string(code) + " with " +
         std::to_string(text_bytes) + " bytes of command text refused, its limit is " +
         std::to_string(limit) + " bytes";
}

}  // namespace mox
