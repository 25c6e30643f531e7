// The program's only window on Windows, with the Win32 API and the common controls: the same
// design as the Qt window (shared/form1_design.h), the same texts and the same progress rule.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <array>
#include <string>

#include "window/shared/form1_design.h"
#include "window/shared/run.h"

namespace window {

// Each control's ID, which its WM_COMMAND carries: none is IDOK or IDCANCEL, which Enter and
// Escape send.
inline int ControlId(Control control) {
  return 100 + static_cast<int>(control);
}

class Form1 : private RunView {
 public:
  // Creates the window, hidden; Show() shows it. `instance` holds the icon.
  explicit Form1(HINSTANCE instance);
  ~Form1();
  Form1(const Form1&) = delete;
  Form1& operator=(const Form1&) = delete;

  HWND hwnd() const { return hwnd_; }
  void Show(int show_command);

  // Handles what the window does with keys before the control that has the focus: Tab moves
  // between controls, Enter on a focused button presses it, Enter in a field does nothing,
  // Escape in the progress dialog cancels. Returns true when `message` was handled.
  bool PreTranslate(MSG& message);

  // How long a run goes before its progress dialog may appear.
  void SetProgressDelay(int milliseconds) { controller_.SetProgressDelay(milliseconds); }

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK ProgressProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);
  // The window's messages, each by its own handler.
  void OnCommand(WPARAM wparam);
  LRESULT OnActivate(WPARAM wparam, LPARAM lparam);
  void OnDpiChanged(WPARAM wparam, LPARAM lparam);
  void OnClose();

  // Places every control for `dpi` and the desktop's font.
  void LayOut(unsigned dpi);
  HWND Item(Control control) const { return controls_[static_cast<std::size_t>(control)]; }
  grid::FieldTexts ReadTexts() const;
  void DescribeRun();
  void MakeControls();
  void ShowHelp();
  void ShowContactInfo();
  void MakeProgressDialog();
  void FitProgressLabel();

  // What a run asks of the window.
  void WakeOnWindowThread() override;
  void SetEnabled(Control control, bool enabled) override;
  std::optional<Control> FocusedControl() const override;
  void ClearFocus() override;
  void Focus(Control control, bool select_text) override;
  void StartTicker() override;
  void StopTicker() override;
  void ShowDialog(const ProgressDialogState& state) override;
  void AnnounceDone() override;
  bool WindowShown() const override;
  void ShowError(const std::string& text) override;
  bool AskToWrite(const std::string& question) override;

  HINSTANCE instance_;
  HWND hwnd_ = nullptr;
  // The window as runs tell it they have ended: set once, before any run, unlike hwnd_.
  HWND run_finished_to_ = nullptr;
  HFONT font_ = nullptr;
  HWND tooltip_ = nullptr;
  std::array<HWND, std::size(kControls)> controls_{};
  double scale_ = 1.0;
  std::wstring folder_;  // where Run writes, as messages show it

  RunController controller_{*this};
  HWND progress_ = nullptr;  // the progress dialog: its label, bar and button
  HWND progress_label_ = nullptr;
  HWND progress_bar_ = nullptr;
  HWND progress_button_ = nullptr;
  HWND focus_saved_ = nullptr;  // while the window is not active
};

// The user's decimal separator, for the fields: a single ASCII character, else '.'.
char UserDecimalSeparator();

}  // namespace window
