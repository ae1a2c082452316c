// Console control events on Windows: which signal each stands for, and a
// Ctrl-Break reaching the loop's ending state.
#include <windows.h>

#include <gtest/gtest.h>

#include <csignal>

#include "app/platform.h"
#include "app/platform_windows.h"

namespace {

TEST(ConsoleEvents, EachEndingEventStandsForItsSignal) {
  EXPECT_EQ(signal_for_console_event(CTRL_C_EVENT), SIGINT);
  EXPECT_EQ(signal_for_console_event(CTRL_BREAK_EVENT), SIGTERM);
  EXPECT_EQ(signal_for_console_event(CTRL_CLOSE_EVENT), 1);
  EXPECT_EQ(signal_for_console_event(CTRL_LOGOFF_EVENT), 0);
  EXPECT_EQ(signal_for_console_event(CTRL_SHUTDOWN_EVENT), 0);
}

TEST(ConsoleEvents, CtrlBreakEndsTheWaitWithSigterm) {
  install_ending_handlers();
  // A test run with its output redirected may have no console of its own.
  if (GetConsoleWindow() == nullptr) AllocConsole();
  if (GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, 0) == 0)
    GTEST_SKIP() << "no console to send Ctrl-Break to (error " << GetLastError() << ")";
  for (int waited = 0; waited < 5000 && ending_signal() == 0; waited += 10) Sleep(10);
  EXPECT_EQ(ending_signal(), SIGTERM);
  // With the client told to end, a sleep returns at once.
  const DWORD start = GetTickCount();
  sleep_milliseconds(3000);
  EXPECT_LT(GetTickCount() - start, 1000U);
}

}  // namespace
