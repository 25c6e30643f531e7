// What both windows, the Qt one and the Win32 one, draw: the form's caption and size, its controls
// with their captions, places and sizes in twips, the tab order, and the font the layout was
// drawn for. One table: neither window keeps a copy.
#pragma once

#include <cmath>
#include <cstddef>

namespace window {

inline constexpr const char* kFormName = "Form1";  // its caption too
inline constexpr int kClientWidthTwips = 6255;
inline constexpr int kClientHeightTwips = 5010;
// The layout was drawn for a small dialog font of this size; the window grows with a larger
// desktop font (see FontScale).
inline constexpr double kFontPoints = 8;

enum class ControlKind { label, field, button };

struct TwipRect {
  int left;
  int top;
  int width;
  int height;
};

struct ControlDesign {
  const char* name;
  ControlKind kind;
  const char* caption;  // a label's or button's text; a field's accessible name
  TwipRect twips;
  bool wraps = false;
};

// In the order the controls are made, each field's label right before it: screen readers on
// Windows name a field by the label made before it.
inline constexpr ControlDesign kControls[] = {
    {"Label6", ControlKind::label, "Lattisk 1.0", {2520, 0, 1335, 375}},
    {"Label7",
     ControlKind::label,
     "This program will generate a regular, square grid which is based upon the min/max "
     "coordinates and grid spacing entered below.",
     {1320, 360, 3855, 615},
     true},
    {"Label1", ControlKind::label, "Minimum x value", {120, 1560, 1335, 255}},
    {"Text1", ControlKind::field, "Minimum x value", {1680, 1560, 1695, 375}},
    {"Label2", ControlKind::label, "Maximum x value", {120, 2280, 1335, 375}},
    {"Text2", ControlKind::field, "Maximum x value", {1680, 2280, 1695, 375}},
    {"Label3", ControlKind::label, "Minimum Y value", {120, 3000, 1335, 255}},
    {"Text3", ControlKind::field, "Minimum Y value", {1680, 3000, 1695, 375}},
    {"Label4", ControlKind::label, "Maximum Y value", {120, 3720, 1335, 255}},
    {"Text4", ControlKind::field, "Maximum Y value", {1680, 3720, 1695, 375}},
    {"Label5", ControlKind::label, "Grid Spacing", {120, 4440, 1215, 255}},
    {"Text5", ControlKind::field, "Grid Spacing", {1680, 4440, 1695, 375}},
    {"Command2", ControlKind::button, "Run", {4920, 1800, 975, 495}},
    {"Command1", ControlKind::button, "Help", {4920, 2640, 975, 495}},
    {"Command4", ControlKind::button, "contact info", {4920, 3480, 975, 495}},
    {"Command3", ControlKind::button, "quit", {4920, 4320, 975, 495}},
};

// The fields, then Run, quit, Help and contact info; the focus starts in the first.
inline constexpr const char* kTabOrder[] = {"Text1",    "Text2",    "Text3",    "Text4",   "Text5",
                                            "Command2", "Command3", "Command1", "Command4"};

// Pixels for `twips` at `dpi` dots per inch (1440 twips an inch: 15 a pixel at 96 DPI), grown
// by `scale`.
inline int TwipsToPixels(int twips, double dpi, double scale = 1.0) {
  return static_cast<int>(std::lround(twips * dpi * scale / 1440.0));
}

// How much the window grows with the desktop's interface font: its size over the size the
// toolkit takes when the desktop sets none (9 points), never below 1, so that the default look
// at the default size is the layout's own.
inline double FontScale(double desktop_points) {
  constexpr double kDefaultDesktopPoints = 9;
  return desktop_points > kDefaultDesktopPoints ? desktop_points / kDefaultDesktopPoints : 1.0;
}

}  // namespace window
