#include "tools/reply_formatter.h"

#include <gtest/gtest.h>

namespace mox::host {
namespace {

HostCommand Command(std::string_view line) {
  return ParseCommandLine(line).command.value_or(HostCommand{});
}

TEST(ReplyFormatter, RecordReplies) {
  FormattedReply reply = FormatReply(5, 1, "\x01\x01xyz", false);
  EXPECT_EQ(reply.outcome, ReplyOutcome::kOk);
  EXPECT_EQ(reply.text, "#5 < code 1 MSG_GETDATABYID: ok, state 1\n    text: \"xyz\"\n");

  reply = FormatReply(6, 1, std::string("\x01\x00", 2), false);
  EXPECT_EQ(reply.text, "#6 < code 1 MSG_GETDATABYID: ok, state 0\n    text: \"\"\n");

  reply = FormatReply(7, 1,
                      std::string("\x01\x01"
                                  "a\0\xff\"",
                                  6),
                      false);
  EXPECT_EQ(reply.text,
            "#7 < code 1 MSG_GETDATABYID: ok, state 1\n    text: \"a\\x00\\xff\\\"\"\n");

  reply = FormatReply(8, 2, "\x02\x01", false);
  EXPECT_EQ(reply.outcome, ReplyOutcome::kOk);
  EXPECT_EQ(reply.text, "#8 < code 2 MSG_GETMODIFIEDSTATEBYID: ok, state 1\n");

  reply = FormatReply(9, 3, std::string("\x03\x00", 2), false);
  EXPECT_EQ(reply.text, "#9 < code 3 MSG_SETMODIFIEDSTATEBYID: ok, state 0\n");
}

TEST(ReplyFormatter, TheCodeAloneIsAFailure) {
  for (std::uint8_t code : {1, 2, 3, 10, 11, 12}) {
    const FormattedReply reply =
        FormatReply(1, code, std::string(1, static_cast<char>(code)), false);
    EXPECT_EQ(reply.outcome, ReplyOutcome::kFailed) << int(code);
    EXPECT_EQ(reply.text, "#1 < code " + std::to_string(code) + " " +
                              std::string(MessageCodeName(code)) + ": failed\n");
  }
}

TEST(ReplyFormatter, RepliesOutsideTheWireFormatAreMalformed) {
  EXPECT_EQ(FormatReply(1, 1, "", false).outcome, ReplyOutcome::kMalformed);
  const FormattedReply wrong_code = FormatReply(2, 1, "\x02\x01", false);
  EXPECT_EQ(wrong_code.outcome, ReplyOutcome::kMalformed);
  EXPECT_EQ(wrong_code.text,
            "#2 < code 2 MSG_GETMODIFIEDSTATEBYID: malformed: the command sent was code 1 "
            "MSG_GETDATABYID\n    bytes: \"\\x02\\x01\"\n");
  EXPECT_EQ(FormatReply(3, 2, std::string("\x02\x01\x00", 3), false).outcome,
            ReplyOutcome::kMalformed);
  EXPECT_EQ(FormatReply(4, 3, "\x03\x07", false).outcome, ReplyOutcome::kMalformed);
  EXPECT_EQ(FormatReply(5, 10,
                        "\x0a"
                        "a=1,\"b",
                        false)
                .outcome,
            ReplyOutcome::kMalformed);
  EXPECT_EQ(FormatReply(6, 10,
                        std::string("\x0a"
                                    "a=1\0b=2",
                                    8),
                        false)
                .outcome,
            ReplyOutcome::kMalformed);
}

TEST(ReplyFormatter, BlockingEntriesOnePerLineWithPasswordsMasked) {
  const std::string bytes =
      "\x0a"
      "\"OfficeID=Main office\",BlockNumberPWD=secret,Result=0";
  const FormattedReply masked = FormatReply(3, 10, bytes, false);
  EXPECT_EQ(masked.outcome, ReplyOutcome::kOk);
  EXPECT_EQ(masked.text,
            "#3 < code 10 MSG_BLOCKINGS_GETDATA: ok, 3 entries\n"
            "    OfficeID=Main office\n"
            "    BlockNumberPWD=***\n"
            "    Result=0\n");
  EXPECT_NE(FormatReply(3, 10, bytes, true).text.find("    BlockNumberPWD=secret\n"),
            std::string::npos);
  EXPECT_EQ(FormatReply(4, 12,
                        "\x0c"
                        "x=1",
                        false)
                .text,
            "#4 < code 12 MSG_BLOCKINGS_SETLINK: ok, 1 entry\n    x=1\n");
}

TEST(ReplyFormatter, ReplyToAnUnknownCode) {
  const FormattedReply reply = FormatReply(1, 5, "\x05hi", false);
  EXPECT_EQ(reply.text, "#1 < code 5 (unknown): answered\n    data: \"hi\"\n");
}

TEST(ReplyFormatter, CommandEchoes) {
  EXPECT_EQ(FormatCommand(1, Command("getdata  42"), false), "#1 > getdata 42\n");
  EXPECT_EQ(FormatCommand(2, Command("setstate 42 0x10"), false), "#2 > setstate 42 16\n");
  const HostCommand blocking =
      Command("blockings-setpwd a=1, BlockNumberPWD=old,BlockNumberPWDNew=x");
  EXPECT_EQ(FormatCommand(3, blocking, false),
            "#3 > blockings-setpwd a=1, BlockNumberPWD=***,BlockNumberPWDNew=***\n");
  EXPECT_EQ(FormatCommand(3, blocking, true),
            "#3 > blockings-setpwd a=1, BlockNumberPWD=old,BlockNumberPWDNew=x\n");
  EXPECT_EQ(FormatCommand(4, Command("raw 5 a\\x00\\\\"), false), "#4 > raw 5 a\\x00\\\\\n");
  EXPECT_EQ(FormatCommand(5, Command("raw 11 BlockNumberPWD=s"), false),
            "#5 > raw 11 BlockNumberPWD=***\n");
  EXPECT_EQ(FormatCommand(6, Command("raw 2"), false), "#6 > raw 2\n");
}

TEST(ReplyFormatter, MissingRepliesAndSummary) {
  EXPECT_EQ(FormatMissingReply(4, 5, "2", true),
            "#4 - code 5 (unknown): no reply within 2 s, as expected\n");
  EXPECT_EQ(FormatMissingReply(5, 2, "0.5", false),
            "#5 - code 2 MSG_GETMODIFIEDSTATEBYID: no reply within 0.5 s\n");
  SessionTally tally{4, 2, 1, 1, 0, 0};
  EXPECT_FALSE(tally.AllGood());
  EXPECT_EQ(FormatSummary(tally), "done: 4 commands, 2 ok, 1 failed, 1 without reply\n");
  tally = SessionTally{1, 0, 0, 0, 1, 2};
  EXPECT_EQ(FormatSummary(tally),
            "done: 1 command, 0 ok, 0 failed, 0 without reply, 1 without reply as expected, 2 "
            "other problems\n");
  EXPECT_FALSE(tally.AllGood());
  EXPECT_TRUE((SessionTally{2, 1, 0, 0, 1, 0}).AllGood());
}

}  // namespace
}  // namespace mox::host
