// The window's five texts as the grid takes them: converted to the types its fields hold, and
// counted into rows and columns, each with the error Run raises for texts that make no grid.
#pragma once

#include <cstdint>
#include <optional>

#include "grid/fields.h"
#include "grid/run_error.h"

namespace grid {

// The fields converted: coordinates in single precision, the spacing a 16-bit whole number.
struct GridInputs {
  float min_x = 0.0f;
  float max_x = 0.0f;
  float min_y = 0.0f;
  float max_y = 0.0f;
  std::int16_t spacing = 0;
};

// How many whole spacings lie from each minimum to its maximum (the floor, so possibly
// negative). A grid has count + 1 rows or columns, and none when the count is negative.
struct GridCounts {
  int row_count = 0;
  int column_count = 0;

  int rows() const { return row_count < 0 ? 0 : row_count + 1; }
  int columns() const { return column_count < 0 ? 0 : column_count + 1; }
  // A column with no rows writes nothing.
  std::uint64_t points() const {
    return rows() == 0 ? 0
                       : static_cast<std::uint64_t>(rows()) * static_cast<std::uint64_t>(columns());
  }
};

// Each of an axis's `count` values as the grid writes them, from `first`: the one before plus
// the spacing, rounded to single precision at every step, never first + index * spacing. The
// file shows the difference: beyond 2^24, adding 1 to a coordinate leaves it unchanged, so such
// a grid repeats its values. Calls `each(index, value)`, index from 0.
template <typename Each>
void StepAxis(float first, std::int16_t spacing, int count, Each&& each) {
  const auto step = static_cast<float>(spacing);
  float value = first;
  for (int index = 0; index < count; ++index) {
    each(index, value);
    value = value + step;
  }
}

// A result, or the error that stands in its place.
template <typename Value>
struct Checked {
  Value value{};
  std::optional<RunError> error{};
};

// Converts the five texts in field order: a Type mismatch error for a text that is not a
// number, an Overflow error for one beyond the range of its type, naming the field.
Checked<GridInputs> CheckInputs(const FieldTexts& texts, char decimal_separator);
// Counts the rows (first) and the columns of the grid and checks that every point can be
// numbered: Division by zero for a zero spacing, and Overflow for a count beyond the 16-bit
// range or a row or column number that would pass 32767.
Checked<GridCounts> CheckCounts(const GridInputs& inputs);

// The same, raising the error.
GridInputs ConvertInputs(const FieldTexts& texts, char decimal_separator);
GridCounts CountGrid(const GridInputs& inputs);

}  // namespace grid
