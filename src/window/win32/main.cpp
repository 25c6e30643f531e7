// tessaplan on Windows: answers --help and --version on the console it was started from, or
// shows the window.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// After windows.h:
#include <commctrl.h>
#include <objbase.h>

#include <string>

#include "system/windows/text.h"
#include "window/shared/command_line.h"
#include "window/win32/form1.h"

namespace {

// A program of the Windows subsystem has no console of its own: it writes to where its output
// goes (a pipe or a file), else to the console of the program that started it.
void Print(DWORD which, const std::string& text) {
  if (text.empty()) {
    return;
  }
  HANDLE out = ::GetStdHandle(which);
  if (!out || out == INVALID_HANDLE_VALUE) {
    if (!::AttachConsole(ATTACH_PARENT_PROCESS) && ::GetLastError() != ERROR_ACCESS_DENIED) {
      return;
    }
    out = ::CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                        nullptr);
  }
  sys::WriteText(out, text);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show_command) {
  const window::CommandLineAnswer answer = window::AnswerCommandLine(sys::CommandLineArguments());
  if (answer.status >= 0) {
    Print(STD_OUTPUT_HANDLE, answer.output);
    Print(STD_ERROR_HANDLE, answer.error);
    return answer.status;  // --help or --version, without a window
  }
  // For the accessible description of the Run button.
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const INITCOMMONCONTROLSEX controls = {sizeof controls,
                                         ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  ::InitCommonControlsEx(&controls);
  window::Form1 form(instance);
  form.Show(show_command);
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (!form.PreTranslate(message)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
  return static_cast<int>(message.wParam);
}
