// The grid's own format: its header, then a line for each point,
//   x "," y ",\"r" row "c" column "\"\r\n"
// column by column and row by row within a column. Within one column only y and the row number
// change, while every column repeats the same y values, so a line is assembled from texts made
// once for each column and once for each row, never once for each point; and the file is
// measured from the sizes of those texts without making them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "grid/grid_inputs.h"

namespace file {
class Writer;
}

namespace grid {

// The grid's file, in the current folder, unless the user names another.
inline constexpr std::string_view kGridFileName = "newgrid.txt";

// The grid's columns, as its header names them: each point's x, its y, and its "r1c1" name.
inline constexpr std::string_view kEastingColumn = "easting";
inline constexpr std::string_view kNorthingColumn = "northing";
inline constexpr std::string_view kGridHeader = "\"easting\",\"northing\",\"ID\"\r\n";
static_assert(kGridHeader.substr(1, kEastingColumn.size()) == kEastingColumn &&
              kGridHeader.substr(kEastingColumn.size() + 4, kNorthingColumn.size()) ==
                  kNorthingColumn);

// What the grid's file holds, found without writing it.
struct GridMeasure {
  GridCounts counts;
  std::uint64_t bytes = 0;  // the file's size, its header included
  // The last point as the file writes it, "x,y"; empty for a grid without points.
  std::string last_point;
};
// In well under a millisecond for the largest grid: a coordinate's text is made only where its
// size takes more than counting digits.
GridMeasure MeasureGrid(const GridInputs& inputs, const GridCounts& counts);

// The lines of one grid, their texts made once, in fixed-size slots that are copied whole.
class GridLines {
 public:
  GridLines(const GridInputs& inputs, const GridCounts& counts);

  std::size_t Columns() const { return columns_.size(); }
  std::size_t Rows() const { return rows_.size(); }
  // Appends the lines of column `column` (from 0), its rows in order.
  void WriteColumn(file::Writer& file, std::size_t column) const;

  // A point's texts as its line writes them, for a file of another format that holds the same
  // points: its x, its y, and its name's two parts, "r12c" and "5".
  std::string_view X(std::size_t column) const;
  std::string_view Y(std::size_t row) const;
  std::string_view RowName(std::size_t row) const;
  std::string_view ColumnName(std::size_t column) const;

 private:
  struct ColumnText {
    std::array<char, 16> x;    // x
    std::array<char, 8> tail;  // column "\"\r\n"
    std::uint8_t x_size;
    std::uint8_t tail_size;
  };
  struct RowText {
    std::array<char, 32> middle;  // "," y ",\"r" row "c"
    std::uint8_t size;
  };

  std::vector<ColumnText> columns_;
  std::vector<RowText> rows_;
};

}  // namespace grid
