#include "grid/point_file.h"

#include <algorithm>
#include <optional>

#include "grid/format_single.h"
#include "grid/generate_grid.h"
#include "grid/grid_file.h"
#include "grid/text_to_number.h"

namespace grid {
namespace {

// The digits of all numbers from `first` to `last`.
std::uint64_t DigitsFromTo(std::uint64_t first, std::uint64_t last) {
  std::uint64_t digits = 0;
  std::uint64_t band_start = 1;
  for (std::uint64_t width = 1; width <= 19 && band_start <= last; ++width) {
    const std::uint64_t band_end = width == 19 ? last : band_start * 10 - 1;
    const std::uint64_t from = std::max(first, band_start);
    const std::uint64_t to = std::min(last, band_end);
    if (from <= to) {
      digits += (to - from + 1) * width;
    }
    band_start *= 10;
  }
  return digits;
}

// Counts `digits` on by one.
void Increment(std::string& digits) {
  for (auto digit = digits.rbegin(); digit != digits.rend(); ++digit) {
    if (*digit != '9') {
      ++*digit;
      return;
    }
    *digit = '0';
  }
  digits.insert(digits.begin(), '1');
}

}  // namespace

std::string PlainDecimal(std::string_view number, char decimal_separator) {
  const std::optional<Decimal> decimal = ReadDecimal(number, decimal_separator);
  if (!decimal) {
    return {};
  }
  const std::string& digits = decimal->digits;
  if (digits.empty()) {
    return "0";
  }
  std::string plain = decimal->negative ? "-" : "";
  const auto size = static_cast<std::int64_t>(digits.size());
  if (decimal->exponent >= size - 1) {
    plain.append(digits).append(static_cast<std::size_t>(decimal->exponent - size + 1), '0');
  } else if (decimal->exponent >= 0) {
    const auto whole = static_cast<std::size_t>(decimal->exponent + 1);
    plain.append(digits, 0, whole).append(".").append(digits, whole);
  } else {
    plain.append("0.").append(static_cast<std::size_t>(-decimal->exponent - 1), '0');
    plain.append(digits);
  }
  return plain;
}

PointLines::Axis PointLines::MakeAxis(float start, int count, float step) {
  Axis axis;
  float value = start;
  for (int i = 1; i <= count; ++i) {
    axis.values.push_back(PlainDecimal(FormatSingle(value)));
    axis.names.push_back(std::to_string(i));
    value = value + step;  // as the grid advances: rounded to single precision at every step
  }
  return axis;
}

PointLines::PointLines(const GridInputs& inputs, const GridCounts& counts,
                       const PointFileOptions& options)
    : options_(options), number_(std::to_string(options.first_number)) {
  if (counts.points() == 0) {
    last_number_ = options.first_number - 1;
    return;
  }
  const auto step = static_cast<float>(inputs.spacing);
  columns_ = MakeAxis(inputs.min_x, counts.columns(), step);
  rows_ = MakeAxis(inputs.min_y, counts.rows(), step);
  const std::uint64_t points = counts.points();
  last_number_ = options.first_number + points - 1;
  // number "," n "," e "," elevation ",r" row "c" column "\r\n": four commas, 'r', 'c' and
  // the line end around the texts of the point, its column and its row.
  bytes_ =
      DigitsFromTo(options.first_number, last_number_) + points * (8 + options.elevation.size());
  for (std::size_t i = 0; i < columns_.values.size(); ++i) {
    bytes_ += rows_.values.size() * (columns_.values[i].size() + columns_.names[i].size());
  }
  for (std::size_t i = 0; i < rows_.values.size(); ++i) {
    bytes_ += columns_.values.size() * (rows_.values[i].size() + rows_.names[i].size());
  }
}

void PointLines::WriteColumn(GridFile& file, std::size_t column) {
  const std::string& x = columns_.values[column];
  const std::string& column_name = columns_.names[column];
  for (std::size_t row = 0; row < rows_.values.size(); ++row) {
    const std::string& y = rows_.values[row];
    file.Append(number_);
    file.Append(",");
    file.Append(options_.northing_first ? y : x);
    file.Append(",");
    file.Append(options_.northing_first ? x : y);
    file.Append(",");
    file.Append(options_.elevation);
    file.Append(",r");
    file.Append(rows_.names[row]);
    file.Append("c");
    file.Append(column_name);
    file.Append("\r\n");
    Increment(number_);
  }
}

PointFileMeasure MeasurePointFile(const FieldTexts& texts, char decimal_separator,
                                  const PointFileOptions& options) {
  const GridInputs inputs = ConvertInputs(texts, decimal_separator);
  const GridCounts counts = CountGrid(inputs);
  const PointLines lines(inputs, counts, options);
  return {.bytes = lines.Bytes(), .last_number = lines.LastNumber()};
}

}  // namespace grid
