// Text typed into the window's fields, turned into the numbers of a grid.
#pragma once

#include <cstdint>
#include <string_view>

#include "grid/exact_decimal.h"

namespace grid {

enum class ParseStatus {
  ok,
  not_a_number,  // empty, or not of the number form (exact_decimal.h)
  out_of_range,  // a number, but beyond what the target type holds
};

template <typename T>
struct ParseResult {
  T value{};
  ParseStatus status = ParseStatus::not_a_number;
};

// Converts to the nearest single-precision value (ties to even), straight from the decimal
// digits. Values too small for single precision become zero; values beyond its largest finite
// value are out_of_range.
ParseResult<float> ParseSingle(std::string_view text, char decimal_separator);

// Converts to a 16-bit signed integer, rounding the exact decimal value to the nearest
// integer with ties to even (2.5 gives 2, 3.5 gives 4). A result outside -32768 to 32767 is
// out_of_range.
ParseResult<std::int16_t> ParseInt16(std::string_view text, char decimal_separator);

}  // namespace grid
