// The cases both window tests check, each with its own toolkit's driving: every control as the
// window draws it at 96 DPI, the tab order, what Enter does where, and what Run's tooltip says
// for typed texts. Literal
// values, never read from the design table they check.
#pragma once

#include <array>

namespace window::cases {

// A control at 96 DPI, 15 twips a pixel, in the window's client area, and its caption (a field's
// accessible name).
struct PlacedControl {
  const char* name;
  const char* caption;
  int left;
  int top;
  int width;
  int height;
};

// clang-format off
inline constexpr PlacedControl kControlsAt96Dpi[] = {
    {"Label6", "Lattisk 1.0", 168, 0, 89, 25},
    {"Label7", "This program will generate a regular, square grid which is based upon the min/max coordinates and grid spacing entered below.", 88, 24, 257, 41},
    {"Label1", "Minimum x value", 8, 104, 89, 17},
    {"Text1", "Minimum x value", 112, 104, 113, 25},
    {"Label2", "Maximum x value", 8, 152, 89, 25},
    {"Text2", "Maximum x value", 112, 152, 113, 25},
    {"Label3", "Minimum Y value", 8, 200, 89, 17},
    {"Text3", "Minimum Y value", 112, 200, 113, 25},
    {"Label4", "Maximum Y value", 8, 248, 89, 17},
    {"Text4", "Maximum Y value", 112, 248, 113, 25},
    {"Label5", "Grid Spacing", 8, 296, 81, 17},
    {"Text5", "Grid Spacing", 112, 296, 113, 25},
    {"Command2", "Run", 328, 120, 65, 33},
    {"Command1", "Help", 328, 176, 65, 33},
    {"Command4", "contact info", 328, 232, 65, 33},
    {"Command3", "quit", 328, 288, 65, 33},
};
// clang-format on

// Tab from the first field, where the focus starts, round to it again.
inline constexpr const char* kTabOrder[] = {"Text1",    "Text2",    "Text3",    "Text4",
                                            "Text5",    "Command2", "Command3", "Command1",
                                            "Command4", "Text1"};

// What Enter (Return) does on or in a focused control, with the fields empty: the box it brings
// up (how its text begins), "closed" for the window closing, or nothing: a button is pressed,
// a field presses nothing, for the window has no default button.
struct EnterCase {
  const char* name;
  const char* control;
  const char* effect;
};

inline constexpr EnterCase kEnterCases[] = {
    {"on Run", "Command2", "Run-time error 1"},
    {"on Help", "Command1", "This code will"},
    {"on contact info", "Command4", "For more"},
    {"on quit", "Command3", "closed"},
    {"in Text1", "Text1", ""},
    {"in Text2", "Text2", ""},
    {"in Text3", "Text3", ""},
    {"in Text4", "Text4", ""},
    {"in Text5", "Text5", ""},
};

// Run's tooltip for the five texts, typed with '.' as the decimal separator: "Writes " and
// `writes` before "newgrid.txt in " and the folder, `told` after it (what Run would refuse in the
// error box's words, then what the file loses). Counts below 1000, which no
// locale groups.
struct RunDescription {
  const char* name;
  std::array<const char*, 5> texts;
  const char* writes;
  const char* told = "";
};

// clang-format off
inline constexpr RunDescription kRunDescriptions[] = {
    {"empty", {"", "", "", "", ""}, "", "\nRun will stop: Run-time error 1: Type mismatch: \"Minimum x value\" is empty; enter a number."},
    {"one point", {"5", "5", "5", "5", "1"}, "1 point (39 bytes) to "},
    {"six", {"0", "400", "0", "200", "200"}, "6 points (113 bytes) to "},
    {"zero spacing", {"0", "400", "0", "200", "0"}, "", "\nRun will stop: Run-time error 3: Division by zero: \"Grid Spacing\" is 0 (any spacing from -0.5 to 0.5 rounds to 0); enter a whole number other than 0."},
    {"spacing read as 0", {"0", "400", "0", "200", "0.4"}, "", "\nRun will stop: Run-time error 3: Division by zero: \"Grid Spacing\" is 0 (any spacing from -0.5 to 0.5 rounds to 0); enter a whole number other than 0.\n\"Grid Spacing\" 0.4 is used as 0, a whole number."},
    {"not a number", {"0", "4OO", "0", "200", "200"}, "", "\nRun will stop: Run-time error 1: Type mismatch: \"Maximum x value\" is not a number: \"4OO\". Enter digits, with '.' before any decimal places."},
    {"a comma under a full stop", {"0,5", "1", "0", "1", "1"}, "", "\nRun will stop: Run-time error 1: Type mismatch: \"Minimum x value\" is not a number: \"0,5\". Enter digits, with '.' before any decimal places."},
    {"overflow", {"0", "40000", "0", "10", "1"}, "", "\nRun will stop: Run-time error 2: Overflow: the x values span 32767 grid spacings or more, and a grid has at most 32767 columns; enter a larger \"Grid Spacing\" or a smaller range."},
    {"no columns", {"10", "0", "0", "10", "1"}, "0 points (27 bytes) to ", "\nNo point is written: \"Minimum x value\" 10 is above \"Maximum x value\" 0."},
    {"seven digits", {"2000000", "2000005", "13100000", "13100012", "3"}, "10 points (301 bytes) to ", "\n4 of 5 rows are written away from where the fields put them, by up to 4 (row 3: 1.310001E+07, not 13100006).\nRows 1 and 2 are both written as 1.31E+07: points share a written position."},
    {"not reached", {"1.1", "4.1", "0", "0", "1"}, "3 points (69 bytes) to ", "\n\"Maximum x value\" 4.1 is not reached: the last column is at 3.1, though one more spacing, to 4.1, stays within it."},
    {"past the maximum", {"0", "2.99999999", "0", "0", "1"}, "4 points (75 bytes) to ", "\nThe last column, at 3, lies past \"Maximum x value\" 2.99999999."},
};
// clang-format on

}  // namespace window::cases
