#include "worker/dispatch.h"

#include <exception>
#include <limits>

#include "db/xsqlda_buffer.h"
#include "log/error_text.h"

namespace mox {
namespace {

// The byte value 0 or 1 that follows the code in the replies of codes 1 to 3.
char StateByte(bool on) {
  return on ? '\1' : '\0';
}

std::string Call(const char* routine, std::string_view argument) {
  std::string line(routine);
  line.append(1, '(').append(argument).append(1, ')');
  return line;
}

std::string Describe(const std::exception_ptr& error) {
  return ErrorText(error, "an unknown error");
}

}  // namespace

bool IsKnownMessageCode(uint8_t code) {
  return code == MSG_GETDATABYID || code == MSG_GETMODIFIEDSTATEBYID ||
         code == MSG_SETMODIFIEDSTATEBYID || code == MSG_BLOCKINGS_GETDATA ||
         code == MSG_BLOCKINGS_SETPWD || code == MSG_BLOCKINGS_SETLINK;
}

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

CommandDispatch::CommandDispatch(MoxReplyCallback callback, uint32_t user_value,
                                 WorkerServices& services, DatabaseAccess& database)
    : reply_callback_(callback),
      user_value_(user_value),
      services_(services),
      database_(database),
      plugin_name_(services.PluginName()) {}

void CommandDispatch::HandleCommand(const CommandRecord& record) noexcept {
  if (record.refused) {
    // Logged when it was refused; answered here so that replies keep the order of the commands
    // and come from this thread only.
    if (reply_callback_ != nullptr && IsKnownMessageCode(record.refused_code)) {
      try {
        SendReply(record.request_tag, std::string(1, static_cast<char>(record.refused_code)));
      } catch (...) {
        // Only building the one-byte text can fail; the host then learns nothing of it.
      }
    }
    return;
  }
  if (!record.payload || record.payload_length == 0) return;
  const uint8_t code = record.payload[0];
  try {
    const std::string_view text(reinterpret_cast<const char*>(record.payload.get()) + 1,
                                record.payload_length - 1);
    // Escaping the command text costs more than the rest of the dispatch: only for a line that
    // is written.
    if (services_.DetailOn()) services_.LogDetail("MSG: " + CommandTextForLog(text));
    if (reply_callback_ == nullptr) return;
    const std::optional<std::string> reply = RunCommand(code, text);
    if (reply) SendReply(record.request_tag, *reply);
  } catch (...) {
    try {
      services_.Log("MoxSettingsManager:: FAIL: handling of message " + std::to_string(code) +
                    " raised " + Describe(std::current_exception()));
    } catch (...) {
    }
    // Nothing raises once the reply is out (SendReply keeps the callback's failures), so the
    // host still gets its one answer: the failure reply.
    if (reply_callback_ != nullptr && IsKnownMessageCode(code)) {
      try {
        SendReply(record.request_tag, std::string(1, static_cast<char>(code)));
      } catch (...) {
      }
    }
  }
}

std::optional<std::string> CommandDispatch::RunCommand(uint8_t code, std::string_view text) {
  std::string reply(1, static_cast<char>(code));
  switch (code) {
    case MSG_GETDATABYID: {
      services_.Log(Call("MSG_GETDATABYID", CommandTextForLog(text)));
      int16_t value = 0;
      std::string data;
      if (database_.GetDataById(std::string(text), value, data) >= 0) {
        reply += StateByte(value > 0);
        reply += data;
      }
      return reply;
    }
    case MSG_GETMODIFIEDSTATEBYID: {
      services_.Log(Call("MSG_GETMODIFIEDSTATEBYID", CommandTextForLog(text)));
      int32_t state = 0;
      if (database_.GetModifiedStateById(std::string(text), state) >= 0) {
        reply += StateByte(state != 0);
      }
      return reply;
    }
    case MSG_SETMODIFIEDSTATEBYID: {
      if (text.empty()) {
        services_.Log("MSG_SETMODIFIEDSTATEBYID:: FAIL: empty command text, no state byte to set");
        return reply;
      }
      const auto state = static_cast<uint8_t>(text.front());
      const std::string id(text.substr(1));
      services_.Log("MSG_SETMODIFIEDSTATEBYID(" + std::to_string(state) + ", " +
                    CommandTextForLog(id) + ")");
      int32_t value = 0;
      if (database_.SetModifiedStateById(id, state, value) >= 0) {
        reply += StateByte(value != 0);
      }
      return reply;
    }
    case MSG_BLOCKINGS_GETDATA:
      return RunBlocking(code, text, "MSG_BLOCKINGS_GETDATA", &DatabaseAccess::BlockingsGetData);
    case MSG_BLOCKINGS_SETPWD:
      return RunBlocking(code, text, "MSG_BLOCKINGS_SETPWD", &DatabaseAccess::BlockingsSetPwd);
    case MSG_BLOCKINGS_SETLINK:
      return RunBlocking(code, text, "MSG_BLOCKINGS_SETLINK", &DatabaseAccess::BlockingsSetLink);
    default:
      services_.Log("unknown msg: " + std::to_string(code) + " = " + CommandTextForLog(text));
      return std::nullopt;
  }
}

std::string CommandDispatch::RunBlocking(uint8_t code, std::string_view text, const char* routine,
                                         BlockingOperation operation) {
  std::string reply(1, static_cast<char>(code));
  services_.Log(Call(routine, CommandTextForLog(text)));
  // Reading stops at a NUL byte, so a text that goes on after one would be carried out cut
  // short (a link set to the empty text, say). NULs at the very end, a host counting the
  // terminator, cut nothing.
  const std::size_t nul = text.find('\0');
  if (nul != std::string_view::npos &&
      text.find_first_not_of('\0', nul) != std::string_view::npos) {
    services_.Log(std::string(routine) + ":: FAIL: malformed comma text, bytes follow a NUL byte");
    return reply;
  }
  // A text cut off inside a quoted entry would hand the procedure values the host never meant.
  RequestList request;
  if (!request.SetCommaText(text)) {
    services_.Log(std::string(routine) +
                  ":: FAIL: malformed comma text, a quoted entry has no closing double quote");
    return reply;
  }
  const BlockingResult answer = (database_.*operation)(std::move(request));
  if (answer.result >= 0) reply += answer.list.CommaText();
  return reply;
}

bool CommandDispatch::CloseReplies(std::chrono::milliseconds wait) noexcept {
  replies_closed_.store(true);
  if (!reply_gate_.TryLockFor(wait)) return false;
  reply_gate_.Unlock();
  return true;
}

void CommandDispatch::SendReply(int32_t request_tag, const std::string& reply) noexcept {
  try {
    SharedLock gate(reply_gate_);
    if (replies_closed_.load()) {
      services_.Log("MoxSettingsManager:: reply to request " + std::to_string(request_tag) +
                    " dropped: the plug-in was finalized while it was being handled");
      return;
    }
    // The host reads the length as a signed 32-bit count.
    if (reply.size() > static_cast<std::size_t>(std::numeric_limits<int32_t>::max())) {
      services_.Log("MoxSettingsManager:: FAIL: reply of " + std::to_string(reply.size()) +
                    " bytes is too long, answered with the message code alone");
      const char code_only[2] = {reply.front(), '\0'};
      CallCallback(request_tag, code_only, 1);
      return;
    }
    CallCallback(request_tag, reply.c_str(), static_cast<int32_t>(reply.size()));
  } catch (...) {
    try {
      services_.Log("MoxSettingsManager:: FAIL: reply callback raised " +
                    Describe(std::current_exception()));
    } catch (...) {
    }
  }
}

void CommandDispatch::CallCallback(int32_t request_tag, const char* reply, int32_t length) {
  reply_callback_(request_tag, plugin_name_, reply, length, user_value_);
}

}  // namespace mox
