#include "grid/grid_inputs.h"

#include <cmath>
#include <string>
#include <string_view>
#include <utility>

#include "file/shown_text.h"
#include "grid/text_to_number.h"

namespace grid {
namespace {

constexpr int kLastNumber = 32767;  // rows and columns are numbered in 16 bits

// A field's text as a message shows it: in quotes, escaped (a pasted line end shows as \r), and
// a long text cut after 40 characters.
std::string InDoubleQuotes(std::string_view text) {
  std::string quoted = "\"";
  quoted.append(file::Escaped(text, 40)).append("\"");
  return quoted;
}

bool IsBlank(std::string_view text) {
  return text.find_first_not_of(" \t") == std::string_view::npos;
}

// The error names the field, and the window puts the focus there.
RunError ConversionError(ParseStatus status, Field field, std::string_view text,
                         std::string_view range, char decimal_separator) {
  const std::string caption = InDoubleQuotes(Caption(field));
  if (status == ParseStatus::out_of_range) {
    return RunError(
        ErrorKind::overflow,
        caption + " must be " + std::string(range) + ", not " + InDoubleQuotes(text) + ".", field);
  }
  if (IsBlank(text)) {
    return RunError(ErrorKind::type_mismatch, caption + " is empty; enter a number.", field);
  }
  return RunError(ErrorKind::type_mismatch,
                  caption + " is not a number: " + InDoubleQuotes(text) + ". Enter digits, with '" +
                      std::string(1, decimal_separator) + "' before any decimal places.",
                  field);
}

std::optional<RunError> ConvertCoordinate(Field field, std::string_view text,
                                          char decimal_separator, float& value) {
  const ParseResult<float> result = ParseSingle(text, decimal_separator);
  if (result.status != ParseStatus::ok) {
    return ConversionError(result.status, field, text, "between -3.402823E+38 and 3.402823E+38",
                           decimal_separator);
  }
  value = result.value;
  return std::nullopt;
}

// One text for every overflow of a count, whether the floor or the numbering past it.
std::string TooMany(std::string_view lines, std::string_view axis) {
  return "the " + std::string(axis) + " values span 32767 grid spacings or more, and a grid " +
         "has at most 32767 " + std::string(lines) + "; enter a larger " +
         InDoubleQuotes(Caption(Field::spacing)) + " or a smaller range.";
}

// The whole spacings from `min` to `max`: the difference is taken in double precision, not
// rounded back to single, so that 4.1 - 1.1 stays just below 3 and gives 2. Every error about
// the counts is one to mend in the spacing.
std::optional<RunError> CountSpacings(float min, float max, std::int16_t spacing,
                                      std::string_view lines, std::string_view axis, int& count) {
  if (spacing == 0) {
    return RunError(ErrorKind::division_by_zero,
                    InDoubleQuotes(Caption(Field::spacing)) +
                        " is 0 (any spacing from -0.5 to 0.5 rounds to 0); enter a whole number "
                        "other than 0.",
                    Field::spacing);
  }
  const double quotient =
      (static_cast<double>(max) - static_cast<double>(min)) / static_cast<double>(spacing);
  if (!std::isfinite(quotient)) {
    return RunError(
        ErrorKind::arithmetic,
        "the number of " + std::string(lines) + " cannot be computed from these values.",
        Field::spacing);
  }
  const double whole = std::floor(quotient);
  if (whole < INT16_MIN || whole > INT16_MAX) {
    return RunError(ErrorKind::overflow, TooMany(lines, axis), Field::spacing);
  }
  count = static_cast<int>(whole);
  return std::nullopt;
}

}  // namespace

Checked<GridInputs> CheckInputs(const FieldTexts& texts, char decimal_separator) {
  Checked<GridInputs> checked;
  GridInputs& inputs = checked.value;
  const std::pair<Field, float*> coordinates[] = {{Field::min_x, &inputs.min_x},
                                                  {Field::max_x, &inputs.max_x},
                                                  {Field::min_y, &inputs.min_y},
                                                  {Field::max_y, &inputs.max_y}};
  for (const auto& [field, value] : coordinates) {
    if ((checked.error = ConvertCoordinate(field, Text(texts, field), decimal_separator, *value))) {
      return checked;
    }
  }
  const ParseResult<std::int16_t> spacing = ParseInt16(texts.spacing, decimal_separator);
  if (spacing.status != ParseStatus::ok) {
    checked.error = ConversionError(spacing.status, Field::spacing, texts.spacing,
                                    "a whole number from -32768 to 32767", decimal_separator);
    return checked;
  }
  inputs.spacing = spacing.value;
  return checked;
}

Checked<GridCounts> CheckCounts(const GridInputs& inputs) {
  Checked<GridCounts> checked;
  GridCounts& counts = checked.value;
  if ((checked.error = CountSpacings(inputs.min_y, inputs.max_y, inputs.spacing, "rows", "y",
                                     counts.row_count)) ||
      (checked.error = CountSpacings(inputs.min_x, inputs.max_x, inputs.spacing, "columns", "x",
                                     counts.column_count))) {
    return checked;
  }
  // Numbers run from 1 to count + 1, so a count of 32767 cannot be numbered. Rows are only
  // numbered inside a column: without columns, any row count is harmless.
  if (counts.column_count == kLastNumber) {
    checked.error = RunError(ErrorKind::overflow, TooMany("columns", "x"), Field::spacing);
  } else if (counts.row_count == kLastNumber && counts.column_count >= 0) {
    checked.error = RunError(ErrorKind::overflow, TooMany("rows", "y"), Field::spacing);
  }
  return checked;
}

GridInputs ConvertInputs(const FieldTexts& texts, char decimal_separator) {
  Checked<GridInputs> checked = CheckInputs(texts, decimal_separator);
  if (checked.error) {
    throw *checked.error;
  }
  return checked.value;
}

GridCounts CountGrid(const GridInputs& inputs) {
  Checked<GridCounts> checked = CheckCounts(inputs);
  if (checked.error) {
    throw *checked.error;
  }
  return checked.value;
}

}  // namespace grid
