#include "grid/grid_layout.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "file/writer.h"
#include "grid/format_single.h"

namespace grid {
namespace {

// What each line holds around its x, y and numbers: x, y, "r" row "c" column.
constexpr std::string_view kBeforeY = ",";
constexpr std::string_view kBeforeRow = ",\"r";
constexpr std::string_view kBeforeColumn = "c";
constexpr std::string_view kLineEnd = "\"\r\n";

char* AppendNumber(char* out, int number) {
  return std::to_chars(out, out + 5, number).ptr;
}

char* AppendText(char* out, std::string_view text) {
  return std::copy(text.begin(), text.end(), out);
}

}  // namespace

GridMeasure MeasureGrid(const GridInputs& inputs, const GridCounts& counts) {
  GridMeasure measure{.counts = counts, .bytes = kGridHeader.size(), .last_point = {}};
  if (counts.points() == 0) {
    return measure;
  }
  float last_x = 0.0f;
  float last_y = 0.0f;
  std::uint64_t rows_size = 0;
  StepAxis(inputs.min_y, inputs.spacing, counts.rows(), [&](int index, float y) {
    rows_size += kBeforeY.size() + SingleTextSize(y) + kBeforeRow.size() +
                 DigitCount(static_cast<std::uint32_t>(index + 1)) + kBeforeColumn.size();
    last_y = y;
  });
  std::uint64_t columns_size = 0;
  StepAxis(inputs.min_x, inputs.spacing, counts.columns(), [&](int index, float x) {
    columns_size +=
        SingleTextSize(x) + DigitCount(static_cast<std::uint32_t>(index + 1)) + kLineEnd.size();
    last_x = x;
  });
  measure.bytes += columns_size * static_cast<std::uint64_t>(counts.rows()) +
                   rows_size * static_cast<std::uint64_t>(counts.columns());
  measure.last_point = FormatSingle(last_x) + "," + FormatSingle(last_y);
  return measure;
}

GridLines::GridLines(const GridInputs& inputs, const GridCounts& counts) {
  // Copying whole slots writes past the line's end, up to the end of the middle slot.
  static_assert(kMaxSingleText + sizeof(RowText::middle) <= file::Writer::kLineRoom);
  if (counts.points() == 0) {
    return;
  }
  rows_.resize(static_cast<std::size_t>(counts.rows()));
  StepAxis(inputs.min_y, inputs.spacing, counts.rows(), [&](int index, float y) {
    RowText& text = rows_[static_cast<std::size_t>(index)];
    char* end = AppendText(text.middle.data(), kBeforeY);
    end = FormatSingle(y, end);
    end = AppendText(end, kBeforeRow);
    end = AppendNumber(end, index + 1);
    end = AppendText(end, kBeforeColumn);
    text.size = static_cast<std::uint8_t>(end - text.middle.data());
  });
  columns_.resize(static_cast<std::size_t>(counts.columns()));
  StepAxis(inputs.min_x, inputs.spacing, counts.columns(), [&](int index, float x) {
    ColumnText& text = columns_[static_cast<std::size_t>(index)];
    text.x_size = static_cast<std::uint8_t>(FormatSingle(x, text.x.data()) - text.x.data());
    char* end = AppendNumber(text.tail.data(), index + 1);
    end = AppendText(end, kLineEnd);
    text.tail_size = static_cast<std::uint8_t>(end - text.tail.data());
  });
}

std::string_view GridLines::X(std::size_t column) const {
  return {columns_[column].x.data(), columns_[column].x_size};
}

std::string_view GridLines::Y(std::size_t row) const {
  const std::string_view middle(rows_[row].middle.data(), rows_[row].size);
  const std::size_t y_end = middle.find(kBeforeRow);
  return middle.substr(kBeforeY.size(), y_end - kBeforeY.size());
}

std::string_view GridLines::RowName(std::size_t row) const {
  const std::string_view middle(rows_[row].middle.data(), rows_[row].size);
  return middle.substr(middle.find(kBeforeRow) + kBeforeRow.size() - 1);
}

std::string_view GridLines::ColumnName(std::size_t column) const {
  return {columns_[column].tail.data(), columns_[column].tail_size - kLineEnd.size()};
}

// Three slots copied whole a line.
void GridLines::WriteColumn(file::Writer& file, std::size_t column) const {
  const ColumnText& x = columns_[column];
  for (const RowText& row : rows_) {
    char* line = file.LineStart();
    std::memcpy(line, x.x.data(), sizeof x.x);
    line += x.x_size;
    std::memcpy(line, row.middle.data(), sizeof row.middle);
    line += row.size;
    std::memcpy(line, x.tail.data(), sizeof x.tail);
    file.LineEnd(line + x.tail_size);
  }
}

}  // namespace grid
