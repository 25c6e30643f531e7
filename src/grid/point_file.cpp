#include "grid/point_file.h"

#include <algorithm>
#include <optional>

#include "grid/format_single.h"
#include "grid/grid_file.h"
#include "grid/grid_inputs.h"
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
  const auto written_out =
      std::max(decimal->exponent + 1, std::int64_t{1}) +
      std::max(static_cast<std::int64_t>(digits.size()) - decimal->exponent - 1, std::int64_t{0});
  if (written_out > kPlainDigitsLimit) {
    return {};
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
    : northing_first_(options.northing_first), number_(std::to_string(options.first_number)) {
  last_number_ = options.first_number + counts.points() - 1;
  if (counts.points() == 0) {
    return;
  }
  const auto step = static_cast<float>(inputs.spacing);
  const Axis columns = MakeAxis(inputs.min_x, counts.columns(), step);
  const Axis rows = MakeAxis(inputs.min_y, counts.rows(), step);
  // The elevation and ",r" go with whichever part comes second.
  const std::string after = "," + options.elevation + ",r";
  for (std::size_t i = 0; i < columns.values.size(); ++i) {
    column_parts_.push_back("," + columns.values[i] + (northing_first_ ? after : ""));
    column_tails_.push_back("c" + columns.names[i] + "\r\n");
  }
  for (std::size_t i = 0; i < rows.values.size(); ++i) {
    row_parts_.push_back("," + rows.values[i] + (northing_first_ ? "" : after));
    row_names_.push_back(rows.names[i]);
  }
  bytes_ = DigitsFromTo(options.first_number, last_number_);
  for (std::size_t i = 0; i < column_parts_.size(); ++i) {
    bytes_ += row_parts_.size() * (column_parts_[i].size() + column_tails_[i].size());
  }
  for (std::size_t i = 0; i < row_parts_.size(); ++i) {
    bytes_ += column_parts_.size() * (row_parts_[i].size() + row_names_[i].size());
  }
}

void PointLines::WriteColumn(GridFile& file, std::size_t column) {
  const std::string& column_part = column_parts_[column];
  const std::string& tail = column_tails_[column];
  for (std::size_t row = 0; row < row_parts_.size(); ++row) {
    const std::string& first = northing_first_ ? row_parts_[row] : column_part;
    const std::string& second = northing_first_ ? column_part : row_parts_[row];
    const std::string_view pieces[] = {number_, first, second, row_names_[row], tail};
    std::size_t size = 0;
    for (const std::string_view piece : pieces) {
      size += piece.size();
    }
    if (size <= GridFile::kLineRoom) {  // the usual line: copied straight into the buffer
      char* line = file.LineStart();
      for (const std::string_view piece : pieces) {
        line = std::copy(piece.begin(), piece.end(), line);
      }
      file.LineEnd(line);
    } else {
      for (const std::string_view piece : pieces) {
        file.Append(piece);
      }
    }
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
