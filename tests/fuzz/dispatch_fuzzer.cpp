// The dispatch of one command payload, with a fake in place of the database and the logs.
//
// Input: one byte that sets how the fake database answers (fail, find a row, raise, which values),
// then the payload (message code, command text), any bytes and any length. A known code gets
// exactly one reply, starting with its code byte and as the code's reply rules build it; an unknown
// code gets none; no code runs more than one database operation.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "apMoxSettingsManager.h"
#include "db/database_access.h"
#include "db/request_list.h"
#include "fuzz_check.h"
#include "worker/command_queue.h"
#include "worker/dispatch.h"
#include "worker/worker_services.h"

namespace {

using mox::RequestList;
using mox::fuzz::Check;

constexpr char kPluginName[] = "MoxSettingsManager_Fuzz";
constexpr int32_t kTag = -17;
constexpr uint32_t kUser = 0xC0FFEEu;
// Data text of a found row: with a NUL, a quote and a comma, which must all reach the host.
const std::string kRowText("row\0\",text", 10);

// How the fake database answers every operation of one input.
struct Answer {
  explicit Answer(uint8_t mode)
      : fails((mode & 1) != 0),
        finds_row((mode & 2) != 0),
        raises((mode & 4) != 0),
        writes_columns((mode & 8) != 0),
        value((mode >> 4) - 8) {}

  bool fails;           // returns a negative result
  bool finds_row;       // writes the out-values
  bool raises;          // raises instead of returning
  bool writes_columns;  // a blocking operation sets entries of the list
  int value;            // -8..7: the 16- and 32-bit out-values
};

class FakeServices final : public mox::WorkerServices, public mox::DatabaseAccess {
 public:
  explicit FakeServices(const Answer& answer) : answer_(answer) {}

  int operations = 0;
  RequestList list_seen;  // the list a blocking operation was given

  mox::Settings LoadSettings() override { return {}; }
  void Init(const mox::Settings&) override {}
  void Done() noexcept override {}

  int32_t GetDataById(const std::string&, int16_t& value, std::string& text) override {
    Begin();
    if (answer_.finds_row) {
      value = static_cast<int16_t>(answer_.value);
      text = kRowText;
    }
    return Result();
  }
  int32_t GetModifiedStateById(const std::string&, int32_t& state) override {
    Begin();
    if (answer_.finds_row) state = answer_.value;
    return Result();
  }
  int32_t SetModifiedStateById(const std::string&, uint8_t, int32_t& value) override {
    Begin();
    if (answer_.finds_row) value = answer_.value;
    return Result();
  }
  mox::BlockingResult BlockingsGetData(RequestList list) override { return Blocking(list); }
  mox::BlockingResult BlockingsSetPwd(RequestList list) override { return Blocking(list); }
  mox::BlockingResult BlockingsSetLink(RequestList list) override { return Blocking(list); }
  void ServeIdleTicks() noexcept override {}

  void Log(std::string_view) noexcept override {}
  void LogDetail(std::string_view) noexcept override {}
  const char* PluginName() noexcept override { return kPluginName; }

  // What a blocking operation does to the list when it writes columns.
  static void WriteColumns(RequestList& list) {
    list.SetValue("Result", "0");
    list.SetValue("Name", "a b,\"c\"");
    list.SetValue("BlockNumberPWD", "");
  }

 private:
  void Begin() {
    ++operations;
    if (answer_.raises) throw std::runtime_error("the fake database raised");
  }
  int32_t Result() const { return answer_.fails ? -1 : 0; }
  mox::BlockingResult Blocking(RequestList list) {
    list_seen = list;
    Begin();
    if (answer_.finds_row && answer_.writes_columns) WriteColumns(list);
    return {Result(), std::move(list)};
  }

  Answer answer_;
};

struct Reply {
  int32_t tag;
  std::string name;
  std::string bytes;
  bool nul_after;
  uint32_t user;
};

std::vector<Reply>& Replies() {
  static std::vector<Reply> replies;
  return replies;
}

void MOX_CALL RecordReply(int32_t tag, const char* name, const char* reply, int32_t length,
                          uint32_t user) {
  Check(length >= 1, "a reply has at least its code byte");
  Replies().push_back(Reply{tag, name, std::string(reply, static_cast<std::size_t>(length)),
                            reply[length] == '\0', user});
}

bool IsKnownCode(uint8_t code) {
  return code == MSG_GETDATABYID || code == MSG_GETMODIFIEDSTATEBYID ||
         code == MSG_SETMODIFIEDSTATEBYID || code == MSG_BLOCKINGS_GETDATA ||
         code == MSG_BLOCKINGS_SETPWD || code == MSG_BLOCKINGS_SETLINK;
}

bool IsBlockingCode(uint8_t code) {
  return code == MSG_BLOCKINGS_GETDATA || code == MSG_BLOCKINGS_SETPWD ||
         code == MSG_BLOCKINGS_SETLINK;
}

// The reply the code's rules give, or nothing when the command fails and is answered with its code
// alone.
std::string ExpectedReply(uint8_t code, std::string_view text, const Answer& answer) {
  const std::string failed(1, static_cast<char>(code));
  if (code == MSG_SETMODIFIEDSTATEBYID && text.empty()) return failed;
  if (IsBlockingCode(code)) {
    // Reading stops at a NUL: a text that goes on after one is refused rather than run cut short.
    const std::size_t nul = text.find('\0');
    if (nul != std::string_view::npos &&
        text.find_first_not_of('\0', nul) != std::string_view::npos) {
      return failed;
    }
    RequestList list;
    if (!list.SetCommaText(text)) return failed;
    if (answer.raises || answer.fails) return failed;
    if (answer.finds_row && answer.writes_columns) FakeServices::WriteColumns(list);
    return failed + list.CommaText();
  }
  if (answer.raises || answer.fails) return failed;
  const int value = answer.finds_row ? answer.value : 0;
  const std::string state(1, value > 0 || (code != MSG_GETDATABYID && value != 0) ? '\1' : '\0');
  if (code == MSG_GETDATABYID) return failed + state + (answer.finds_row ? kRowText : "");
  return failed + state;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const Answer answer(size > 0 ? data[0] : 0);
  const std::size_t payload_length = size > 0 ? size - 1 : 0;

  mox::CommandRecord record;
  record.request_tag = kTag;
  record.payload_length = static_cast<uint32_t>(payload_length);
  record.payload = std::make_unique<uint8_t[]>(payload_length);
  if (payload_length > 0) std::memcpy(record.payload.get(), data + 1, payload_length);

  FakeServices services(answer);
  Replies().clear();
  {
    mox::CommandDispatch dispatch(&RecordReply, kUser, services, services);
    dispatch.HandleCommand(record);
  }

  Check(services.operations <= 1, "a command runs at most one database operation");
  if (payload_length == 0) {
    Check(Replies().empty(), "an empty payload is not answered");
    return 0;
  }
  const uint8_t code = record.payload[0];
  const std::string_view text(reinterpret_cast<const char*>(record.payload.get()) + 1,
                              payload_length - 1);
  if (!IsKnownCode(code)) {
    Check(Replies().empty(), "an unknown code is not answered");
    Check(services.operations == 0, "an unknown code runs no database operation");
    return 0;
  }
  Check(Replies().size() == 1, "a known code is answered exactly once");
  const Reply& reply = Replies().front();
  Check(!reply.bytes.empty() && static_cast<uint8_t>(reply.bytes[0]) == code,
        "the reply starts with the code byte");
  Check(reply.tag == kTag && reply.user == kUser && reply.name == kPluginName,
        "the reply carries the command's tag, the user value and the plug-in name");
  Check(reply.nul_after, "a NUL byte follows the reply");
  Check(reply.bytes == ExpectedReply(code, text, answer), "the reply follows the code's rules");
  if (IsBlockingCode(code) && services.operations == 1) {
    RequestList expected;
    expected.SetCommaText(text);
    Check(services.list_seen.Entries() == expected.Entries(),
          "a blocking operation gets the entries of the command text");
  }
  return 0;
}
