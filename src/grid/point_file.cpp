#include "grid/point_file.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>

#include "file/writer.h"
#include "grid/exact_decimal.h"
#include "grid/format_single.h"
#include "grid/grid_inputs.h"

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

// `size` bytes from `from` to `at`, as one copy of 8, 16 or 32 bytes where one holds them, which
// may read and write past them.
char* CopyText(char* at, const char* from, std::size_t size) {
  if (size <= 8) {
    std::memcpy(at, from, 8);
  } else if (size <= 16) {
    std::memcpy(at, from, 16);
  } else {
    std::memcpy(at, from, size <= PointLines::kCopySize ? PointLines::kCopySize : size);
  }
  return at + size;
}

// Each line's coordinate as the grid writes it, in plain decimal digits.
std::vector<std::string> PlainValues(float first, std::int16_t spacing, int count) {
  std::vector<std::string> values;
  StepAxis(first, spacing, count,
           [&](int, float value) { values.push_back(PlainDecimal(FormatSingle(value))); });
  return values;
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

PointLines::PointLines(const GridInputs& inputs, const GridCounts& counts,
                       const PointFileOptions& options)
    : northing_first_(options.northing_first) {
  const std::string first_number = std::to_string(options.first_number);
  leading_size_ = first_number.size() - 1;
  std::copy_n(first_number.begin(), leading_size_, leading_digits_.begin());
  last_digit_ = first_number.back() - '0';
  last_number_ = options.first_number + counts.points() - 1;
  if (counts.points() == 0) {
    return;
  }
  // The elevation and ",r" go with whichever part comes second.
  const std::string after = "," + options.elevation + ",r";
  const std::vector<std::string> eastings =
      PlainValues(inputs.min_x, inputs.spacing, counts.columns());
  const std::vector<std::string> northings =
      PlainValues(inputs.min_y, inputs.spacing, counts.rows());
  std::size_t longest_column = 0;
  std::uint64_t column_bytes = 0;  // of one line of each column
  for (std::size_t i = 0; i < eastings.size(); ++i) {
    columns_.push_back({Keep({",", eastings[i], northing_first_ ? after : ""}),
                        Keep({"c", std::to_string(i + 1), "\r\n"})});
    const std::size_t size = columns_.back().part.size + columns_.back().tail.size;
    longest_column = std::max(longest_column, size);
    column_bytes += size;
  }
  std::size_t longest_row = 0;
  std::uint64_t row_bytes = 0;  // of one line of each row
  for (std::size_t i = 0; i < northings.size(); ++i) {
    rows_.push_back(
        {Keep({",", northings[i], northing_first_ ? "" : after}), Keep({std::to_string(i + 1)})});
    const std::size_t size = rows_.back().part.size + rows_.back().name.size;
    longest_row = std::max(longest_row, size);
    row_bytes += size;
  }
  text_.append(kCopySize, '\0');
  longest_line_ = std::to_string(last_number_).size() + longest_column + longest_row;
  bytes_ = DigitsFromTo(options.first_number, last_number_) + rows_.size() * column_bytes +
           columns_.size() * row_bytes;
}

PointLines::Piece PointLines::Keep(std::initializer_list<std::string_view> texts) {
  const std::size_t start = text_.size();
  for (const std::string_view text : texts) {
    text_.append(text);
  }
  return {static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(text_.size() - start)};
}

void PointLines::WriteColumn(file::Writer& file, std::size_t column) {
  // What the lines share is read once, into locals: a store through a char pointer might
  // change any member, which would then be read again after each line.
  const char* const text = text_.data();
  const Piece column_part = columns_[column].part;
  const Piece column_tail = columns_[column].tail;
  const bool northing_first = northing_first_;
  // Copying whole pieces writes up to kCopySize bytes past the line's end.
  const std::size_t room = longest_line_ + kCopySize;
  int last_digit = last_digit_;
  for (const RowPieces& row : rows_) {
    char* line = CopyText(file.LineStart(room), leading_digits_.data(), leading_size_);
    *line++ = static_cast<char>('0' + last_digit);
    const Piece first = northing_first ? row.part : column_part;
    const Piece second = northing_first ? column_part : row.part;
    line = CopyText(line, text + first.offset, first.size);
    line = CopyText(line, text + second.offset, second.size);
    line = CopyText(line, text + row.name.offset, row.name.size);
    file.LineEnd(CopyText(line, text + column_tail.offset, column_tail.size));
    if (++last_digit == 10) {
      last_digit = 0;
      CountOnLeading();
    }
  }
  last_digit_ = last_digit;
}

void PointLines::CountOnLeading() {
  if (!CountOn(leading_digits_.data(), leading_digits_.data() + leading_size_)) {
    // They were all nines, now zeros: one more digit, and a one before them.
    leading_digits_[leading_size_++] = '0';
    leading_digits_[0] = '1';
  }
}

}  // namespace grid
