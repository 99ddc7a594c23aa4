#include "common/stop_signals.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>

namespace kabuka {
namespace {

void countingHandler(int) {}

struct sigaction actionOf(int signalNumber) {
  struct sigaction action = {};
  ::sigaction(signalNumber, nullptr, &action);
  return action;
}

void setAction(int signalNumber, void (*handler)(int)) {
  struct sigaction action = {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  ::sigaction(signalNumber, &action, nullptr);
}

TEST(StopSignals, CountsSignalsAndGivesBackThePreviousActions) {
  setAction(SIGTERM, &countingHandler);
  setAction(SIGINT, SIG_DFL);
  int calls = 0;
  {
    const StopSignals catcher({SIGINT, SIGTERM}, [&calls] { ++calls; });
    ASSERT_TRUE(catcher.installed());
    std::raise(SIGTERM);
    std::raise(SIGINT);
    EXPECT_EQ(StopSignals::caught(), 2) << "seen without the event loop";
  }
  EXPECT_EQ(actionOf(SIGTERM).sa_handler, &countingHandler);
  EXPECT_EQ(actionOf(SIGINT).sa_handler, SIG_DFL);
  setAction(SIGTERM, SIG_DFL);
}

TEST(StopSignals, KeepsAnInheritedIgnoreOfSigint) {
  setAction(SIGINT, SIG_IGN);
  {
    const StopSignals catcher({SIGINT, SIGTERM}, [] {});
    EXPECT_EQ(actionOf(SIGINT).sa_handler, SIG_IGN);
    EXPECT_NE(actionOf(SIGTERM).sa_handler, SIG_DFL);
    std::raise(SIGINT);
    EXPECT_EQ(StopSignals::caught(), 0);
  }
  EXPECT_EQ(actionOf(SIGINT).sa_handler, SIG_IGN);
  setAction(SIGINT, SIG_DFL);
}

// The handler's write fails once the socket pair is full, and a failing write sets
// errno; the code the signal interrupted must not see that.
TEST(StopSignals, LeavesErrnoAsTheInterruptedCodeHadIt) {
  const StopSignals catcher({SIGTERM}, [] {});
  ASSERT_TRUE(catcher.installed());
  for (int i = 0; i < 20000; ++i) {
    errno = EDOM;
    std::raise(SIGTERM);
    ASSERT_EQ(errno, EDOM) << "after " << i << " signals";
  }
}

}  // namespace
}  // namespace kabuka
