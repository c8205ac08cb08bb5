// One run of the plug-in: name and start, commands with their replies, finalisation.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "tools/command_parser.h"
#include "tools/plugin_module.h"
#include "tools/reply_formatter.h"
#include "tools/reply_inbox.h"

namespace mox::host {

struct SessionSettings {
  double timeout_seconds = 10;
  std::string timeout_text = "10";  // the time-out as the user wrote it, for the printout
  bool expect_no_reply = false;     // commands with an unknown code should get no reply
  bool show_passwords = false;
  // True once the plug-in has logged that it is not initialised: no reply can come then, so a
  // command stops waiting for one. Asked every 100 ms while a reply is awaited; may be empty.
  std::function<bool()> not_initialised;
};

// Where the plug-in logs now, as the printout names it beside a failure.
using LogFileSource = std::function<std::string()>;

// Handed to Init_Plugin; every reply must carry it back.
inline constexpr std::uint32_t kHostUserValue = 0x4D6F7848;

// Sends one command at a time and waits for its reply, printing both to `out`. Not thread-safe:
// one host thread drives it; replies arrive through the inbox from the plug-in's thread.
class HostSession {
 public:
  // Without `log_file`, failures name no log file.
  HostSession(const PluginApi& api, SessionSettings settings, std::ostream& out,
              LogFileSource log_file = {});
  ~HostSession();  // finishes the session if Finish() was not called
  HostSession(const HostSession&) = delete;
  HostSession& operator=(const HostSession&) = delete;

  // GetName_Plugin, then Init_Plugin.
  void Start();
  // Sends a kSend command, waits for its reply (or the time-out) and prints the outcome.
  void Send(const HostCommand& command);
  // Finalize_Plugin, then any reply that came meanwhile, then the summary line.
  void Finish();

  const SessionTally& Tally() const { return tally_; }

 private:
  // Prints a reply that is not the awaited one: late (its command timed out), repeated, or for a
  // tag never sent.
  void ReportStray(const ReceivedReply& reply);
  // Prints the ways a reply breaks the calling rules and returns how many there are.
  int PrintDeliveryProblems(const ReceivedReply& reply);
  // Prints and counts a breach that fails no command of its own.
  void Anomaly(std::int32_t tag, const std::string& what);
  std::string LogFile() const;
  // The next reply, or nothing at `deadline` or once the plug-in is known not to be initialised.
  std::optional<ReceivedReply> WaitForReply(std::chrono::steady_clock::time_point deadline);

  const PluginApi& api_;
  const SessionSettings settings_;
  std::ostream& out_;
  const LogFileSource log_file_;
  ReplyInbox inbox_;
  CallbackBinding binding_;
  std::string name_;
  bool started_ = false;
  bool finished_ = false;
  std::int32_t next_tag_ = 1;
  struct SentCommand {
    std::uint8_t code;
    bool answered;
  };
  std::vector<SentCommand> sent_;  // by tag - 1
  SessionTally tally_;
};

// Reads commands from `in` until its end or quit; `prompt` shows "mox> " before each line.
// Lines that are not commands are reported to `err` and skipped.
void RunPrompt(HostSession& session, std::istream& in, std::ostream& out, std::ostream& err,
               bool prompt);

}  // namespace mox::host
