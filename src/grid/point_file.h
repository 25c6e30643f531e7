// A point file for survey software, in place of the grid's own format: no header, and a line a
// point in the grid's order, "number,northing,easting,elevation,r1c1" (PNEZD) or easting before
// northing (PENZD), the coordinates being the values newgrid.txt writes, in plain decimal
// digits; comma-separated, CR LF.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "grid/fields.h"

namespace file {
class Writer;
}

namespace grid {

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
  void WriteColumn(file::Writer& file, std::size_t column);

  // A piece of a line is copied as 8, 16 or kCopySize bytes, whichever is the first to hold it:
  // a copy of a fixed size is a few instructions, where one of the piece's own size is a call.
  static constexpr std::size_t kCopySize = 32;

 private:
  struct Piece {
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
  };
  struct ColumnPieces {
    Piece part;  // after the number (PENZD) or the row's part
    Piece tail;  // "c" column "\r\n"
  };
  struct RowPieces {
    Piece part;  // after the number (PNEZD) or the column's part
    Piece name;
  };

  // The texts, one after another, as one piece.
  Piece Keep(std::initializer_list<std::string_view> texts);
  // Counts the number's leading digits on by one, after its last digit has passed 9.
  void CountOnLeading();

  bool northing_first_;
  std::string text_;  // every piece, and kCopySize bytes after the last that a copy may read
  std::vector<ColumnPieces> columns_;
  std::vector<RowPieces> rows_;
  // The next point's number: its digits but the last, which change one line in ten, and the
  // last, counted on as a number.
  std::array<char, kCopySize> leading_digits_{};
  std::size_t leading_size_ = 0;
  int last_digit_ = 0;
  std::size_t longest_line_ = 0;
  std::uint64_t bytes_ = 0;
  std::uint64_t last_number_ = 0;
};

}  // namespace grid
