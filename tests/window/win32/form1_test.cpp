// The Win32 window in-process, driven through real window messages: its geometry at two DPIs,
// the tab order, typed texts and Run, every box, a long run cancelled from its dialog or by
// closing the window, Enter and Escape. Under Wine without a display (its null driver), with the
// program's manifest; on_a_display_test.sh runs the tests a display decides on one.
#include "window/win32/form1.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "support/temp_dir_test.h"
#include "support/test_files.h"
#include "system/windows/text.h"
#include "window/shared/window_cases.h"

namespace window {
namespace {

namespace fs = std::filesystem;

const std::string kHeader(testing_support::kGridHeader);
using testing_support::ReadFile;
using testing_support::WorkingFolder;

// Until `done` or `limit`, handles the thread's messages, through `form`'s PreTranslate when
// there is a form, and between checks waits for the next message (5 ms at most: what `done`
// waits for may come from another thread or process).
bool WaitUntil(const std::function<bool()>& done, std::chrono::seconds limit,
               Form1* form = nullptr) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (!form || !form->PreTranslate(message)) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
      }
    }
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
  return true;
}

// Windows made where Wine has no display driver (a Wine server started before the prefix had its
// null driver) have no size, and every test would fail in its own way after its own timeout:
// instead one line says why, and each test fails at once. It fails rather than skips (ctest takes
// gtest's skipped tests for skipped ones): CI runs everything. On a loaded machine the desktop
// may come up after the test has started, and windows made before have no size either: the
// probe waits for it, generously.
class WindowsCanBeMade : public testing::Environment {
 public:
  void SetUp() override {
    if (!WaitUntil(ProbeHasSize, std::chrono::seconds(60))) {
      std::fputs(
          "A window made here has no size: Wine has no display driver. Run the tests "
          "through the build's emulator (cmake/wine_run.sh), which makes the prefix with "
          "the null driver before any Wine process starts.\n",
          stderr);
      std::exit(1);
    }
  }

 private:
  static bool ProbeHasSize() {
    HWND probe = ::CreateWindowExW(0, L"STATIC", L"probe", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200,
                                   nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    RECT client{};
    const bool sized =
        probe && ::GetClientRect(probe, &client) && client.right > 0 && client.bottom > 0;
    if (probe) {
      ::DestroyWindow(probe);
    }
    return sized;
  }
};
const testing::Environment* const kWindowsCanBeMade =
    testing::AddGlobalTestEnvironment(new WindowsCanBeMade);

// Handles the thread's messages, as the program's loop does, until `done` or 30 seconds.
bool PumpUntil(Form1& form, const std::function<bool()>& done) {
  return WaitUntil(done, std::chrono::seconds(30), &form);
}

std::wstring Text(HWND hwnd) {
  wchar_t text[4096] = {};
  ::GetWindowTextW(hwnd, text, 4096);
  return text;
}

// What a message box showed before the watcher pressed its OK.
struct SeenBox {
  std::wstring caption;
  std::wstring text;
  std::vector<std::wstring> buttons;
};

// Answers every message box the window opens, from a timer that runs inside the box's own
// modal loop, so that no test waits for a person.
class BoxWatcher {
 public:
  BoxWatcher() {
    current_ = this;
    timer_ = ::SetTimer(nullptr, 0, 10, &BoxWatcher::Answer);
  }
  ~BoxWatcher() {
    ::KillTimer(nullptr, timer_);
    current_ = nullptr;
  }
  BoxWatcher(const BoxWatcher&) = delete;
  BoxWatcher& operator=(const BoxWatcher&) = delete;
  std::vector<SeenBox> boxes;
  // Answers with Enter, through the dialog manager as a key would (the focused button, the
  // default one), rather than with OK.
  bool enter = false;

 private:
  static void CALLBACK Answer(HWND, UINT, UINT_PTR, DWORD) {
    // A box of this thread's: other tests run beside this one on the same desktop.
    HWND box = nullptr;
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND window, LPARAM found) -> BOOL {
          wchar_t kind[16] = {};
          ::GetClassNameW(window, kind, 16);
          if (::lstrcmpW(kind, L"#32770") == 0 && ::IsWindowVisible(window)) {
            *reinterpret_cast<HWND*>(found) = window;
            return FALSE;
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&box));
    if (!box || !current_) {
      return;
    }
    SeenBox seen{Text(box), L"", {}};
    ::EnumChildWindows(
        box,
        [](HWND child, LPARAM found) -> BOOL {
          wchar_t kind[16] = {};
          ::GetClassNameW(child, kind, 16);
          const std::wstring text = Text(child);
          auto* box_seen = reinterpret_cast<SeenBox*>(found);
          if (::lstrcmpiW(kind, L"STATIC") == 0 && text.size() > box_seen->text.size()) {
            box_seen->text = text;  // the message; an icon's static has none
          } else if (::lstrcmpiW(kind, L"BUTTON") == 0) {
            box_seen->buttons.push_back(text);
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&seen));
    current_->boxes.push_back(seen);
    if (current_->enter) {
      MSG enter{::GetFocus(), WM_KEYDOWN, VK_RETURN, 0, 0, {}};
      ::IsDialogMessageW(box, &enter);
      return;
    }
    ::SendMessageW(box, WM_COMMAND, IDOK, 0);
  }
  static inline BoxWatcher* current_ = nullptr;
  UINT_PTR timer_ = 0;
};

// A control as a program outside would find it: by its ID in the window.
HWND Item(const Form1& form, std::string_view name) {
  for (const ControlDesign& design : kControls) {
    if (name == design.name) {
      return ::GetDlgItem(form.hwnd(), ControlId(design.control));
    }
  }
  return nullptr;
}

// A run is under way while Run does not work.
bool Running(const Form1& form) {
  return !::IsWindowEnabled(Item(form, "Command2"));
}

// A window the form owns, of the system's or the program's window class `kind`.
HWND Owned(const Form1& form, const wchar_t* kind) {
  for (HWND window = ::FindWindowExW(nullptr, nullptr, kind, nullptr); window;
       window = ::FindWindowExW(nullptr, window, kind, nullptr)) {
    if (::GetWindow(window, GW_OWNER) == form.hwnd()) {
      return window;
    }
  }
  return nullptr;
}

HWND ProgressDialog(const Form1& form) {
  return Owned(form, L"tessaplanProgress");
}

// The system's DPI, for which windows made now are laid out.
int SystemDpi() {
  HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  return dpi;
}

// What the system sends a window moved to a monitor of another DPI.
void MoveToDpi(const Form1& form, unsigned dpi) {
  RECT suggested{};
  ::GetWindowRect(form.hwnd(), &suggested);
  ::SendMessageW(form.hwnd(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                 reinterpret_cast<LPARAM>(&suggested));
}

RECT ClientRect(HWND control, HWND form) {
  RECT rect{};
  ::GetWindowRect(control, &rect);
  ::MapWindowPoints(nullptr, form, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

std::string Describe(const RECT& rect) {
  return std::to_string(rect.left) + "," + std::to_string(rect.top) + " " +
         std::to_string(rect.right - rect.left) + "x" + std::to_string(rect.bottom - rect.top);
}

void Type(Form1& form, const std::vector<std::wstring>& texts) {
  for (std::size_t i = 0; i < texts.size(); ++i) {
    HWND field = Item(form, ("Text" + std::to_string(i + 1)).c_str());
    ::SetWindowTextW(field, L"");
    for (const wchar_t c : texts[i]) {
      ::SendMessageW(field, WM_CHAR, c, 0);
    }
  }
}

void Press(Form1& form, const char* button) {
  ::SendMessageW(Item(form, button), BM_CLICK, 0, 0);
}

struct GeometryCase {
  const char* name;
  unsigned dpi;
  std::string pixels;  // "left,top widthxheight" in the form's client area
};

class GeometryTest : public testing::TestWithParam<GeometryCase> {};

// Every control where the layout puts it, in twips at the window's DPI: 15 twips a pixel at 96,
// 10 at 144.
TEST_P(GeometryTest, PlacesTheControlInTwips) {
  Form1 form(::GetModuleHandleW(nullptr));
  MoveToDpi(form, GetParam().dpi);
  const std::string name = GetParam().name;
  if (name == "Form1") {
    RECT client{};
    ::GetClientRect(form.hwnd(), &client);
    EXPECT_EQ(Describe(client), GetParam().pixels);
  } else {
    EXPECT_EQ(Describe(ClientRect(Item(form, name.c_str()), form.hwnd())), GetParam().pixels);
  }
}

// Every control at 96 DPI, and some at 144 and the window itself at both.
std::vector<GeometryCase> GeometryCases() {
  std::vector<GeometryCase> all = {
      {"Form1", 96, "0,0 417x334"},      {"Form1", 144, "0,0 626x501"},
      {"Label6", 144, "252,0 134x38"},   {"Label7", 144, "132,36 386x62"},
      {"Text1", 144, "168,156 170x38"},  {"Label5", 144, "12,444 122x26"},
      {"Text5", 144, "168,444 170x38"},  {"Command2", 144, "492,180 98x50"},
      {"Command3", 144, "492,432 98x50"}};
  for (const cases::PlacedControl& c : cases::kControlsAt96Dpi) {
    all.push_back({c.name, 96,
                   std::to_string(c.left) + "," + std::to_string(c.top) + " " +
                       std::to_string(c.width) + "x" + std::to_string(c.height)});
  }
  return all;
}

INSTANTIATE_TEST_SUITE_P(Layout, GeometryTest, testing::ValuesIn(GeometryCases()),
                         [](const testing::TestParamInfo<GeometryCase>& param_info) {
                           return std::string(param_info.param.name) + "_at_" +
                                  std::to_string(param_info.param.dpi);
                         });

TEST(Form1, IsNamedAndDrawnInTheDialogFontItWasLaidOutFor) {
  Form1 form(::GetModuleHandleW(nullptr));
  EXPECT_EQ(Text(form.hwnd()), L"Form1");
  const auto style = static_cast<DWORD>(::GetWindowLongPtrW(form.hwnd(), GWL_STYLE));
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);  // a fixed size: no maximize that would do nothing
  EXPECT_FALSE(style & WS_THICKFRAME);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_EQ(::GetMenu(form.hwnd()), nullptr);
  LOGFONTW font{};
  ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(Item(form, "Command2"), WM_GETFONT, 0, 0)),
               sizeof font, &font);
  EXPECT_EQ(std::wstring(font.lfFaceName), L"MS Shell Dlg 2");
  EXPECT_EQ(font.lfHeight, -11);  // 8 points at 96 DPI
  EXPECT_EQ(Text(Item(form, "Label6")), L"Lattisk 1.0");
  EXPECT_EQ(Text(Item(form, "Command4")), L"contact info");
}

// The fields, then Run, quit, Help and contact info; labels never take the focus, and a label is
// made right before its field, which names the field for screen readers.
TEST(Form1, TabsInTheDesignsOrder) {
  Form1 form(::GetModuleHandleW(nullptr));
  form.Show(SW_SHOWNORMAL);
  EXPECT_EQ(::GetFocus(), Item(form, "Text1"));
  HWND at = Item(form, "Text1");
  for (const char* name : cases::kTabOrder) {
    EXPECT_EQ(at, Item(form, name)) << name;
    at = ::GetNextDlgTabItem(form.hwnd(), at, FALSE);
  }
  for (const char* field : {"Text1", "Text2", "Text3", "Text4", "Text5"}) {
    HWND before = ::GetWindow(Item(form, field), GW_HWNDPREV);
    EXPECT_EQ(Text(before), Text(Item(form, ("Label" + std::string(field + 4)).c_str())));
  }
}

struct RunCase {
  const char* name;
  std::vector<std::wstring> texts;
  std::string file;  // "" when the old file must stay
  std::wstring box;  // the error box's text, or none
  // Where the focus is after the run: Run, where it was; after a box about a field's text (or
  // the counts), that field, its text selected to be typed over.
  const char* focus = "Command2";
};

class RunTest : public testing::TestWithParam<RunCase> {};

// Typed texts reach the core as typed, UTF-16 converted exactly; Run writes the file and shows
// nothing, or shows one error box captioned with the program's name and keeps the window.
TEST_P(RunTest, WritesOrReports) {
  WorkingFolder folder;
  { std::ofstream(folder.path() / "newgrid.txt", std::ios::binary) << "the previous grid"; }
  Form1 form(::GetModuleHandleW(nullptr));
  form.Show(SW_SHOWNORMAL);
  BoxWatcher watcher;
  Type(form, GetParam().texts);
  ::SetFocus(Item(form, "Command2"));
  Press(form, "Command2");
  ASSERT_TRUE(PumpUntil(form, [&] { return !Running(form); }));
  EXPECT_EQ(::GetFocus(), Item(form, GetParam().focus));
  if (GetParam().focus != std::string("Command2")) {
    DWORD start = 1;
    DWORD end = 0;
    ::SendMessageW(Item(form, GetParam().focus), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                   reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, Text(Item(form, GetParam().focus)).size());
  }
  EXPECT_EQ(ReadFile(folder.path() / "newgrid.txt"),
            GetParam().file.empty() ? "the previous grid" : GetParam().file);
  if (GetParam().box.empty()) {
    EXPECT_TRUE(watcher.boxes.empty());
  } else {
    ASSERT_EQ(watcher.boxes.size(), 1u);
    EXPECT_EQ(watcher.boxes[0].caption, L"tessaplan");
    EXPECT_EQ(watcher.boxes[0].text, GetParam().box);
  }
  EXPECT_TRUE(::IsWindowVisible(form.hwnd()));
  EXPECT_EQ(Text(Item(form, "Text1")), GetParam().texts[0]);  // kept after OK
  EXPECT_TRUE(::IsWindowEnabled(Item(form, "Text1")));
}

INSTANTIATE_TEST_SUITE_P(
    Runs, RunTest,
    testing::Values(
        RunCase{"two_by_three",
                {L"0", L"400", L"0", L"200", L"200"},
                kHeader + "0,0,\"r1c1\"\r\n0,200,\"r2c1\"\r\n200,0,\"r1c2\"\r\n200,200,"
                          "\"r2c2\"\r\n400,0,\"r1c3\"\r\n400,200,\"r2c3\"\r\n",
                L""},
        RunCase{
            "all_empty",
            {L"", L"", L"", L"", L""},
            "",
            L"Run-time error 1:\n\nType mismatch: \"Minimum x value\" is empty; enter a number.",
            "Text1"},
        RunCase{"zero_spacing",
                {L"0", L"400", L"0", L"200", L"0"},
                "",
                L"Run-time error 3:\n\nDivision by zero: \"Grid Spacing\" is 0 (any spacing from "
                L"-0.5 to 0.5 rounds to 0); enter a whole number other than 0.",
                "Text5"},
        RunCase{"overflow_of_a_value",
                {L"0", L"1e39", L"0", L"1", L"1"},
                "",
                L"Run-time error 2:\n\nOverflow: \"Maximum x value\" must be between "
                L"-3.402823E+38 and 3.402823E+38, not \"1e39\".",
                "Text2"},
        // Beyond ASCII and beyond the Basic Multilingual Plane, as typed.
        RunCase{"utf16_text",
                {L"Zürich \U0001F4CD", L"1", L"0", L"1", L"1"},
                "",
                L"Run-time error 1:\n\nType mismatch: \"Minimum x value\" is not a number: "
                L"\"Zürich \U0001F4CD\". Enter digits, with '.' before any decimal places.",
                "Text1"}),
    [](const testing::TestParamInfo<RunCase>& param_info) {
      return std::string(param_info.param.name);
    });

struct QuestionCase {
  const char* name;
  std::vector<std::wstring> texts;
  bool enter;           // Enter on the box, or OK (Write)
  std::wstring box;     // how the one box begins; empty for none
  const char* focus;    // the field then focused, its text selected; nullptr for none
  std::intmax_t bytes;  // newgrid.txt's, or -1 for none
};

class QuestionTest : public testing::TestWithParam<QuestionCase> {};

// From the keyboard: Tab from Grid Spacing to Run, Enter. A grid that differs from the fields is
// asked about first, with Write and Go back; Enter again is Go back: nothing written, the focus in
// the field the first difference is about, its text selected. Write writes it. An exact grid is
// written at once; texts Run refuses give the error box alone.
TEST_P(QuestionTest, AsksBeforeALossyGrid) {
  const QuestionCase& c = GetParam();
  WorkingFolder folder;
  Form1 form(::GetModuleHandleW(nullptr));
  form.Show(SW_SHOWNORMAL);
  BoxWatcher watcher;
  watcher.enter = c.enter;
  Type(form, c.texts);
  ::SetFocus(Item(form, "Text5"));
  MSG tab{Item(form, "Text5"), WM_KEYDOWN, VK_TAB, 0, 0, {}};
  form.PreTranslate(tab);
  ASSERT_EQ(::GetFocus(), Item(form, "Command2"));
  MSG enter{Item(form, "Command2"), WM_KEYDOWN, VK_RETURN, 0, 0, {}};
  EXPECT_TRUE(form.PreTranslate(enter));
  ASSERT_TRUE(PumpUntil(form, [&] { return !Running(form); }));
  ASSERT_EQ(watcher.boxes.size(), c.box.empty() ? 0u : 1u);
  if (!c.box.empty()) {
    EXPECT_EQ(watcher.boxes[0].caption, L"tessaplan");
    EXPECT_EQ(watcher.boxes[0].text.rfind(c.box, 0), 0u) << sys::Utf8(watcher.boxes[0].text);
  }
  if (c.box.starts_with(L"The grid")) {
    EXPECT_EQ(watcher.boxes[0].buttons, (std::vector<std::wstring>{L"Write", L"Go back"}));
  }
  const std::filesystem::path grid = folder.path() / "newgrid.txt";
  EXPECT_EQ(std::filesystem::exists(grid)
                ? static_cast<std::intmax_t>(std::filesystem::file_size(grid))
                : -1,
            c.bytes);
  if (c.focus) {
    EXPECT_EQ(::GetFocus(), Item(form, c.focus));
    DWORD start = 1;
    DWORD end = 0;
    ::SendMessageW(Item(form, c.focus), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                   reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, Text(Item(form, c.focus)).size());
  }
}

const std::vector<std::wstring> kLossy{L"0", L"400", L"0", L"200", L"2.5"};
const std::wstring kQuestion = L"The grid will not be exactly what the fields say:";
INSTANTIATE_TEST_SUITE_P(
    Questions, QuestionTest,
    testing::Values(
        QuestionCase{"enter_twice", kLossy, true, kQuestion, "Text5", -1},
        QuestionCase{"write", kLossy, false, kQuestion, nullptr, 356821},
        QuestionCase{"no_point", {L"10", L"0", L"0", L"10", L"5"}, true, kQuestion, "Text1", -1},
        QuestionCase{"exact", {L"0", L"400", L"0", L"200", L"200"}, true, L"", nullptr, 113},
        QuestionCase{"refused",
                     {L"0", L"400", L"0", L"200", L"0.4"},
                     true,
                     L"Run-time error 3:",
                     "Text5",
                     -1}),
    testing_support::CaseName());

struct BoxCase {
  const char* name;
  const char* button;
  std::wstring text;  // "%1" stands for the current folder
};

class BoxTest : public testing::TestWithParam<BoxCase> {};

// Help and contact info show their texts, Help naming the folder the grid goes to; after the
// box the focus is back on the button that opened it, so that Enter opens it again.
TEST_P(BoxTest, ShowsTheText) {
  WorkingFolder folder;
  Form1 form(::GetModuleHandleW(nullptr));
  form.Show(SW_SHOWNORMAL);
  Type(form, {L"1", L"2", L"3", L"4", L"5"});
  BoxWatcher watcher;
  ::SetFocus(Item(form, GetParam().button));
  Press(form, GetParam().button);
  EXPECT_EQ(::GetFocus(), Item(form, GetParam().button));
  ASSERT_EQ(watcher.boxes.size(), 1u);
  std::wstring expected = GetParam().text;
  if (const auto at = expected.find(L"%1"); at != std::wstring::npos) {
    expected.replace(at, 2, folder.path().wstring());
  }
  EXPECT_EQ(watcher.boxes[0].caption, L"tessaplan");
  EXPECT_EQ(watcher.boxes[0].text, expected);
  EXPECT_EQ(Text(Item(form, "Text5")), L"5");
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, BoxTest,
    testing::Values(
        BoxCase{
            "Help", "Command1",
            L"This code will generate a regularly spaced point grid that is based on the user's "
            L"inputs: min/max x,y values and the grid spacing. It is designed to generate the grid "
            L"based upon UTM or State Plane coordinates.  If tried with latitude/longitude, the "
            L"grid will not be regular (lat/long is a spherical coordinate system and the distance "
            L"between degrees varies depending on the position on the globe).  As a quick example, "
            L"you might need a 200m grid of points over a certain area of the world.  First, get "
            L"the min/max UTM coordinates for that area, type them into the text boxes on the main "
            L"form, type in '200' as the spacing, and hit 'run'.  The output will be a text file "
            L"containing all your points (x,y, and a unique identifier).  This file is named "
            L"'newgrid.txt' and can be found in the folder tessaplan was started in, %1. This code "
            L"compiled on 4 September, 2002."},
        BoxCase{"contact_info", "Command4",
                L"For more information, contact the tessaplan developers at tessaplan@example.org "
                L"or https://www.example.org/tessaplan"}),
    [](const testing::TestParamInfo<BoxCase>& param_info) {
      return std::string(param_info.param.name);
    });

struct StopCase {
  const char* name;
  // "quit", "Cancel", "Escape" (in the dialog, or in the window, which leaves the run going), or
  // "close" (the close box and Alt+F4)
  const char* how;
};

class StopTest : public testing::TestWithParam<StopCase> {};

// A long run stopped from its progress dialog or by closing the window leaves the old file and
// nothing else, and stops promptly.
TEST_P(StopTest, LeavesTheOldFile) {
  WorkingFolder folder;
  { std::ofstream(folder.path() / "newgrid.txt", std::ios::binary) << "the previous grid"; }
  {
    Form1 form(::GetModuleHandleW(nullptr));
    form.Show(SW_SHOWNORMAL);
    form.SetProgressDelay(0);
    Type(form, {L"0", L"30000", L"0", L"3000", L"1"});  // 2 GB
    Press(form, "Command2");
    ASSERT_TRUE(PumpUntil(form, [&] { return ProgressDialog(form) != nullptr; }));
    EXPECT_FALSE(::IsWindowEnabled(Item(form, "Text1")));  // disabled, and looks it
    EXPECT_FALSE(::IsWindowEnabled(Item(form, "Command1")));
    EXPECT_TRUE(::IsWindowEnabled(Item(form, "Command3")));  // quit still works
    const auto stopped = std::chrono::steady_clock::now();
    const std::string how = GetParam().how;
    HWND cancel = ::GetDlgItem(ProgressDialog(form), IDCANCEL);
    if (how == "Cancel") {
      ::SendMessageW(cancel, BM_CLICK, 0, 0);
    } else if (how == "quit") {
      Press(form, "Command3");
    } else if (how == "Escape") {
      MSG escape{cancel, WM_KEYDOWN, VK_ESCAPE, 0, 0, {}};
      EXPECT_TRUE(form.PreTranslate(escape));
    } else if (how == "Escape in the window") {
      MSG escape{form.hwnd(), WM_KEYDOWN, VK_ESCAPE, 0, 0, {}};
      form.PreTranslate(escape);
      EXPECT_NE(ProgressDialog(form), nullptr) << "Escape in the window cancelled the run";
      ::SendMessageW(form.hwnd(), WM_CLOSE, 0, 0);
    } else {
      ::SendMessageW(form.hwnd(), WM_CLOSE, 0, 0);
    }
    ASSERT_TRUE(PumpUntil(form, [&] { return !form.hwnd() || !Running(form); }));
    EXPECT_EQ(ProgressDialog(form), nullptr);
    // Well before the 2 GB are written, which the file kept shows too.
    EXPECT_LT(std::chrono::steady_clock::now() - stopped, std::chrono::seconds(10));
  }
  EXPECT_EQ(ReadFile(folder.path() / "newgrid.txt"), "the previous grid");
  EXPECT_EQ(folder.Entries(), std::vector<std::string>{"newgrid.txt"});
}

INSTANTIATE_TEST_SUITE_P(
    Stops, StopTest,
    testing::Values(StopCase{"quit", "quit"}, StopCase{"Cancel_in_the_dialog", "Cancel"},
                    StopCase{"Escape_in_the_dialog", "Escape"},
                    StopCase{"Escape_in_the_window_then_closing", "Escape in the window"},
                    StopCase{"closing_the_window", "close"}),
    [](const testing::TestParamInfo<StopCase>& param_info) {
      return std::string(param_info.param.name);
    });

// The room `text` needs in `window`'s font, measured a line at a time with GetTextExtentPoint32
// rather than laid out as the window lays it out: with `wrap_width`, words are wrapped at blanks
// as a static control wraps them, a word longer than a line broken where it passes the edge;
// otherwise lines break at line ends only, as a tooltip's do. Its height counts the lines so.
SIZE NeededRoom(HWND window, const std::wstring& text, int wrap_width = 0) {
  HDC dc = ::GetDC(window);
  const HGDIOBJ before =
      ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(window, WM_GETFONT, 0, 0)));
  const auto width = [&](const std::wstring& line) {
    SIZE size{};
    ::GetTextExtentPoint32W(dc, line.c_str(), static_cast<int>(line.size()), &size);
    return static_cast<LONG>(size.cx);
  };
  TEXTMETRICW metrics{};
  ::GetTextMetricsW(dc, &metrics);
  SIZE needed{};
  const auto add_line = [&](const std::wstring& line) {
    needed.cx = std::max(needed.cx, width(line));
    needed.cy += metrics.tmHeight;
  };
  const bool wrap = wrap_width > 0;
  for (std::size_t start = 0; start <= text.size();) {
    const std::size_t end = std::min(text.find(L'\n', start), text.size());
    std::wstring line;
    for (std::size_t word = start; word < end;) {
      const std::size_t blank = std::min(text.find(L' ', word), end);
      const std::wstring next = text.substr(word, blank - word);
      const std::wstring longer = line.empty() ? next : line + L" " + next;
      if (wrap && width(next) > wrap_width) {
        line = longer;
        while (width(line) > wrap_width) {
          std::size_t fits = 1;
          while (fits < line.size() && width(line.substr(0, fits + 1)) <= wrap_width) {
            ++fits;
          }
          add_line(line.substr(0, fits));
          line.erase(0, fits);
        }
      } else if (wrap && !line.empty() && width(longer) > wrap_width) {
        add_line(line);
        line = next;
      } else {
        line = longer;
      }
      word = blank + 1;
    }
    add_line(line);
    start = end + 1;
  }
  ::SelectObject(dc, before);
  ::ReleaseDC(window, dc);
  return needed;
}

// The part of `control`'s client area that `window` shows: within the window's client area.
RECT ShownArea(HWND control, HWND window) {
  RECT shown{};
  ::GetClientRect(control, &shown);
  ::MapWindowPoints(control, window, reinterpret_cast<POINT*>(&shown), 2);
  RECT area{};
  ::GetClientRect(window, &area);
  ::IntersectRect(&shown, &shown, &area);
  return shown;
}

// Files that describe a grid beside it, which the window never writes, are told once it is
// written, in a Done dialog that comes also after a short run; without them nothing shows. Every
// line is whole at the system's DPI (on_a_display_test.sh sets 96 and 144): the dialog grows for
// the sentence, and its client area holds the label and the button. Close answers Enter also once
// the dialog has lost the focus and has it back (as after a click on Write in the question box, or
// on another window): the focus is on Close again, and Enter on the dialog itself, which the dialog
// manager turns into IDOK, closes it too.
TEST(Form1, TellsOfFilesBesideTheGrid) {
  const int dpi = SystemDpi();
  std::printf("The Done dialog at %d DPI\n", dpi);
  for (const bool beside : {false, true}) {
    WorkingFolder folder;
    if (beside) {
      std::ofstream(folder.path() / "newgrid.prj") << "earlier";
      std::ofstream(folder.path() / "newgrid.vrt") << "earlier";
    }
    Form1 form(::GetModuleHandleW(nullptr));
    form.Show(SW_SHOWNORMAL);
    Type(form, {L"0", L"400", L"0", L"200", L"200"});
    Press(form, "Command2");
    ASSERT_TRUE(PumpUntil(form, [&] { return !Running(form); }));
    HWND dialog = ProgressDialog(form);
    ASSERT_EQ(dialog != nullptr, beside);
    if (!beside) {
      continue;
    }
    HWND label = ::FindWindowExW(dialog, nullptr, L"STATIC", nullptr);
    const std::wstring told = Text(label);
    EXPECT_TRUE(
        told.ends_with(L"\nnewgrid.prj and newgrid.vrt beside it were not written by "
                       L"this run: GIS may read the grid with what they say."))
        << sys::Utf8(told);
    const RECT shown = ShownArea(label, dialog);
    const SIZE needed = NeededRoom(label, told, shown.right - shown.left);
    EXPECT_LE(needed.cx, shown.right - shown.left) << dpi << " DPI: every line whole";
    // How many lines a path longer than a line makes is the layout's own choice: DrawText's.
    RECT lines{0, 0, shown.right - shown.left, 0};
    HDC dc = ::GetDC(label);
    ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(label, WM_GETFONT, 0, 0)));
    ::DrawTextW(dc, told.c_str(), -1, &lines, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    ::ReleaseDC(label, dc);
    EXPECT_LE(lines.bottom, shown.bottom - shown.top) << dpi << " DPI: every line shown";
    HWND close = ::GetDlgItem(dialog, IDCANCEL);
    RECT whole{};
    ::GetClientRect(close, &whole);
    const RECT button = ShownArea(close, dialog);
    EXPECT_EQ(button.right - button.left, whole.right) << dpi << " DPI: Close whole";
    EXPECT_EQ(button.bottom - button.top, whole.bottom) << dpi << " DPI: Close whole";

    ::SetActiveWindow(form.hwnd());
    ::SetActiveWindow(dialog);
    EXPECT_EQ(::GetFocus(), close) << "the focus back on Close";
    for (const bool on_button : {true, false}) {
      if (!on_button) {  // the same dialog again, for Enter on the dialog itself
        Press(form, "Command2");
        ASSERT_TRUE(PumpUntil(form, [&] { return !Running(form) && ProgressDialog(form); }));
      }
      HWND target = on_button ? ::GetDlgItem(ProgressDialog(form), IDCANCEL) : ProgressDialog(form);
      ::SetFocus(target);
      MSG enter{target, WM_KEYDOWN, VK_RETURN, 0, 0, {}};
      ASSERT_TRUE(form.PreTranslate(enter));
      EXPECT_TRUE(PumpUntil(form, [&] { return !ProgressDialog(form); }))
          << "Enter on " << (on_button ? "Close" : "the dialog") << " closes it";
    }
  }
}

TEST(Form1, LongRunTellsItIsWritten) {
  WorkingFolder folder;
  Form1 form(::GetModuleHandleW(nullptr));
  form.Show(SW_SHOWNORMAL);
  form.SetProgressDelay(0);
  Type(form, {L"0", L"20000", L"0", L"1000", L"1"});  // 470 MB
  Press(form, "Command2");
  ASSERT_TRUE(PumpUntil(form, [&] { return !Running(form); }));
  ASSERT_NE(ProgressDialog(form), nullptr);
  EXPECT_EQ(Text(ProgressDialog(form)), L"tessaplan");
  RECT dialog{};
  RECT owner{};
  ::GetWindowRect(ProgressDialog(form), &dialog);
  ::GetWindowRect(form.hwnd(), &owner);
  const POINT middle = {(dialog.left + dialog.right) / 2, (dialog.top + dialog.bottom) / 2};
  EXPECT_TRUE(::PtInRect(&owner, middle)) << "the dialog lies over the window";
  HWND close = ::GetDlgItem(ProgressDialog(form), IDCANCEL);
  EXPECT_EQ(Text(close), L"Close");
  HWND bar = ::FindWindowExW(ProgressDialog(form), nullptr, PROGRESS_CLASSW, nullptr);
  EXPECT_EQ(::SendMessageW(bar, PBM_GETPOS, 0, 0), 1000);
  HWND label = ::FindWindowExW(ProgressDialog(form), nullptr, L"STATIC", nullptr);
  const std::wstring done = Text(label);
  EXPECT_EQ(done.rfind(L"Done: " + folder.path().wstring() + L"\\newgrid.txt is written (", 0), 0u)
      << std::string(done.begin(), done.end());
  EXPECT_EQ(::GetFocus(), close);
  ::SendMessageW(close, BM_CLICK, 0, 0);
  EXPECT_EQ(ProgressDialog(form), nullptr);
}

class KeyTest : public testing::TestWithParam<cases::EnterCase> {};

// Enter on a focused button presses it; in a field it does nothing, for there is no default
// button.
TEST_P(KeyTest, EnterPressesOnlyAFocusedButton) {
  WorkingFolder folder;
  Form1 form(::GetModuleHandleW(nullptr));
  form.Show(SW_SHOWNORMAL);
  BoxWatcher watcher;
  HWND control = Item(form, GetParam().control);
  ::SetFocus(control);
  MSG enter{control, WM_KEYDOWN, VK_RETURN, 0, 0, {}};
  EXPECT_TRUE(form.PreTranslate(enter));
  const std::string effect = GetParam().effect;
  if (effect == "closed") {
    EXPECT_TRUE(PumpUntil(form, [&] { return !form.hwnd(); }));
    return;
  }
  ASSERT_TRUE(PumpUntil(form, [&] { return !Running(form); }));
  if (effect.empty()) {
    EXPECT_TRUE(watcher.boxes.empty());
  } else {
    ASSERT_EQ(watcher.boxes.size(), 1u);
    EXPECT_EQ(watcher.boxes[0].text.rfind(sys::Utf16(effect), 0), 0u);
  }
  EXPECT_EQ(folder.Entries(), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Keys, KeyTest, testing::ValuesIn(cases::kEnterCases),
                         testing_support::CaseName());

// At every DPI a monitor may have, every caption fits its control in the window's font.
TEST(Form1, EveryCaptionFitsAtEveryDpi) {
  Form1 form(::GetModuleHandleW(nullptr));
  for (const unsigned dpi : {96u, 120u, 144u, 192u}) {
    MoveToDpi(form, dpi);
    for (const char* name : {"Label6", "Label1", "Label2", "Label3", "Label4", "Label5", "Command1",
                             "Command2", "Command3", "Command4"}) {
      HWND control = Item(form, name);
      HDC dc = ::GetDC(control);
      const HGDIOBJ previous =
          ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(control, WM_GETFONT, 0, 0)));
      const std::wstring caption = Text(control);
      SIZE needed{};
      ::GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &needed);
      ::SelectObject(dc, previous);
      ::ReleaseDC(control, dc);
      RECT box{};
      ::GetClientRect(control, &box);
      const int frame = std::string(name).starts_with("Command") ? 8 : 0;
      EXPECT_LE(needed.cx + frame, box.right) << name << " at " << dpi << " DPI";
      EXPECT_LE(needed.cy, box.bottom) << name << " at " << dpi << " DPI";
    }
  }
}

// Before Run, the Run button says where the grid will go, and for texts that make a grid, how
// much it holds (counted by an independent model of the file, tests/console/reference_grid.py).
// Counts are grouped as the user's locale does: Wine's, from the C or an English locale, by ",".
class RunDescriptionTest : public testing::TestWithParam<cases::RunDescription> {};

// Run's tooltip, its lines broken at LF as the tables write them (a tooltip breaks at CR LF).
std::wstring RunToolTip(Form1& form) {
  wchar_t text[1024] = {};
  TOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.hwnd = form.hwnd();
  tool.uId = reinterpret_cast<UINT_PTR>(Item(form, "Command2"));
  tool.lpszText = text;
  ::SendMessageW(Owned(form, TOOLTIPS_CLASSW), TTM_GETTEXTW, 1024, reinterpret_cast<LPARAM>(&tool));
  std::wstring told(text);
  std::erase(told, L'\r');
  return told;
}

TEST_P(RunDescriptionTest, SaysWhatRunWrites) {
  WorkingFolder folder;
  Form1 form(::GetModuleHandleW(nullptr));
  std::vector<std::wstring> texts;
  for (const char* text : GetParam().texts) {
    texts.push_back(sys::Utf16(text));
  }
  Type(form, texts);
  EXPECT_EQ(RunToolTip(form), L"Writes " + sys::Utf16(GetParam().writes) + L"newgrid.txt in " +
                                  folder.path().wstring() + sys::Utf16(GetParam().told));
}

// Every line of Run's tooltip is whole as it shows over the button, at the system's DPI
// (on_a_display_test.sh sets 96 and 144): each fits the tooltip's client area less its margins,
// where a line cut at its width would lose the end of the folder or of a sentence.
TEST(RunDescription, EveryLineFitsTheTooltip) {
  WorkingFolder folder("wrun");
  Form1 form(::GetModuleHandleW(nullptr));
  form.Show(SW_SHOWNORMAL);
  const int dpi = SystemDpi();
  std::printf("The tooltip at %d DPI\n", dpi);
  {
    Type(form, {L"0", L"400", L"0", L"200", L"2.5"});
    HWND tooltip = Owned(form, TOOLTIPS_CLASSW);
    RECT run{};
    ::GetWindowRect(Item(form, "Command2"), &run);
    ::SetCursorPos((run.left + run.right) / 2, (run.top + run.bottom) / 2);
    ::SendMessageW(tooltip, TTM_POPUP, 0, 0);
    ASSERT_TRUE(PumpUntil(form, [&] { return ::IsWindowVisible(tooltip) != 0; })) << dpi;
    RECT client{};
    ::GetClientRect(tooltip, &client);
    RECT margin{};
    ::SendMessageW(tooltip, TTM_GETMARGIN, 0, reinterpret_cast<LPARAM>(&margin));
    const std::wstring told = RunToolTip(form);
    EXPECT_NE(told.find(L"in " + folder.path().wstring() + L"\n"), told.npos) << sys::Utf8(told);
    const SIZE needed = NeededRoom(tooltip, told);
    EXPECT_LE(needed.cx + margin.left + margin.right, client.right) << dpi << " DPI";
    EXPECT_LE(needed.cy + margin.top + margin.bottom, client.bottom) << dpi << " DPI";
    ::SendMessageW(tooltip, TTM_POP, 0, 0);
  }
}

// Counts of 1000 and more are grouped as the user's locale groups them: ',' in Wine's en-US.
TEST(RunDescription, GroupsDigitsAsTheUsersLocale) {
  WorkingFolder folder;
  Form1 form(::GetModuleHandleW(nullptr));
  Type(form, {L"-1.5", L"1000.25", L"7", L"20", L"3"});
  EXPECT_EQ(RunToolTip(form),
            L"Writes 1,670 points (30.7 kB) to newgrid.txt in " + folder.path().wstring());
}

INSTANTIATE_TEST_SUITE_P(Texts, RunDescriptionTest, testing::ValuesIn(cases::kRunDescriptions),
                         testing_support::CaseName());

// The executable says who it is: file and product version 1.00 in U.S. English, its icon, and a
// manifest that asks for per-monitor DPI awareness and the common controls' visual styles.
TEST(Executable, SaysWhoItIs) {
  const char* path = std::getenv("TESSAPLAN_EXE");
  ASSERT_TRUE(path && *path);
  const std::wstring exe = fs::path(path).wstring();
  DWORD ignored = 0;
  std::vector<char> version(::GetFileVersionInfoSizeW(exe.c_str(), &ignored));
  ASSERT_FALSE(version.empty());
  ASSERT_TRUE(
      ::GetFileVersionInfoW(exe.c_str(), 0, static_cast<DWORD>(version.size()), version.data()));
  const auto value = [&](const wchar_t* name) {
    void* found = nullptr;
    UINT size = 0;
    return ::VerQueryValueW(version.data(), name, &found, &size) && size > 0
               ? std::wstring(static_cast<const wchar_t*>(found))
               : std::wstring(L"(none)");
  };
  EXPECT_EQ(value(L"\\StringFileInfo\\040904B0\\FileVersion"), L"1.00");
  EXPECT_EQ(value(L"\\StringFileInfo\\040904B0\\ProductVersion"), L"1.00");
  EXPECT_EQ(value(L"\\StringFileInfo\\040904B0\\ProductName"), L"tessaplan");
  void* translation = nullptr;
  UINT size = 0;
  ASSERT_TRUE(::VerQueryValueW(version.data(), L"\\VarFileInfo\\Translation", &translation, &size));
  EXPECT_EQ(static_cast<const WORD*>(translation)[0], 0x0409);  // U.S. English
  HMODULE module = ::LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr);
  EXPECT_NE(::FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(14)), nullptr);  // icon
  HRSRC manifest = ::FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_NE(manifest, nullptr);
  const std::string text(static_cast<const char*>(::LockResource(::LoadResource(module, manifest))),
                         ::SizeofResource(module, manifest));
  EXPECT_NE(text.find("PerMonitorV2"), std::string::npos);
  EXPECT_NE(text.find("Microsoft.Windows.Common-Controls"), std::string::npos);
  ::FreeLibrary(module);
}

// A pasted text longer than an edit control's usual 30,000 characters is kept whole.
TEST(Form1, KeepsALongPasteWhole) {
  Form1 form(::GetModuleHandleW(nullptr));
  const std::wstring pasted(50'000, L'7');
  ::SendMessageW(Item(form, "Text1"), EM_REPLACESEL, FALSE,
                 reinterpret_cast<LPARAM>(pasted.c_str()));
  EXPECT_EQ(Text(Item(form, "Text1")).size(), 4095u);  // as much as Text() reads
  EXPECT_EQ(::GetWindowTextLengthW(Item(form, "Text1")), 50'000);
}

// The decimal separator is the user's own, as Region settings set it (here a decimal comma),
// read when Run is pressed.
TEST(UserLocale, GivesTheUsersDecimalSeparator) {
  wchar_t saved[8] = {};
  ASSERT_GT(::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, saved, 8), 0);
  ASSERT_TRUE(::SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, L","));
  const char comma = UserDecimalSeparator();
  ASSERT_TRUE(::SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, L"\u066B"));
  const char arabic = UserDecimalSeparator();  // not ASCII: the fields take '.'
  ::SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, saved);
  EXPECT_EQ(comma, ',');
  EXPECT_EQ(arabic, '.');
}

}  // namespace
}  // namespace window
