#include "tools/command_parser.h"

#include <gtest/gtest.h>

#include <sstream>

namespace mox::host {
namespace {

HostCommand Parse(std::string_view line) {
  ParsedLine parsed = ParseCommandLine(line);
  EXPECT_EQ(parsed.error, "") << line;
  EXPECT_TRUE(parsed.command.has_value()) << line;
  return parsed.command.value_or(HostCommand{});
}

std::string ErrorOf(std::string_view line) {
  const ParsedLine parsed = ParseCommandLine(line);
  EXPECT_FALSE(parsed.command.has_value()) << line;
  return parsed.error;
}

TEST(CommandParser, RecordCommandsBuildTheirPayloads) {
  EXPECT_EQ(Parse("getdata 42").Payload(),
            "\x01"
            "42");
  EXPECT_EQ(Parse("  GetState\tABC  \r\n").Payload(),
            "\x02"
            "ABC");
  // The state travels as one byte before the ID.
  EXPECT_EQ(Parse("setstate 42 1").Payload(),
            "\x03\x01"
            "42");
  EXPECT_EQ(Parse("setstate 42 255").Payload(),
            "\x03\xff"
            "42");
  EXPECT_EQ(Parse("setstate 42 0").Payload(), std::string("\x03\x00"
                                                          "42",
                                                          4));
  EXPECT_EQ(Parse("setstate 42 0x10").Payload(),
            "\x03\x10"
            "42");
  EXPECT_EQ(Parse("getdata 42").verb, "getdata");
}

TEST(CommandParser, RecordCommandsRejectWrongArguments) {
  EXPECT_NE(ErrorOf("getdata"), "");
  EXPECT_NE(ErrorOf("getdata 1 2"), "");
  EXPECT_NE(ErrorOf("setstate 42"), "");
  EXPECT_NE(ErrorOf("setstate 42 256"), "");
  EXPECT_NE(ErrorOf("setstate 42 -1"), "");
  EXPECT_NE(ErrorOf("setstate 42 1x"), "");
  EXPECT_NE(ErrorOf("setstate 42 1 2"), "");
  EXPECT_NE(ErrorOf("fetch 42"), "");
  EXPECT_NE(ErrorOf("quit now"), "");
}

TEST(CommandParser, BlockingListsPassAsTyped) {
  const HostCommand command = Parse("blockings-setlink   \"OfficeID=Main office\", LinkNumber=3  ");
  EXPECT_EQ(command.code, 12);
  EXPECT_EQ(command.text, "\"OfficeID=Main office\", LinkNumber=3");
  EXPECT_EQ(Parse("blockings-getdata OfficeID=7,BlockNumber=12").Payload(),
            "\x0a"
            "OfficeID=7,BlockNumber=12");
  EXPECT_EQ(Parse("blockings-setpwd a=1").code, 11);
  EXPECT_EQ(Parse("blockings-getdata").Payload(), "\x0a");
  EXPECT_NE(ErrorOf("blockings-getdata \"OfficeID=7"), "");
  // Read by the comma-text rules this is two entries, OfficeID="Main and office": refused.
  EXPECT_NE(ErrorOf("blockings-setlink OfficeID=\"Main office\""), "");
  EXPECT_NE(ErrorOf("blockings-setlink a=b\"c"), "");
}

TEST(CommandParser, RawSendsAnyCodeWithEscapes) {
  const HostCommand odd = Parse("raw 5 a\\x00b\\s");
  EXPECT_EQ(odd.code, 5);
  EXPECT_EQ(odd.text, std::string("a\0b ", 4));
  EXPECT_EQ(Parse("raw 0").Payload(), std::string(1, '\0'));
  EXPECT_EQ(Parse("raw 0xff x").Payload(),
            "\xff"
            "x");
  EXPECT_EQ(Parse("raw 1").Payload(), "\x01");
  EXPECT_NE(ErrorOf("raw"), "");
  EXPECT_NE(ErrorOf("raw 256 x"), "");
  EXPECT_NE(ErrorOf("raw 1 bad\\q"), "");
}

TEST(CommandParser, BlankLinesCommentsHelpAndQuit) {
  for (const char* line : {"", "   ", "# a comment", "  #getdata 1", "\r"}) {
    const ParsedLine parsed = ParseCommandLine(line);
    EXPECT_FALSE(parsed.command.has_value()) << line;
    EXPECT_EQ(parsed.error, "") << line;
  }
  EXPECT_EQ(Parse("help").kind, CommandKind::kHelp);
  EXPECT_EQ(Parse("QUIT").kind, CommandKind::kQuit);
  EXPECT_EQ(Parse("exit").kind, CommandKind::kQuit);
}

TEST(CommandParser, ScriptsReportErrorsByLine) {
  std::istringstream in("# checks\r\ngetdata 1\r\n\r\nsetstate 2\nblockings-getdata a=1\nnope\n");
  const CommandScript script = ReadCommandScript(in);
  ASSERT_EQ(script.commands.size(), 2u);
  EXPECT_EQ(script.commands[0].Payload(),
            "\x01"
            "1");
  EXPECT_EQ(script.commands[1].Payload(),
            "\x0a"
            "a=1");
  ASSERT_EQ(script.errors.size(), 2u);
  EXPECT_EQ(script.errors[0].rfind("line 4: ", 0), 0u) << script.errors[0];
  EXPECT_EQ(script.errors[1].rfind("line 6: ", 0), 0u) << script.errors[1];
}

}  // namespace
}  // namespace mox::host
