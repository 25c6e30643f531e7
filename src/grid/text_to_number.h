// Text typed into the window's fields, turned into the numbers of a grid.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace grid {

enum class ParseStatus {
  ok,
  not_a_number,  // empty, or not of the number form below
  out_of_range,  // a number, but beyond what the target type holds
};

template <typename T>
struct ParseResult {
  T value{};
  ParseStatus status = ParseStatus::not_a_number;
};

// The number form, the same for both conversions:
//
//   blanks [sign] digits [separator [digits]] [exponent] blanks
//   blanks [sign] separator digits [exponent] blanks
//
// blanks are spaces and tabs, sign is '+' or '-', digits are ASCII 0-9, separator is the
// `decimal_separator` passed in (the user's locale's), exponent is 'e' or 'E', an optional sign
// and at least one digit. Nothing else is a number: no digit grouping (in a locale whose
// separator is ',' a '.' is not a number, rather than silently becoming a group mark), no
// currency signs, no hexadecimal or octal prefixes, no "inf" or "nan".

// A number in the form d.ddd x 10^exponent, exactly as typed: `digits` holds its significant
// digits, without leading or trailing zeros, and is empty for zero.
struct Decimal {
  bool negative = false;
  std::string digits;
  std::int64_t exponent = 0;
};

// Reads the number form above, or nothing when the text is not of it. The exponent saturates
// at a billion, far beyond any that converts.
std::optional<Decimal> ReadDecimal(std::string_view text, char decimal_separator);

// Converts to the nearest single-precision value (ties to even), straight from the decimal
// digits. Values too small for single precision become zero; values beyond its largest finite
// value are out_of_range.
ParseResult<float> ParseSingle(std::string_view text, char decimal_separator);

// Converts to a 16-bit signed integer, rounding the exact decimal value to the nearest
// integer with ties to even (2.5 gives 2, 3.5 gives 4). A result outside -32768 to 32767 is
// out_of_range.
ParseResult<std::int16_t> ParseInt16(std::string_view text, char decimal_separator);

}  // namespace grid
