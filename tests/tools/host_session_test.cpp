// The session driven against the fake plug-in in this process.
#include "tools/host_session.h"

#include <gtest/gtest.h>

#include <sstream>

namespace mox::host {
namespace {

class HostSessionTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    module_ = PluginModule::Load(MOX_FAKE_PLUGIN_PATH, &error);
    ASSERT_TRUE(module_.has_value()) << error;
  }

  // Runs the commands in one session with the given time-out and returns the printout.
  std::string Run(std::initializer_list<const char*> lines, const std::string& timeout = "2",
                  bool expect_no_reply = false) {
    std::ostringstream out;
    SessionSettings settings{std::stod(timeout), timeout, expect_no_reply, false, {}};
    HostSession session(module_->Api(), settings, out);
    session.Start();
    for (const char* line : lines) session.Send(ParseCommandLine(line).command.value());
    session.Finish();
    tally_ = session.Tally();
    return out.str();
  }

  std::optional<PluginModule> module_;
  SessionTally tally_;
};

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST_F(HostSessionTest, AnswersInOrderAndCountsOutcomes) {
  const std::string out =
      Run({"getdata 42", "getstate fail", "blockings-getdata a=1,BlockNumberPWD=x"});
  EXPECT_EQ(out,
            "name: FakeMox\n"
            "#1 > getdata 42\n"
            "#1 < code 1 MSG_GETDATABYID: ok, state 1\n"
            "    text: \"data of 42\"\n"
            "#2 > getstate fail\n"
            "#2 < code 2 MSG_GETMODIFIEDSTATEBYID: failed\n"
            "#3 > blockings-getdata a=1,BlockNumberPWD=***\n"
            "#3 < code 10 MSG_BLOCKINGS_GETDATA: ok, 3 entries\n"
            "    a=1\n"
            "    BlockNumberPWD=***\n"
            "    Status=ok\n"
            "done: 3 commands, 2 ok, 1 failed, 0 without reply\n");
  EXPECT_FALSE(tally_.AllGood());
}

TEST_F(HostSessionTest, TimeOutsAndLateReplies) {
  // The fake answers "late" after 0.6 s: past the first time-out, within the next.
  const std::string out = Run({"getdata silent", "getdata late", "getdata 1"}, "0.4");
  EXPECT_TRUE(Contains(out, "#1 - code 1 MSG_GETDATABYID: no reply within 0.4 s\n")) << out;
  EXPECT_TRUE(Contains(out, "#2 - code 1 MSG_GETDATABYID: no reply within 0.4 s\n")) << out;
  // The late reply turns up while the next command waits, and is shown, marked, before it.
  EXPECT_TRUE(Contains(out,
                       "#2 (late) the reply below came after its time-out\n"
                       "#2 < code 1 MSG_GETDATABYID: ok, state 1\n"))
      << out;
  EXPECT_TRUE(Contains(out, "#3 < code 1 MSG_GETDATABYID: ok, state 1\n")) << out;
  EXPECT_EQ(tally_.missing, 2);
  EXPECT_EQ(tally_.ok, 1);
  EXPECT_EQ(tally_.anomalies, 0);
}

TEST_F(HostSessionTest, UnknownCodesWithAndWithoutExpectingNoReply) {
  Run({"raw 5 x"}, "0.1", true);
  EXPECT_EQ(tally_.missing_as_expected, 1);
  EXPECT_TRUE(tally_.AllGood());

  Run({"raw 5 x"}, "0.1", false);
  EXPECT_EQ(tally_.missing, 1);
  EXPECT_FALSE(tally_.AllGood());

  const std::string out = Run({"raw 5 answer"}, "0.5", true);
  EXPECT_TRUE(Contains(out, "#1 ! a reply came although none was expected\n")) << out;
  EXPECT_EQ(tally_.failed, 1);
  EXPECT_EQ(tally_.anomalies, 0);
}

TEST_F(HostSessionTest, BreachesOfTheCallingRulesAreFlagged) {
  std::string out = Run({"getstate twice", "getstate 2"});
  EXPECT_TRUE(Contains(out, "#1 ! a second reply came for this command\n")) << out;
  EXPECT_EQ(tally_.ok, 2);
  EXPECT_EQ(tally_.anomalies, 1);

  out = Run({"getstate wrongname"});
  EXPECT_TRUE(Contains(out, "#1 ! the reply carried the name \"SomebodyElse\"\n")) << out;
  EXPECT_EQ(tally_.failed, 1);
  EXPECT_EQ(tally_.anomalies, 0);
  EXPECT_FALSE(tally_.AllGood());
}

TEST_F(HostSessionTest, PromptSkipsBadLinesAndStopsAtQuit) {
  std::istringstream in("help\nbogus 1\n\ngetstate 7\nquit\ngetstate 8\n");
  std::ostringstream out;
  std::ostringstream err;
  HostSession session(module_->Api(), SessionSettings{}, out);
  session.Start();
  RunPrompt(session, in, out, err, false);
  session.Finish();
  EXPECT_EQ(err.str(), "error: unknown command \"bogus\" (try help)\n");
  EXPECT_TRUE(Contains(out.str(), "Commands:\n")) << out.str();
  EXPECT_TRUE(Contains(out.str(), "#1 > getstate 7\n")) << out.str();
  EXPECT_FALSE(Contains(out.str(), "getstate 8")) << out.str();
  EXPECT_EQ(session.Tally().sent, 1);
}

}  // namespace
}  // namespace mox::host
