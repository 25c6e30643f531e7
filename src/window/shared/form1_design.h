// What both windows, the Qt one and the Win32 one, draw: the form's caption and size, its controls
// with their captions, places and sizes in twips, the tab order, and the font the layout was
// drawn for. One table: neither window keeps a copy.
#pragma once

#include <cmath>
#include <cstddef>
#include <iterator>
#include <optional>

#include "grid/fields.h"

namespace window {

inline constexpr const char* kFormName = "Form1";  // its caption too
inline constexpr int kClientWidthTwips = 6255;
inline constexpr int kClientHeightTwips = 5010;
// The layout was drawn for a small dialog font of this size; the window grows with a larger
// desktop font (see FontScale).
inline constexpr double kFontPoints = 8;

enum class ControlKind { label, field, button };

// The form's controls by the design's names, in the order they are made, each field's label
// right before it: screen readers on Windows name a field by the label made before it.
enum class Control {
  Label6,    // the program's name and version
  Label7,    // what the program does
  Label1,    // Text1's caption
  Text1,     // the minimum x value
  Label2,    // Text2's caption
  Text2,     // the maximum x value
  Label3,    // Text3's caption
  Text3,     // the minimum y value
  Label4,    // Text4's caption
  Text4,     // the maximum y value
  Label5,    // Text5's caption
  Text5,     // the grid spacing
  Command2,  // Run
  Command1,  // Help
  Command4,  // contact info
  Command3,  // quit
};

struct TwipRect {
  int left;
  int top;
  int width;
  int height;
};

struct ControlDesign {
  Control control;
  const char* name;  // the design's name, the toolkit's object name
  ControlKind kind;
  const char* caption;  // a label's or button's text; a field's accessible name
  TwipRect twips;
  std::optional<grid::Field> field = std::nullopt;  // the field it is, or whose caption
  bool wraps = false;
};

// A field of the core's table, or its caption: the words the core's messages name it by.
constexpr ControlDesign FieldDesign(Control control, const char* name, ControlKind kind,
                                    grid::Field field, TwipRect twips) {
  return {control, name, kind, grid::Caption(field), twips, field};
}

inline constexpr ControlDesign kControls[] = {
    {Control::Label6, "Label6", ControlKind::label, "Lattisk 1.0", {2520, 0, 1335, 375}},
    {Control::Label7,
     "Label7",
     ControlKind::label,
     "This program will generate a regular, square grid which is based upon the min/max "
     "coordinates and grid spacing entered below.",
     {1320, 360, 3855, 615},
     std::nullopt,
     true},
    FieldDesign(Control::Label1, "Label1", ControlKind::label, grid::Field::min_x,
                {120, 1560, 1335, 255}),
    FieldDesign(Control::Text1, "Text1", ControlKind::field, grid::Field::min_x,
                {1680, 1560, 1695, 375}),
    FieldDesign(Control::Label2, "Label2", ControlKind::label, grid::Field::max_x,
                {120, 2280, 1335, 375}),
    FieldDesign(Control::Text2, "Text2", ControlKind::field, grid::Field::max_x,
                {1680, 2280, 1695, 375}),
    FieldDesign(Control::Label3, "Label3", ControlKind::label, grid::Field::min_y,
                {120, 3000, 1335, 255}),
    FieldDesign(Control::Text3, "Text3", ControlKind::field, grid::Field::min_y,
                {1680, 3000, 1695, 375}),
    FieldDesign(Control::Label4, "Label4", ControlKind::label, grid::Field::max_y,
                {120, 3720, 1335, 255}),
    FieldDesign(Control::Text4, "Text4", ControlKind::field, grid::Field::max_y,
                {1680, 3720, 1695, 375}),
    FieldDesign(Control::Label5, "Label5", ControlKind::label, grid::Field::spacing,
                {120, 4440, 1215, 255}),
    FieldDesign(Control::Text5, "Text5", ControlKind::field, grid::Field::spacing,
                {1680, 4440, 1695, 375}),
    {Control::Command2, "Command2", ControlKind::button, "Run", {4920, 1800, 975, 495}},
    {Control::Command1, "Command1", ControlKind::button, "Help", {4920, 2640, 975, 495}},
    {Control::Command4, "Command4", ControlKind::button, "contact info", {4920, 3480, 975, 495}},
    {Control::Command3, "Command3", ControlKind::button, "quit", {4920, 4320, 975, 495}},
};

inline constexpr const ControlDesign& Design(Control control) {
  return kControls[static_cast<std::size_t>(control)];
}

// The control where `field` is typed.
constexpr Control FieldControl(grid::Field field) {
  for (const ControlDesign& design : kControls) {
    if (design.kind == ControlKind::field && design.field == field) {
      return design.control;
    }
  }
  throw "every field has its control";  // not constant: a design without it does not build
}

// The fields, then Run, quit, Help and contact info; the focus starts in the first.
inline constexpr Control kTabOrder[] = {Control::Text1,    Control::Text2,    Control::Text3,
                                        Control::Text4,    Control::Text5,    Control::Command2,
                                        Control::Command3, Control::Command1, Control::Command4};

static_assert(grid::InEnumerationOrder(kControls, &ControlDesign::control),
              "kControls lists the controls as Control does");

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
