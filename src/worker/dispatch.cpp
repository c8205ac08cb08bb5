#include "worker/dispatch.h"

#include <exception>
#include <limits>

#include "log/error_text.h"

namespace mox {
namespace {

bool IsBlockingCode(uint8_t code) {
  return code == MSG_BLOCKINGS_GETDATA || code == MSG_BLOCKINGS_SETPWD ||
         code == MSG_BLOCKINGS_SETLINK;
}

bool IsKnownCode(uint8_t code) {
  return code == MSG_GETDATABYID || code == MSG_GETMODIFIEDSTATEBYID ||
         code == MSG_SETMODIFIEDSTATEBYID || IsBlockingCode(code);
}

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

TCommandDispatch::TCommandDispatch(MoxReplyCallback callback, uint32_t user_value,
                                   WorkerServices& services, DatabaseAccess& database)
    : FReplyCallback(callback), FUserValue(user_value), FServices(services), FDatabase(database) {}

void TCommandDispatch::HandleCommand(const TCommandRecord& record) noexcept {
  if (!record.Payload || record.PayloadLength == 0) return;
  const uint8_t code = record.Payload[0];
  try {
    const std::string_view text(reinterpret_cast<const char*>(record.Payload.get()) + 1,
                                record.PayloadLength - 1);
    // Blocking commands carry passwords, which no log line shows.
    FServices.WriteProtocol(
        "MSG: " + (IsBlockingCode(code) ? MaskPasswordsInCommaText(text) : std::string(text)));
    if (FReplyCallback == nullptr) return;
    const std::optional<std::string> reply = RunCommand(code, text);
    if (reply) SendReply(record.RequestTag, *reply);
  } catch (...) {
    try {
      FServices.WriteLog("MoxSettingsManager:: FAIL: handling of message " + std::to_string(code) +
                         " raised " + Describe(std::current_exception()));
    } catch (...) {
    }
    // Nothing raises once the reply is out (SendReply keeps the callback's failures), so the
    // host still gets its one answer: the failure reply.
    if (FReplyCallback != nullptr && IsKnownCode(code)) {
      try {
        SendReply(record.RequestTag, std::string(1, static_cast<char>(code)));
      } catch (...) {
      }
    }
  }
}

std::optional<std::string> TCommandDispatch::RunCommand(uint8_t code, std::string_view text) {
  std::string reply(1, static_cast<char>(code));
  switch (code) {
    case MSG_GETDATABYID: {
      FServices.WriteLog(Call("MSG_GETDATABYID", text));
      int16_t Value = 0;
      std::string Text;
      if (FDatabase.GetDataById(std::string(text), Value, Text) >= 0) {
        reply += StateByte(Value > 0);
        reply += Text;
      }
      return reply;
    }
    case MSG_GETMODIFIEDSTATEBYID: {
      FServices.WriteLog(Call("MSG_GETMODIFIEDSTATEBYID", text));
      int32_t State = 0;
      if (FDatabase.GetModifiedStateById(std::string(text), State) >= 0) {
        reply += StateByte(State != 0);
      }
      return reply;
    }
    case MSG_SETMODIFIEDSTATEBYID: {
      if (text.empty()) {
        FServices.WriteLog(
            "MSG_SETMODIFIEDSTATEBYID:: FAIL: empty command text, no state byte to set");
        return reply;
      }
      const auto State = static_cast<uint8_t>(text.front());
      const std::string ID(text.substr(1));
      FServices.WriteLog("MSG_SETMODIFIEDSTATEBYID(" + std::to_string(State) + ", " + ID + ")");
      int32_t Value = 0;
      if (FDatabase.SetModifiedStateById(ID, State, Value) >= 0) {
        reply += StateByte(Value != 0);
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
      FServices.WriteLog("unknown msg: " + std::to_string(code) + " = " + std::string(text));
      return std::nullopt;
  }
}

std::string TCommandDispatch::RunBlocking(uint8_t code, std::string_view text, const char* routine,
                                          BlockingOperation operation) {
  std::string reply(1, static_cast<char>(code));
  FServices.WriteLog(Call(routine, MaskPasswordsInCommaText(text)));
  // Reading stops at a NUL byte, so a text that goes on after one would be carried out cut
  // short (a link set to the empty text, say). NULs at the very end, a host counting the
  // terminator, cut nothing.
  const std::size_t nul = text.find('\0');
  if (nul != std::string_view::npos &&
      text.find_first_not_of('\0', nul) != std::string_view::npos) {
    FServices.WriteLog(std::string(routine) +
                       ":: FAIL: malformed comma text, bytes follow a NUL byte");
    return reply;
  }
  // A text cut off inside a quoted entry would hand the procedure values the host never meant.
  RequestList request;
  if (!request.SetCommaText(text)) {
    FServices.WriteLog(std::string(routine) +
                       ":: FAIL: malformed comma text, a quoted entry has no closing double quote");
    return reply;
  }
  const BlockingResult answer = (FDatabase.*operation)(std::move(request));
  if (answer.result >= 0) reply += answer.list.CommaText();
  return reply;
}

void TCommandDispatch::AnswerRefused(int32_t request_tag, uint8_t code) noexcept {
  if (FReplyCallback == nullptr || !IsKnownCode(code)) return;
  try {
    SendReply(request_tag, std::string(1, static_cast<char>(code)));
  } catch (...) {
    // Only building the one-byte text can fail; the host then learns nothing, as for a full queue.
  }
}

bool TCommandDispatch::CloseReplies(std::chrono::milliseconds wait) noexcept {
  FRepliesClosed.store(true);
  if (!FReplyGate.try_lock_for(wait)) return false;
  FReplyGate.unlock();
  return true;
}

void TCommandDispatch::SendReply(int32_t request_tag, const std::string& reply) noexcept {
  try {
    std::shared_lock gate(FReplyGate);
    if (FRepliesClosed.load()) {
      FServices.WriteLog("MoxSettingsManager:: reply to request " + std::to_string(request_tag) +
                         " dropped: the plug-in was finalized while it was being handled");
      return;
    }
    // The host reads the length as a signed 32-bit count.
    if (reply.size() > static_cast<std::size_t>(std::numeric_limits<int32_t>::max())) {
      FServices.WriteLog("MoxSettingsManager:: FAIL: reply of " + std::to_string(reply.size()) +
                         " bytes is too long, answered with the message code alone");
      const char code_only[2] = {reply.front(), '\0'};
      FReplyCallback(request_tag, FServices.PluginName(), code_only, 1, FUserValue);
      return;
    }
    FReplyCallback(request_tag, FServices.PluginName(), reply.c_str(),
                   static_cast<int32_t>(reply.size()), FUserValue);
  } catch (...) {
    try {
      FServices.WriteLog("MoxSettingsManager:: FAIL: reply callback raised " +
                         Describe(std::current_exception()));
    } catch (...) {
    }
  }
}

}  // namespace mox
