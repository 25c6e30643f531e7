// The program's only window on Windows, with the Win32 API and the common controls: the same
// design as the Qt window (shared/form1_design.h), the same texts and the same progress rule.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <string>
#include <thread>

#include "grid/generate_grid.h"
#include "window/shared/run.h"

namespace window {

class Form1 {
 public:
  // Creates the window, hidden; Show() shows it. `instance` holds the icon.
  explicit Form1(HINSTANCE instance);
  ~Form1();
  Form1(const Form1&) = delete;
  Form1& operator=(const Form1&) = delete;

  HWND hwnd() const { return hwnd_; }
  HWND Control(const char* name) const;
  void Show(int show_command);

  // Handles what the window does with keys before the control that has the focus: Tab moves
  // between controls, Enter on a focused button presses it, Enter in a field does nothing,
  // Escape in the progress dialog cancels. Returns true when `message` was handled.
  bool PreTranslate(MSG& message);

  // Places every control for `dpi` and the desktop's font, as WM_DPICHANGED does.
  void LayOut(unsigned dpi);

  // How long a run goes before its progress dialog may appear.
  void SetProgressDelay(int milliseconds) { progress_delay_ms_ = milliseconds; }
  bool Running() const { return worker_.joinable(); }
  HWND ProgressDialog() const { return progress_; }
  HWND Tooltip() const { return tooltip_; }

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK ProgressProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);

  void DescribeRunButton();
  void Run();
  void ShowHelp();
  void ShowContactInfo();
  void SetRunning(bool running);
  void Tick();
  void RunFinished();
  void Cancel();
  void ShowDone(std::uint64_t bytes);
  void CloseProgress();

  HINSTANCE instance_;
  HWND hwnd_ = nullptr;
  HFONT font_ = nullptr;
  HWND tooltip_ = nullptr;
  std::map<std::string, HWND> controls_;
  double scale_ = 1.0;
  std::wstring folder_;  // where Run writes, as messages show it

  int progress_delay_ms_ = 1000;
  HWND progress_ = nullptr;  // the progress dialog: its label, bar and button
  HWND progress_label_ = nullptr;
  HWND progress_bar_ = nullptr;
  HWND progress_button_ = nullptr;
  bool progress_done_ = false;
  HWND focus_before_run_ = nullptr;
  HWND focus_saved_ = nullptr;  // while the window is not active
  DWORD started_ = 0;

  // Shared with the worker thread.
  std::thread worker_;
  std::atomic<bool> cancelled_{false};
  std::atomic<std::uint64_t> bytes_done_{0};
  std::atomic<std::uint64_t> bytes_total_{0};
  std::atomic<bool> saving_{false};
  RunOutcome outcome_;  // written by the worker, read once it has been joined
};

// The user's decimal separator, for the fields: a single ASCII character, else '.'.
char UserDecimalSeparator();

}  // namespace window
