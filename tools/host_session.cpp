#include "tools/host_session.h"

#include <algorithm>
#include <chrono>

#include "tools/text_concat.h"

namespace mox::host {

HostSession::HostSession(const PluginApi& api, SessionSettings settings, std::ostream& out,
                         LogFileSource log_file)
    : api_(api),
      settings_(std::move(settings)),
      out_(out),
      log_file_(std::move(log_file)),
      binding_(inbox_) {}

HostSession::~HostSession() {
  if (started_ && !finished_) Finish();
}

void HostSession::Start() {
  const char* name = nullptr;
  api_.get_name(&name);
  name_ = name ? name : "";
  out_ << "name: " << name_ << '\n';

  const char* init_name = nullptr;
  api_.init(&init_name, &ReplyCallback, kHostUserValue);
  started_ = true;
  if (init_name == nullptr || name_ != init_name)
    Anomaly(0, std::string("Init_Plugin gave the name \"") + (init_name ? init_name : "") +
                   "\", GetName_Plugin \"" + name_ + "\"");
  out_.flush();
}

void HostSession::Send(const HostCommand& command) {
  const std::int32_t tag = next_tag_++;
  sent_.push_back({command.code, false});
  ++tally_.sent;
  out_ << FormatCommand(tag, command, settings_.show_passwords);
  out_.flush();

  const std::string payload = command.Payload();
  const std::int32_t result =
      api_.command(tag, payload.data(), static_cast<std::uint32_t>(payload.size()));
  if (result != 0) Anomaly(tag, Concat({"Command_Plugin returned ", std::to_string(result)}));

  const bool none_expected = settings_.expect_no_reply && !IsKnownCode(command.code);
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                            std::chrono::duration<double>(settings_.timeout_seconds));
  for (;;) {
    std::optional<ReceivedReply> reply = WaitForReply(deadline);
    if (!reply && settings_.not_initialised && std::chrono::steady_clock::now() < deadline) {
      out_ << FormatNotInitialised(tag, command.code, LogFile());
      ++tally_.missing;
      break;
    }
    if (!reply) {
      out_ << FormatMissingReply(tag, command.code, settings_.timeout_text, none_expected,
                                 LogFile());
      ++(none_expected ? tally_.missing_as_expected : tally_.missing);
      break;
    }
    if (reply->tag != tag) {
      ReportStray(*reply);
      continue;
    }
    sent_.back().answered = true;
    const FormattedReply formatted =
        FormatReply(tag, command.code, reply->bytes, settings_.show_passwords, LogFile());
    out_ << formatted.text;
    // Problems of the awaited reply fail its command; they are not counted a second time.
    const int delivery_problems = PrintDeliveryProblems(*reply);
    if (none_expected) {
      out_ << FormatAnomaly(tag, "a reply came although none was expected");
      ++tally_.failed;
    } else if (formatted.outcome == ReplyOutcome::kOk && delivery_problems == 0) {
      ++tally_.ok;
    } else {
      ++tally_.failed;
    }
    break;
  }
  out_.flush();
}

std::optional<ReceivedReply> HostSession::WaitForReply(
    std::chrono::steady_clock::time_point deadline) {
  if (!settings_.not_initialised) return inbox_.WaitNext(deadline);
  constexpr auto kLogPoll = std::chrono::milliseconds(100);
  for (;;) {
    const auto slice_end = std::min(deadline, std::chrono::steady_clock::now() + kLogPoll);
    if (std::optional<ReceivedReply> reply = inbox_.WaitNext(slice_end)) return reply;
    if (slice_end >= deadline || settings_.not_initialised()) return std::nullopt;
  }
}

void HostSession::Finish() {
  if (finished_) return;
  finished_ = true;
  if (started_) api_.finalize();
  inbox_.Close();
  for (const ReceivedReply& reply : inbox_.TakeAll()) ReportStray(reply);
  out_ << FormatSummary(tally_);
  out_.flush();
}

void HostSession::ReportStray(const ReceivedReply& reply) {
  if (reply.tag < 1 || reply.tag >= next_tag_) {
    Anomaly(reply.tag, "a reply came for a tag that was never sent");
    return;
  }
  SentCommand& sent = sent_[static_cast<std::size_t>(reply.tag - 1)];
  if (sent.answered)
    Anomaly(reply.tag, "a second reply came for this command");
  else
    out_ << FormatLateReplyNote(reply.tag);
  sent.answered = true;
  out_ << FormatReply(reply.tag, sent.code, reply.bytes, settings_.show_passwords, LogFile()).text;
  tally_.anomalies += PrintDeliveryProblems(reply);
}

int HostSession::PrintDeliveryProblems(const ReceivedReply& reply) {
  int problems = 0;
  auto problem = [&](const std::string& what) {
    out_ << FormatAnomaly(reply.tag, what);
    ++problems;
  };
  if (reply.name != name_) problem("the reply carried the name \"" + reply.name + "\"");
  if (reply.user != kHostUserValue)
    problem(Concat({"the reply carried the user value ", std::to_string(reply.user), " instead of ",
                    std::to_string(kHostUserValue)}));
  if (reply.on_host_thread) problem("the reply came on the host's own thread");
  if (reply.after_close) problem("the reply came after Finalize_Plugin returned");
  return problems;
}

void HostSession::Anomaly(std::int32_t tag, const std::string& what) {
  ++tally_.anomalies;
  out_ << FormatAnomaly(tag, what);
}

std::string HostSession::LogFile() const {
  return log_file_ ? log_file_() : std::string();
}

void RunPrompt(HostSession& session, std::istream& in, std::ostream& out, std::ostream& err,
               bool prompt) {
  std::string line;
  for (;;) {
    if (prompt) out << "mox> " << std::flush;
    if (!std::getline(in, line)) {
      if (prompt) out << '\n';  // end of input typed at the prompt: leave the line clean
      break;
    }
    ParsedLine parsed = ParseCommandLine(line);
    if (!parsed.error.empty()) {
      err << "error: " << parsed.error << '\n';
      continue;
    }
    if (!parsed.command) continue;
    if (parsed.command->kind == CommandKind::kQuit) break;
    if (parsed.command->kind == CommandKind::kHelp) {
      out << CommandFormsText();
      continue;
    }
    session.Send(*parsed.command);
  }
}

}  // namespace mox::host
