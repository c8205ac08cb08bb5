// What a host's texts can do to the log, and how long a command may be: texts holding line ends,
// NULs or a forged time stamp never make a line of their own, passwords never show, and a command
// over its size limit is refused before it is queued.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <regex>
#include <thread>

#include "reliability_support.h"

namespace mox::test {
namespace {

// Every record of the log files as written: it must be a time stamp, a text without control bytes
// (TAB aside) and CR LF.
std::vector<std::string> BrokenRecords(const PluginHost& host) {
  static const std::regex kRecord(
      "[0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3} [^\\x00-\\x08\\x0A-\\x1F\\x7F]*");
  std::vector<std::string> broken;
  for (const std::string& file : host.LogFiles()) {
    const std::string contents = ReadFile(file);
    std::size_t start = 0;
    while (start < contents.size()) {
      std::size_t end = contents.find("\r\n", start);
      if (end == std::string::npos) end = contents.size();
      const std::string record = contents.substr(start, end - start);
      if (!std::regex_match(record, kRecord)) broken.push_back(record);
      start = end + 2;
    }
  }
  return broken;
}

class LogLineTest : public ::testing::Test {
 protected:
  void Start(const std::string& extra_settings = "") {
    host_ = std::make_unique<PluginHost>(UniqueLibraryName(), &settings_);
    if (!extra_settings.empty()) {
      WriteFile(host_->settings_path(), ReadFile(host_->settings_path()) + extra_settings);
    }
    host_->Load();
    host_->Init();
  }

  Reply Ask(const std::string& payload) {
    const std::size_t before = host_->ReplyCount();
    host_->Command(static_cast<int32_t>(before), payload);
    if (!host_->WaitForReplies(before + 1, 20s)) return Reply{};
    return host_->Replies()[before];
  }

  SampleDatabase db_;
  PluginSettings settings_ = SettingsFor(db_);
  std::unique_ptr<PluginHost> host_;
};

TEST_F(LogLineTest, HostileTextsInEveryLoggedPathStayInsideTheirLine) {
  Start();
  struct Hostile {
    std::string text;
    std::string logged;
  };
  const Hostile hostiles[] = {
      {"a\rb", "a\\x0Db"},
      {"a\nb", "a\\x0Ab"},
      {"a\r\nb", "a\\x0D\\x0Ab"},
      {std::string("a\0b", 3), "a\\x00b"},
      {"a\x7F"
       "b\tc",
       "a\\x7Fb\tc"},
      {"X\r\n12:00:00.000 Finalize_Plugin", "X\\x0D\\x0A12:00:00.000 Finalize_Plugin"},
  };
  for (const Hostile& h : hostiles) {
    SCOPED_TRACE(h.logged);
    // The command lines of codes 1 to 3 and of an unknown code, the procedure lines with the ID.
    Ask(Payload(1, h.text));
    Ask(Payload(2, h.text));
    Ask(Payload(3, "\x01" + h.text));
    host_->Command(-1, Payload(5, h.text));
    // A request-list entry, and a value the database stores and reads back.
    Ask(Payload(12,
                "OfficeID=7,BlockNumber=12,BlockNumberPWD=secret,\"LinkNumber=" + h.text + "\""));
    Ask(Payload(10, "OfficeID=7,BlockNumber=12,BlockNumberPWD=secret"));
    // Passwords hidden whatever the code carries them under.
    Ask(Payload(1, "\"BlockNumberPWD=" + h.text + "\""));
    Ask(Payload(11, "OfficeID=7,BlockNumber=12,BlockNumberPWD=wrong,\"BlockNumberPWDNew=" + h.text +
                        "\"" + ",Result=1"));

    const auto lines = host_->LogLines();
    for (const char* part :
         {"MSG: ", "MSG_GETDATABYID(", "DBGetDataByID(ID=", "MSG_GETMODIFIEDSTATEBYID(",
          "DBGetModifiedStateByID(ID=", "MSG_SETMODIFIEDSTATEBYID(1, ",
          "DBSetModifiedStateByID(ID=", "unknown msg: 5 = "}) {
      EXPECT_TRUE(HasLineContaining(lines, part + h.logged)) << part;
    }
    EXPECT_TRUE(HasLineContaining(lines, "MSG_GETDATABYID(\"BlockNumberPWD=***\")"));
    // Comma text ends at a NUL: such a list is refused, and all after its first "=" is hidden.
    if (h.text.find('\0') != std::string::npos) continue;
    EXPECT_TRUE(HasLineContaining(lines,
                                  "MSG_BLOCKINGS_SETLINK(OfficeID=7,BlockNumber=12,"
                                  "BlockNumberPWD=***,\"LinkNumber=" +
                                      h.logged + "\")"));
    // Read back from the database by code 10.
    EXPECT_TRUE(HasLineContaining(
        lines,
        "Data=OfficeID=7,BlockNumber=12,BlockNumberPWD=***,\"LinkNumber=" + h.logged + "\""));
    EXPECT_TRUE(HasLineContaining(lines, "\"BlockNumberPWDNew=***\",Result=1)"));
  }
  host_->Finalize();
  EXPECT_EQ(BrokenRecords(*host_), std::vector<std::string>{});
  const auto lines = host_->LogLines();
  // One Finalize_Plugin line, the real one, and no password anywhere.
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Finalize_Plugin"), 1);
  EXPECT_EQ(lines.back(), "Finalize_Plugin");
  EXPECT_FALSE(HasLineContaining(lines, "secret"));
}

TEST_F(LogLineTest, CommandsOverTheirSizeLimitAreRefusedBeforeTheyAreCopied) {
  Start("[Queue]\r\nMaxCommandBytes=4096\r\n");
  const std::string list = "OfficeID=7,BlockNumber=12,BlockNumberPWD=secret,LinkNumber=";
  struct Case {
    uint8_t code;
    std::size_t text_bytes;
    bool refused;
    uint64_t limit;
  };
  const Case cases[] = {
      {1, 32765, false, 32765},  {1, 32766, true, 32765},  {2, 32765, false, 32765},
      {2, 40000, true, 32765},   {3, 32766, false, 32766}, {3, 32767, true, 32766},
      {10, 4096, false, 4096},   {11, 4097, true, 4096},   {12, 4096, false, 4096},
      {12, 1 << 20, true, 4096}, {5, 4097, true, 4096},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.code) + " with " + std::to_string(c.text_bytes) + " bytes");
    std::string text = c.code >= 10 ? list : (c.code == 3 ? "\x01" : "");
    text.resize(c.text_bytes, 'x');
    const std::string refusal = "Command_Plugin:: FAIL: message " + std::to_string(c.code) +
                                " with " + std::to_string(c.text_bytes) +
                                " bytes of command text refused, its limit is " +
                                std::to_string(c.limit) + " bytes";
    const std::string long_run(100, 'x');
    const std::size_t logged_before = CountLinesContaining(host_->LogLines(), long_run);
    const std::size_t before = host_->ReplyCount();
    host_->Command(static_cast<int32_t>(before), Payload(c.code, text));
    // A refusal is answered in its turn, by the worker, with the code alone.
    if (c.code != 5) {
      ASSERT_TRUE(host_->WaitForReplies(before + 1, 20s));
      const Reply reply = host_->Replies()[before];
      EXPECT_EQ(reply.tag, static_cast<int32_t>(before));
      EXPECT_NE(reply.thread, std::this_thread::get_id());
      if (c.refused) {
        EXPECT_EQ(reply.bytes, std::string(1, static_cast<char>(c.code)));
      }
    }
    Ask(Payload(2, "ABC"));  // everything before it was handled
    const auto lines = host_->LogLines();
    EXPECT_EQ(CountLinesContaining(lines, refusal), c.refused ? 1u : 0u);
    // A refused command is neither handled nor logged whole.
    if (c.refused) {
      EXPECT_EQ(CountLinesContaining(lines, long_run), logged_before);
    }
  }
  // Refusals are only logged: the worker carries on.
  EXPECT_EQ(Ask(Payload(2, "XYZ")).bytes.size(), 2u);
}

}  // namespace
}  // namespace mox::test
