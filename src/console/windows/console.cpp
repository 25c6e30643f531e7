#ifndef NOMINMAX
#define NOMINMAX
#endif
#include "console/console.h"

#include <windows.h>

#include <atomic>

#include "console/windows/console_events.h"
#include "system/windows/text.h"

namespace console {
namespace {

std::atomic<DWORD> stop_event{~DWORD{0}};

}  // namespace

// Runs on a thread of the system's.
BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
    return FALSE;
  }
  stop_event = event;
  if (event == CTRL_CLOSE_EVENT) {
    ::Sleep(INFINITE);
  }
  return TRUE;
}

// argv holds the command line in the ANSI code page, which cannot hold every character: it is
// taken as typed, in UTF-16, instead.
std::vector<std::string> Arguments(int, char**) {
  return sys::CommandLineArguments();
}

void CatchStopRequests() {
  ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

namespace {

// Set as the program is loaded, before main: a Ctrl+C that comes before the handler meets the
// system's default, which ends the process (under Wine with status 0, no word said, nothing
// written). Set so, it is a stop request that the run, once it starts, answers as any other.
const bool kCaughtFromTheStart = (CatchStopRequests(), true);

}  // namespace

bool StopRequested() {
  return stop_event != ~DWORD{0};
}

std::string StopName() {
  return stop_event == CTRL_C_EVENT       ? "Ctrl+C"
         : stop_event == CTRL_BREAK_EVENT ? "Ctrl+Break"
                                          : "closing the console";
}

int CancelledStatus() {
  return 130;
}

std::string StopsHelp() {
  return "130 after Ctrl+C, Ctrl+Break or closing the console, which leave\n"
         "the file as it was.";
}

std::error_code PrintOutput(const std::string& text) {
  if (!sys::WriteText(::GetStdHandle(STD_OUTPUT_HANDLE), text)) {
    return sys::SystemError(::GetLastError());
  }
  return {};
}

void PrintError(const std::string& text) {
  sys::WriteText(::GetStdHandle(STD_ERROR_HANDLE), text);
}

namespace {

bool IsConsole(DWORD which) {
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(which), &mode) != 0;
}

}  // namespace

bool ErrorIsTerminal() {
  return IsConsole(STD_ERROR_HANDLE);
}

void Exit(int status) {
  ::ExitProcess(static_cast<UINT>(status));
}

}  // namespace console
