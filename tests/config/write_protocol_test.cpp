#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "config_test_fixture.h"
#include "log/program_log.h"

namespace mox {
namespace {

using Lines = std::vector<std::string>;
using namespace std::chrono_literals;

class WriteProtocolTest : public test::ConfigTest {};

TEST_F(WriteProtocolTest, JoinsTheLinesOfAMultiLineTextIntoOneLogLine) {
  WriteProtocol("a\r\nb\r\n");
  WriteProtocol("a\r\n\r\nb\rc\nd");
  WriteProtocol("only\r\n");
  WriteProtocol("\r\n");
  WriteProtocol("plain");
  EXPECT_EQ(LogLines(), (Lines{"a\\nb", "a\\n\\nb\\nc\\nd", "only", "", "plain"}));
}

TEST_F(WriteProtocolTest, ATextWithoutCrLfIsLoggedUnchanged) {
  WriteProtocol("a\nb");
  WriteProtocol("c\rd\n\r");
  EXPECT_EQ(LogLines(), (Lines{"a\nb", "c\rd\n\r"}));
}

TEST_F(WriteProtocolTest, LogsNothingWhileProtocolIsOff) {
  SetProtocol(false);
  WriteProtocol("hidden");
  WriteProtocol("hidden\r\ntoo");
  SetProtocol(true);
  WriteProtocol("shown");
  EXPECT_EQ(LogLines(), Lines{"shown"});
}

TEST_F(WriteProtocolTest, TakesTheLockOnlyWhileProtocolIsOn) {
  std::future<void> silent, waiting;
  // Held here as a writer of the log would hold it.
  Mutex& held = gProgramLog.lock();
  held.Lock();
  SetProtocol(false);
  silent = std::async(std::launch::async, [] { WriteProtocol("off"); });
  EXPECT_EQ(silent.wait_for(10s), std::future_status::ready);

  SetProtocol(true);
  waiting = std::async(std::launch::async, [] { WriteProtocol("on"); });
  EXPECT_EQ(waiting.wait_for(200ms), std::future_status::timeout);
  EXPECT_TRUE(LogLines().empty());
  held.Unlock();
  EXPECT_EQ(waiting.wait_for(10s), std::future_status::ready);
  EXPECT_EQ(LogLines(), Lines{"on"});
}

// The switch and the joining do not depend on the log's sinks: a detail line goes nowhere while
// the log is closed, and the next one after it opens again arrives joined.
TEST_F(WriteProtocolTest, GoesNowhereWhileTheLogIsClosedAndOnAfterItOpensAgain) {
  gProgramLog.Close();
  WriteProtocol("lost");
  OpenLog();
  WriteProtocol("x\r\ny");
  EXPECT_EQ(LogLines(), Lines{"x\\ny"});
}

}  // namespace
}  // namespace mox
