// Console input and control events on Windows: what key presses ask for,
// a key typed into the console ending the loop's wait, which signal each
// control event stands for, and a Ctrl-Break reaching the loop's ending
// state.
#include "app/platform_windows.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <vector>

#include "app/console_keys.h"
#include "app/platform.h"

namespace {

INPUT_RECORD key(char typed, bool pressed) {
  INPUT_RECORD record{};
  record.EventType = KEY_EVENT;
  record.Event.KeyEvent.bKeyDown = pressed ? TRUE : FALSE;
  record.Event.KeyEvent.wRepeatCount = 1;
  record.Event.KeyEvent.uChar.AsciiChar = typed;
  return record;
}

TEST(ConsoleInput, KeyPressesAskForTheirTables) {
  INPUT_RECORD mouse{};
  mouse.EventType = MOUSE_EVENT;
  struct Case {
    std::vector<INPUT_RECORD> records;
    unsigned requests;
  };
  const Case cases[] = {
      {{key('h', true)}, HEARD_STATIONS},
      {{key('l', true), key('l', false)}, HEARD_LINKS},
      {{key('n', false)}, 0},
      {{mouse, key('?', true), key('N', true)}, CONSOLE_REQUEST_KEYS | HEARD_ROUTES},
      {{key('x', true), key('\r', true)}, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(console_requests_from_input(c.records.data(), c.records.size()), c.requests);
}

// The test's own console input in place of standard input, as an
// interactive client has it; a key is written into it as if typed.
TEST(ConsoleInput, KeyTypedEndsTheWaitAndIsAnswered) {
  if (GetConsoleWindow() == nullptr) AllocConsole();
  const HANDLE input =
      CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  // windows/console-input runs it where a console must be.
  if (input == INVALID_HANDLE_VALUE && std::getenv("PELLARIN_WINDOWS_CONSOLE") != nullptr)
    FAIL() << "no console input (error " << GetLastError() << ")";
  if (input == INVALID_HANDLE_VALUE)
    GTEST_SKIP() << "no console input (error " << GetLastError() << ")";
  const HANDLE standard_input = GetStdHandle(STD_INPUT_HANDLE);
  SetStdHandle(STD_INPUT_HANDLE, input);
  FlushConsoleInputBuffer(input);
  ASSERT_TRUE(start_network());
  const NetSocket socket = open_udp_socket("Socket");
  ASSERT_NE(socket, NO_SOCKET);
  ASSERT_TRUE(bind_local_port(socket, 0));
  ASSERT_TRUE(take_console_keys());

  const INPUT_RECORD typed[] = {key('l', true), key('l', false)};
  DWORD written = 0;
  ASSERT_NE(WriteConsoleInputA(input, typed, 2, &written), 0);
  const DWORD start = GetTickCount();
  EXPECT_FALSE(wait_for_datagram(socket, std::chrono::seconds(3)));
  EXPECT_LT(GetTickCount() - start, 1000U);
  EXPECT_EQ(take_console_requests(), HEARD_LINKS);
  EXPECT_EQ(take_console_requests(), 0U);

  // The read loop's pause ends at a key as well.
  const INPUT_RECORD question[] = {key('?', true)};
  ASSERT_NE(WriteConsoleInputA(input, question, 1, &written), 0);
  const DWORD paused = GetTickCount();
  wait_for_console_keys(std::chrono::seconds(3));
  EXPECT_LT(GetTickCount() - paused, 1000U);
  EXPECT_EQ(take_console_requests(), CONSOLE_REQUEST_KEYS);

  give_back_console_keys();
  close_socket(socket);
  SetStdHandle(STD_INPUT_HANDLE, standard_input);
  CloseHandle(input);
}

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
