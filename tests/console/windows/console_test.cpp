// What the console programs take from a Windows console, sent as Wine cannot send it: the
// console's events to the handler, and a console handle (the tests run without a console under
// Wine) for standard output and error.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include "console/console.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "console/windows/console_events.h"
#include "file/streams.h"
#include "support/temp_dir_test.h"

namespace console {
namespace {

// Ctrl+C and Ctrl+Break are stop requests the handler takes and returns from; closing the
// console is one it holds, since the system ends the process once it returns, before the run
// could cancel. Other events are left to the system.
TEST(ConsoleEventsTest, StopsARunAndHoldsAClosingConsole) {
  EXPECT_FALSE(OnConsoleEvent(CTRL_LOGOFF_EVENT));
  EXPECT_FALSE(StopRequested());
  EXPECT_TRUE(OnConsoleEvent(CTRL_BREAK_EVENT));
  EXPECT_EQ(StopName(), "Ctrl+Break");
  EXPECT_TRUE(OnConsoleEvent(CTRL_C_EVENT));
  EXPECT_EQ(StopName(), "Ctrl+C");
  EXPECT_TRUE(StopRequested());
  EXPECT_EQ(CancelledStatus(), 130);

  HANDLE closing = ::CreateThread(
      nullptr, 0, [](void*) -> DWORD { return OnConsoleEvent(CTRL_CLOSE_EVENT) ? 1u : 0u; },
      nullptr, 0, nullptr);
  ASSERT_NE(closing, nullptr);
  for (int tries = 0; StopName() != "closing the console" && tries < 6000; ++tries) {
    ::Sleep(10);  // polled: the thread takes the event in its own time
  }
  EXPECT_EQ(StopName(), "closing the console");
  // Still held a while later, generously for a loaded machine: the process is not ended under
  // the run. (The thread ends with the test program.)
  EXPECT_EQ(::WaitForSingleObject(closing, 2000), WAIT_TIMEOUT);
  ::CloseHandle(closing);
}

// A console is told from a file: on a console the progress line is drawn on standard error,
// and a grid shown on it keeps the progress line off.
class ConsoleHandleTest : public testing_support::TempDirTest {};

TEST_F(ConsoleHandleTest, TellsAConsoleFromAFile) {
  const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
  const HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
  // A console of the test's own: Wine gives its tests none that works.
  ::FreeConsole();
  ASSERT_TRUE(::AllocConsole()) << ::GetLastError();
  HANDLE console =
      ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(console, INVALID_HANDLE_VALUE);
  HANDLE file = ::CreateFileW((dir() / "out.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  for (const auto& [handle, is_console] : {std::pair{console, true}, std::pair{file, false}}) {
    ::SetStdHandle(STD_OUTPUT_HANDLE, handle);
    ::SetStdHandle(STD_ERROR_HANDLE, handle);
    EXPECT_EQ(ErrorIsTerminal(), is_console);
    EXPECT_EQ(file::StandardOutput(false).terminal, is_console);
  }
  ::SetStdHandle(STD_OUTPUT_HANDLE, output);
  ::SetStdHandle(STD_ERROR_HANDLE, error);
  ::CloseHandle(file);
  ::CloseHandle(console);
  ::FreeConsole();
}

}  // namespace
}  // namespace console
