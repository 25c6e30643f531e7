#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// After windows.h:
#include <shellapi.h>

#include <atomic>

#include "console.h"

namespace console {
namespace {

std::atomic<DWORD> stop_event{~DWORD{0}};

std::string Utf8(const wchar_t* text) {
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(size > 0 ? size - 1 : 0), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), size, nullptr, nullptr);
  return utf8;
}

// Runs on a thread of the system's. For a closing console the system ends the process as soon
// as this returns: it waits instead, while the run cancels and the process exits on its own.
BOOL WINAPI Stop(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
    return FALSE;
  }
  stop_event = event;
  if (event == CTRL_CLOSE_EVENT) {
    ::Sleep(INFINITE);
  }
  return TRUE;
}

}  // namespace

// The command line as typed, in UTF-8: argv holds it in the ANSI code page, which cannot hold
// every character.
std::vector<std::string> Arguments(int, char**) {
  int count = 0;
  wchar_t** arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  std::vector<std::string> utf8;
  for (int i = 0; i < count; ++i) {
    utf8.push_back(Utf8(arguments[i]));
  }
  ::LocalFree(arguments);
  return utf8;
}

void CatchStopRequests() {
  ::SetConsoleCtrlHandler(Stop, TRUE);
}

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

// A console shows UTF-16, whatever its code page; a file or pipe gets the UTF-8 bytes.
void PrintError(const std::string& text) {
  const HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  DWORD written = 0;
  if (::GetConsoleMode(error, &mode)) {
    const int size =
        ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                          size);
    ::WriteConsoleW(error, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
  } else {
    ::WriteFile(error, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  }
}

void Exit(int status) {
  ::ExitProcess(static_cast<UINT>(status));
}

}  // namespace console
