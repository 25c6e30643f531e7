// A point file for survey software, in place of the grid's own format: no header, and a line a
// point in the grid's order, "number,northing,easting,elevation,r1c1" (PNEZD) or easting before
// northing (PENZD), the coordinates being the values newgrid.txt writes, in plain decimal
// digits; comma-separated, CR LF.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "grid/fields.h"

namespace grid {

class GridFile;
struct GridCounts;
struct GridInputs;

struct PointFileOptions {
  bool northing_first = true;  // PNEZD; PENZD otherwise
  std::uint64_t first_number = 1;
  std::string elevation;  // as written: empty, or plain decimal digits
};

// Point numbers stay below this: 15 digits, which survey software reads whole.
inline constexpr std::uint64_t kPointNumberLimit = 1'000'000'000'000'000;

// `number` (a number's text, as newgrid.txt or the user writes it) in plain decimal digits with
// a full stop and no exponent ("1.31E+07" is "13100000"); empty where it is no number, or where
// written out it would pass kPlainDigitsLimit digits ("1e999999").
inline constexpr std::int64_t kPlainDigitsLimit = 100;
std::string PlainDecimal(std::string_view number, char decimal_separator = '.');

// What a run of these texts would write as a point file: its bytes and its last point's number
// (one less than the first for a grid without points). Raises what the run would raise.
struct PointFileMeasure {
  std::uint64_t bytes = 0;
  std::uint64_t last_number = 0;
};
PointFileMeasure MeasurePointFile(const FieldTexts& texts, char decimal_separator,
                                  const PointFileOptions& options);

// The lines of one grid's point file. Like the grid's, a line is assembled from texts made once
// for each column and once for each row:
//   number  "," n "," e "," elevation ",r"  row  "c" column "\r\n"
// where the column's part is "," e "," elevation ",r" (PNEZD) or "," e (PENZD), and the row's
// the rest; only the number is made for each point, counted on in place.
class PointLines {
 public:
  PointLines(const GridInputs& inputs, const GridCounts& counts, const PointFileOptions& options);

  std::uint64_t Bytes() const { return bytes_; }
  std::uint64_t LastNumber() const { return last_number_; }
  // Appends the lines of column `column` (from 0), its rows in order.
  void WriteColumn(GridFile& file, std::size_t column);

 private:
  // Each column's or row's value (plain decimal digits) and number, in order.
  struct Axis {
    std::vector<std::string> values;
    std::vector<std::string> names;
  };
  static Axis MakeAxis(float start, int count, float step);

  bool northing_first_;
  std::vector<std::string> column_parts_;  // after the number (PENZD) or the row's part
  std::vector<std::string> column_tails_;  // "c" column "\r\n"
  std::vector<std::string> row_parts_;     // after the number (PNEZD) or the column's part
  std::vector<std::string> row_names_;
  std::string number_;  // the next point's number
  std::uint64_t bytes_ = 0;
  std::uint64_t last_number_ = 0;
};

}  // namespace grid
