#include "window/win32/form1.h"

#include <commctrl.h>
#include <initguid.h>
// After initguid.h, which makes it define the identifiers it declares:
#include <oleacc.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "file/shown_text.h"
#include "system/windows/text.h"
#include "window/shared/form1_design.h"
#include "window/shared/progress_rule.h"
#include "window/shared/run.h"
#include "window/shared/texts.h"

namespace window {
namespace {

using sys::Utf16;
using sys::Utf8;

constexpr wchar_t kFormClass[] = L"tessaplanForm1";
constexpr wchar_t kProgressClass[] = L"tessaplanProgress";
// The classic dialog font, which maps to the system's own dialog face.
constexpr wchar_t kFontFace[] = L"MS Shell Dlg 2";
constexpr UINT kRunFinished = WM_APP + 1;
constexpr UINT_PTR kTicker = 1;
// The progress dialog's layout, in twips like the form's.
constexpr int kProgressWidthTwips = 5400;
constexpr TwipRect kProgressLabel = {180, 180, 5040, 600};
constexpr TwipRect kProgressBar = {180, 840, 5040, 300};
constexpr TwipRect kProgressButton = {4245, 1320, 975, 375};
constexpr int kProgressHeightTwips = 1860;

// The calls of Windows 10 for a window's own DPI, where there are any; the system's DPI on
// older systems, which scale the whole window instead.
unsigned WindowDpi(HWND hwnd) {
  using GetDpiForWindowCall = UINT(WINAPI*)(HWND);
  static const auto get_dpi = reinterpret_cast<GetDpiForWindowCall>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (get_dpi && hwnd) {
    return get_dpi(hwnd);
  }
  const HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  return static_cast<unsigned>(dpi);
}

// The window's frame around a client area of this size, as the system reckons it for `dpi`.
RECT WindowRectFor(HWND hwnd, int client_width, int client_height, unsigned dpi) {
  using AdjustForDpiCall = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
  static const auto adjust_for_dpi = reinterpret_cast<AdjustForDpiCall>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi")));
  const auto style = static_cast<DWORD>(::GetWindowLongPtrW(hwnd, GWL_STYLE));
  const auto extended = static_cast<DWORD>(::GetWindowLongPtrW(hwnd, GWL_EXSTYLE));
  RECT rect = {0, 0, client_width, client_height};
  if (adjust_for_dpi) {
    adjust_for_dpi(&rect, style, FALSE, extended, dpi);
  } else {
    ::AdjustWindowRectEx(&rect, style, FALSE, extended);
  }
  return rect;
}

// Sizes `hwnd` so that its client area comes out exactly this size. The frame the system draws
// may differ from the one it reckons with for `dpi` (a window manager's under Wine, a dialog
// frame): what the window shows is measured and the difference made up.
void SizeClientArea(HWND hwnd, int client_width, int client_height, unsigned dpi) {
  const RECT frame = WindowRectFor(hwnd, client_width, client_height, dpi);
  int width = frame.right - frame.left;
  int height = frame.bottom - frame.top;
  for (int attempt = 0; attempt < 2; ++attempt) {
    RECT client{};
    ::GetClientRect(hwnd, &client);
    if (client.right == client_width && client.bottom == client_height) {
      return;
    }
    ::SetWindowPos(hwnd, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::GetClientRect(hwnd, &client);
    width += client_width - client.right;
    height += client_height - client.bottom;
  }
}

// The desktop's interface font size in points: the message font, which "Make text bigger" and
// the display settings grow.
double DesktopFontPoints() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (!::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0) ||
      metrics.lfMessageFont.lfHeight == 0) {
    return 9;
  }
  const long height = metrics.lfMessageFont.lfHeight;
  return (height < 0 ? -height : height) * 72.0 / WindowDpi(nullptr);
}

void Place(HWND control, const TwipRect& twips, unsigned dpi, double scale) {
  ::SetWindowPos(control, nullptr, TwipsToPixels(twips.left, dpi, scale),
                 TwipsToPixels(twips.top, dpi, scale), TwipsToPixels(twips.width, dpi, scale),
                 TwipsToPixels(twips.height, dpi, scale), SWP_NOZORDER | SWP_NOACTIVATE);
}

std::wstring WindowText(HWND hwnd) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(::GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return text;
}

// The room `text` takes in `window`'s font, laid out by DrawText: its lines at their line ends,
// and with DT_WORDBREAK, words wrapped within `width`.
RECT TextRoom(HWND window, const std::wstring& text, UINT format, int width = 0) {
  HDC dc = ::GetDC(window);
  const auto font = reinterpret_cast<HFONT>(::SendMessageW(window, WM_GETFONT, 0, 0));
  const HGDIOBJ before = font ? ::SelectObject(dc, font) : nullptr;
  RECT room{0, 0, width, 0};
  ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &room,
              DT_CALCRECT | DT_NOPREFIX | format);
  if (before) {
    ::SelectObject(dc, before);
  }
  ::ReleaseDC(window, dc);
  return room;
}

// The tooltip's largest width: the window that holds its longest line in its own font, its
// margins and border counted, so that each line is whole (a tooltip may cut a line it cannot
// break rather than wrap it), within the screen's work area.
int TipWidth(HWND tooltip, const std::wstring& text) {
  RECT room = TextRoom(tooltip, text, 0);
  ::SendMessageW(tooltip, TTM_ADJUSTRECT, TRUE, reinterpret_cast<LPARAM>(&room));
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  ::GetMonitorInfoW(::MonitorFromWindow(tooltip, MONITOR_DEFAULTTONEAREST), &monitor);
  return std::min(static_cast<int>(room.right - room.left) + 1,
                  static_cast<int>(monitor.rcWork.right - monitor.rcWork.left));
}

bool IsClass(HWND hwnd, const wchar_t* name) {
  wchar_t found[32] = {};
  ::GetClassNameW(hwnd, found, 32);
  return ::lstrcmpiW(found, name) == 0;
}

void Message(HWND owner, const std::string& text, UINT icon) {
  ::MessageBoxW(owner, Utf16(text).c_str(), Utf16(kApplicationTitle).c_str(), MB_OK | icon);
}

// The question box: a message box with OK and Cancel, their captions made Write and Go back as
// it is activated, before it is shown. Cancel, the default, is what Escape and the close box give.
HHOOK question_hook = nullptr;

LRESULT CALLBACK CaptionQuestionButtons(int code, WPARAM wparam, LPARAM lparam) {
  if (code == HCBT_ACTIVATE) {
    const auto box = reinterpret_cast<HWND>(wparam);
    ::SetDlgItemTextW(box, IDOK, Utf16(kWriteCaption).c_str());
    ::SetDlgItemTextW(box, IDCANCEL, Utf16(kGoBackCaption).c_str());
    ::UnhookWindowsHookEx(std::exchange(question_hook, nullptr));
    return 0;
  }
  return ::CallNextHookEx(question_hook, code, wparam, lparam);
}

bool Ask(HWND owner, const std::string& question) {
  question_hook =
      ::SetWindowsHookExW(WH_CBT, CaptionQuestionButtons, nullptr, ::GetCurrentThreadId());
  const int answer = ::MessageBoxW(owner, Utf16(question).c_str(), Utf16(kApplicationTitle).c_str(),
                                   MB_OKCANCEL | MB_DEFBUTTON2 | MB_ICONWARNING);
  if (question_hook) {
    ::UnhookWindowsHookEx(std::exchange(question_hook, nullptr));
  }
  return answer == IDOK;
}

// The user's thousands separator, as the tooltip groups a count's digits.
std::string UserDigitGroup() {
  wchar_t group[8] = {};
  const int length = ::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_STHOUSAND, group, 8);
  return length > 1 ? Utf8(std::wstring(group, static_cast<std::size_t>(length - 1))) : "";
}

}  // namespace

char UserDecimalSeparator() {
  wchar_t separator[8] = {};
  const int length = ::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, separator, 8);
  if (length == 2 && separator[0] > 0 && separator[0] < 0x80) {
    return static_cast<char>(separator[0]);
  }
  return '.';
}

Form1::Form1(HINSTANCE instance) : instance_(instance) {
  WNDCLASSEXW form_class{};
  form_class.cbSize = sizeof form_class;
  form_class.lpfnWndProc = WindowProc;
  form_class.hInstance = instance;
  form_class.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(1));
  form_class.hIconSm = form_class.hIcon;
  form_class.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // the arrow
  form_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  form_class.lpszClassName = kFormClass;
  ::RegisterClassExW(&form_class);
  WNDCLASSEXW progress_class = form_class;
  progress_class.lpfnWndProc = ProgressProc;
  progress_class.lpszClassName = kProgressClass;
  ::RegisterClassExW(&progress_class);

  scale_ = FontScale(DesktopFontPoints());
  folder_ = Utf16(file::ShownCurrentFolder());
  // A fixed size: the frame offers only what works, minimize and close.
  hwnd_ = ::CreateWindowExW(0, kFormClass, Utf16(kFormName).c_str(),
                            WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, CW_USEDEFAULT,
                            CW_USEDEFAULT, 100, 100, nullptr, nullptr, instance, this);
  run_finished_to_ = hwnd_;
  MakeControls();
  DescribeRun();
  // Tab follows the order in which the controls lie. The fields lie in the design's tab order
  // already, each after its label; each button is put after the control before it.
  for (std::size_t i = 1; i < std::size(kTabOrder); ++i) {
    if (Design(kTabOrder[i]).kind == ControlKind::button) {
      ::SetWindowPos(Item(kTabOrder[i]), Item(kTabOrder[i - 1]), 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
  }
  LayOut(WindowDpi(hwnd_));
}

// Each control of the design, unplaced: LayOut places them.
void Form1::MakeControls() {
  for (const ControlDesign& design : kControls) {
    const std::wstring caption = Utf16(design.caption);
    HWND control = nullptr;
    switch (design.kind) {
      case ControlKind::label:
        control = ::CreateWindowExW(0, L"STATIC", caption.c_str(), WS_CHILD | WS_VISIBLE | SS_LEFT,
                                    0, 0, 0, 0, hwnd_, nullptr, instance_, nullptr);
        break;
      case ControlKind::field:
        // Screen readers name it by the label made just before it.
        control = ::CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                                    WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, 0, 0, 0, 0,
                                    hwnd_, nullptr, instance_, nullptr);
        ::SendMessageW(control, EM_SETLIMITTEXT, 0, 0);  // a long paste is kept whole
        break;
      case ControlKind::button:
        control = ::CreateWindowExW(0, L"BUTTON", caption.c_str(),
                                    WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 0, 0,
                                    hwnd_, nullptr, instance_, nullptr);
        break;
    }
    ::SetWindowLongPtrW(control, GWLP_ID, ControlId(design.control));
    controls_[static_cast<std::size_t>(design.control)] = control;
  }
}

Form1::~Form1() {
  if (hwnd_) {
    ::DestroyWindow(hwnd_);
  }
  if (font_) {
    ::DeleteObject(font_);
  }
}

grid::FieldTexts Form1::ReadTexts() const {
  return ReadFields([this](Control field) { return Utf8(WindowText(Item(field))); });
}

// What Run will write and where, for the eye (a tooltip) and for a screen reader (the button's
// accessible description), kept up to date as the fields change; nothing else in the window
// changes as the user types. The program never changes its folder.
void Form1::DescribeRun() {
  HWND run = Item(Control::Command2);
  const std::wstring writes = Utf16(
      controller_.Describe(ReadTexts(), UserDecimalSeparator(), Utf8(folder_), UserDigitGroup()));
  TOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = hwnd_;
  tool.uId = reinterpret_cast<UINT_PTR>(run);
  // A tooltip breaks its lines at CR LF, once it has a largest width.
  std::wstring shown;
  for (const wchar_t c : writes) {
    shown += c == L'\n' ? std::wstring(L"\r\n") : std::wstring(1, c);
  }
  tool.lpszText = shown.data();
  if (!tooltip_) {
    tooltip_ = ::CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, 0, 0, 0, 0,
                                 hwnd_, nullptr, instance_, nullptr);
    ::SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  } else {
    ::SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
  }
  ::SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, TipWidth(tooltip_, writes));
  IAccPropServices* services = nullptr;
  if (SUCCEEDED(::CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IAccPropServices, reinterpret_cast<void**>(&services)))) {
    services->SetHwndPropStr(run, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                             PROPID_ACC_DESCRIPTION, writes.c_str());
    services->Release();
  }
}

void Form1::Show(int show_command) {
  ::ShowWindow(hwnd_, show_command);
  ::SetFocus(Item(kTabOrder[0]));
}

void Form1::LayOut(unsigned dpi) {
  HFONT font =
      ::CreateFontW(-TwipsToPixels(static_cast<int>(kFontPoints * 20), dpi, scale_), 0, 0, 0,
                    FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                    CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE, kFontFace);
  for (const ControlDesign& design : kControls) {
    HWND control = Item(design.control);
    Place(control, design.twips, dpi, scale_);
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  }
  if (font_) {
    ::DeleteObject(font_);
  }
  font_ = font;
  SizeClientArea(hwnd_, TwipsToPixels(kClientWidthTwips, dpi, scale_),
                 TwipsToPixels(kClientHeightTwips, dpi, scale_), dpi);
  if (progress_) {
    for (const auto& [control, twips] :
         {std::pair{progress_label_, kProgressLabel}, std::pair{progress_bar_, kProgressBar},
          std::pair{progress_button_, kProgressButton}}) {
      Place(control, twips, dpi, scale_);
      ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
    }
    FitProgressLabel();
  }
}

// The dialog as the design lays it out, but taller where its text needs more lines than the
// label has (the Done text with a sentence about files beside the grid): the label grows, the
// bar and the button move down, and the dialog grows with them.
void Form1::FitProgressLabel() {
  const unsigned dpi = WindowDpi(hwnd_);
  const int label_width = TwipsToPixels(kProgressLabel.width, dpi, scale_);
  const int label_height = TwipsToPixels(kProgressLabel.height, dpi, scale_);
  const RECT needed =
      TextRoom(progress_label_, WindowText(progress_label_), DT_WORDBREAK, label_width);
  const int extra = std::max(0, static_cast<int>(needed.bottom) - label_height);
  SizeClientArea(progress_, TwipsToPixels(kProgressWidthTwips, dpi, scale_),
                 TwipsToPixels(kProgressHeightTwips, dpi, scale_) + extra, dpi);
  ::SetWindowPos(progress_label_, nullptr, 0, 0, label_width, label_height + extra,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  for (const auto& [control, twips] :
       {std::pair{progress_bar_, kProgressBar}, std::pair{progress_button_, kProgressButton}}) {
    ::SetWindowPos(control, nullptr, TwipsToPixels(twips.left, dpi, scale_),
                   TwipsToPixels(twips.top, dpi, scale_) + extra, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

bool Form1::PreTranslate(MSG& message) {
  const bool in_form = message.hwnd == hwnd_ || ::IsChild(hwnd_, message.hwnd);
  const bool in_progress =
      progress_ && (message.hwnd == progress_ || ::IsChild(progress_, message.hwnd));
  if (message.message == WM_KEYDOWN && (in_form || in_progress)) {
    if (message.wParam == VK_RETURN) {
      if (IsClass(message.hwnd, L"BUTTON")) {
        ::SendMessageW(message.hwnd, BM_CLICK, 0, 0);
      } else if (in_progress) {
        // The focus on the dialog itself: as the dialog manager sends Enter to a dialog.
        ::SendMessageW(progress_, WM_COMMAND, IDOK, 0);
      }
      return true;  // in a field: the window has no default button
    }
    if (message.wParam == VK_ESCAPE && in_progress) {
      ::SendMessageW(progress_, WM_COMMAND, IDCANCEL, 0);
      return true;
    }
  }
  if (in_form) {
    return ::IsDialogMessageW(hwnd_, &message) != 0;
  }
  return in_progress && ::IsDialogMessageW(progress_, &message) != 0;
}

LRESULT CALLBACK Form1::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    static_cast<Form1*>(create->lpCreateParams)->hwnd_ = hwnd;
  }
  auto* form = reinterpret_cast<Form1*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  return form ? form->Handle(message, wparam, lparam)
              : ::DefWindowProcW(hwnd, message, wparam, lparam);
}

LRESULT Form1::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      OnCommand(wparam);
      return 0;
    case WM_ACTIVATE:
      return OnActivate(wparam, lparam);
    case WM_DPICHANGED:
      OnDpiChanged(wparam, lparam);
      return 0;
    case WM_TIMER:
      if (wparam == kTicker) {
        controller_.Tick();
      }
      return 0;
    case kRunFinished:
      controller_.Finished();
      return 0;
    case WM_CLOSE:
      OnClose();
      return 0;
    case WM_DESTROY:
      hwnd_ = nullptr;
      ::PostQuitMessage(0);
      return 0;
    default:
      return ::DefWindowProcW(hwnd_, message, wparam, lparam);
  }
}

// A field's text changed, or a button was pressed.
void Form1::OnCommand(WPARAM wparam) {
  if (HIWORD(wparam) == EN_CHANGE) {
    DescribeRun();
    return;
  }
  if (HIWORD(wparam) != BN_CLICKED) {
    return;
  }
  switch (static_cast<Control>(LOWORD(wparam) - ControlId(Control{}))) {
    case Control::Command2:
      controller_.Run(ReadTexts(), UserDecimalSeparator());
      break;
    case Control::Command1:
      ShowHelp();
      break;
    case Control::Command4:
      ShowContactInfo();
      break;
    case Control::Command3:
      ::SendMessageW(hwnd_, WM_CLOSE, 0, 0);
      break;
    default:
      break;
  }
}

// As the system's dialog manager does for a dialog: the control that had the focus when the
// window lost it (to a box, or another program) has it again when the window is active, so that
// Enter and Space act on the button that opened the box.
LRESULT Form1::OnActivate(WPARAM wparam, LPARAM lparam) {
  if (LOWORD(wparam) == WA_INACTIVE) {
    const HWND focused = ::GetFocus();
    focus_saved_ = focused && ::IsChild(hwnd_, focused) ? focused : nullptr;
  } else if (focus_saved_ && ::IsWindow(focus_saved_) && ::IsWindowEnabled(focus_saved_)) {
    ::SetFocus(focus_saved_);
    return 0;
  }
  return ::DefWindowProcW(hwnd_, WM_ACTIVATE, wparam, lparam);
}

void Form1::OnDpiChanged(WPARAM wparam, LPARAM lparam) {
  LayOut(HIWORD(wparam));
  const auto* suggested = reinterpret_cast<const RECT*>(lparam);
  ::SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// The close box, Alt+F4 and quit ask nothing. During a run they cancel it, which leaves
// newgrid.txt as it was; the run stops within a few tens of milliseconds.
void Form1::OnClose() {
  controller_.Cancel();
  ::DestroyWindow(hwnd_);
}

// The dialog has one button, Cancel and then Close, which Enter presses (IDOK, the dialog
// manager's Enter where no button has the focus) and Escape and the close box too. Activated,
// the dialog gives the focus to the button, as a dialog gives it to its control: the system
// would give it to the dialog itself, where Enter and Space reach no button and no focus shows.
LRESULT CALLBACK Form1::ProgressProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* form =
      reinterpret_cast<Form1*>(::GetWindowLongPtrW(::GetWindow(hwnd, GW_OWNER), GWLP_USERDATA));
  if (!form) {
    return ::DefWindowProcW(hwnd, message, wparam, lparam);
  }
  if (message == WM_COMMAND && LOWORD(wparam) == IDOK && form->progress_button_) {
    ::SendMessageW(form->progress_button_, BM_CLICK, 0, 0);
    return 0;
  }
  if ((message == WM_COMMAND && LOWORD(wparam) == IDCANCEL) || message == WM_CLOSE) {
    form->controller_.Cancel();
    return 0;
  }
  if (message == WM_ACTIVATE && LOWORD(wparam) != WA_INACTIVE && form->progress_button_) {
    ::SetFocus(form->progress_button_);
    return 0;
  }
  return ::DefWindowProcW(hwnd, message, wparam, lparam);
}

void Form1::WakeOnWindowThread() {
  // Dropped if the window is gone by then.
  ::PostMessageW(run_finished_to_, kRunFinished, 0, 0);
}

void Form1::SetEnabled(Control control, bool enabled) {
  ::EnableWindow(Item(control), enabled ? TRUE : FALSE);
}

std::optional<Control> Form1::FocusedControl() const {
  const HWND focused = ::GetFocus();
  for (const ControlDesign& design : kControls) {
    if (focused && Item(design.control) == focused) {
      return design.control;
    }
  }
  return std::nullopt;
}

// The window itself takes it: keys then reach no control.
void Form1::ClearFocus() {
  ::SetFocus(hwnd_);
}

void Form1::Focus(Control control, bool select_text) {
  ::SetFocus(Item(control));
  if (select_text) {
    ::SendMessageW(Item(control), EM_SETSEL, 0, -1);
  }
}

void Form1::StartTicker() {
  ::SetTimer(hwnd_, kTicker, kProgressTickMs, nullptr);
}

void Form1::StopTicker() {
  ::KillTimer(hwnd_, kTicker);
}

bool Form1::WindowShown() const {
  return hwnd_ && ::IsWindowVisible(hwnd_);
}

void Form1::ShowError(const std::string& text) {
  Message(hwnd_, text, MB_ICONERROR);
}

bool Form1::AskToWrite(const std::string& question) {
  return Ask(hwnd_, question);
}

// Not modal: the window's close box must still reach the window, which keeps its own controls
// disabled meanwhile.
void Form1::ShowDialog(const ProgressDialogState& state) {
  if (!state.shown) {
    if (progress_) {
      ::DestroyWindow(std::exchange(progress_, nullptr));
      progress_label_ = progress_bar_ = progress_button_ = nullptr;
    }
    return;
  }
  if (!progress_) {
    MakeProgressDialog();
  }
  ::SetWindowTextW(progress_button_, Utf16(state.button).c_str());
  const std::wstring text = Utf16(state.text);
  if (WindowText(progress_label_) != text) {
    ::SetWindowTextW(progress_label_, text.c_str());
    FitProgressLabel();
  }
  ::SendMessageW(progress_bar_, PBM_SETPOS, static_cast<WPARAM>(state.steps), 0);
}

// Centred over the window: its label, bar and button.
void Form1::MakeProgressDialog() {
  const unsigned dpi = WindowDpi(hwnd_);
  progress_ = ::CreateWindowExW(
      WS_EX_DLGMODALFRAME, kProgressClass, Utf16(kApplicationTitle).c_str(),
      WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, 0, 0, 0, hwnd_, nullptr, instance_, nullptr);
  progress_label_ = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_LEFT, 0, 0, 0,
                                      0, progress_, nullptr, instance_, nullptr);
  progress_bar_ = ::CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0,
                                    progress_, nullptr, instance_, nullptr);
  ::SendMessageW(progress_bar_, PBM_SETRANGE32, 0, kProgressSteps);
  progress_button_ =
      ::CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, 0,
                        0, 0, progress_, nullptr, instance_, nullptr);
  ::SetWindowLongPtrW(progress_button_, GWLP_ID, IDCANCEL);
  LayOut(dpi);  // which sizes the dialog for its label
  RECT form{};
  ::GetWindowRect(hwnd_, &form);
  RECT dialog{};
  ::GetWindowRect(progress_, &dialog);
  ::SetWindowPos(progress_, nullptr, (form.left + form.right - (dialog.right - dialog.left)) / 2,
                 (form.top + form.bottom - (dialog.bottom - dialog.top)) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  ::ShowWindow(progress_, SW_SHOWNORMAL);
}

// The dialog says the grid is written and stays until the user closes it: a state no one takes
// for a cancel, whose button takes the focus so that a screen reader announces it and the text.
void Form1::AnnounceDone() {
  ::SetActiveWindow(progress_);
  ::SetFocus(progress_button_);
  ::NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, progress_label_, OBJID_WINDOW, CHILDID_SELF);
  ::NotifyWinEvent(EVENT_SYSTEM_ALERT, progress_, OBJID_WINDOW, CHILDID_SELF);
}

void Form1::ShowHelp() {
  Message(hwnd_, HelpText(Utf8(folder_)), 0);
}

void Form1::ShowContactInfo() {
  Message(hwnd_, ContactText(), 0);
}

}  // namespace window
