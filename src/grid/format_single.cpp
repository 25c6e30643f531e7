#include "grid/format_single.h"

#include <bit>
#include <charconv>
#include <cstdint>

namespace grid {

namespace {

// Whole values below 1E+07 have at most 7 digits, which %.7g writes as they are; most grids'
// coordinates are such.
bool IsSmallWhole(float value) {
  return value > -1e7f && value < 1e7f &&
         static_cast<float>(static_cast<std::int32_t>(value)) == value;
}

std::size_t DigitCount(std::uint32_t number) {
  return number < 10        ? 1
         : number < 100     ? 2
         : number < 1000    ? 3
         : number < 10000   ? 4
         : number < 100000  ? 5
         : number < 1000000 ? 6
                            : 7;
}

}  // namespace

char* FormatSingle(float value, char* out) {
  if (value == 0.0f) {
    *out = '0';  // also for -0, which is no negative value
    return out + 1;
  }
  if (IsSmallWhole(value)) {  // the integer conversion is many times faster
    return std::to_chars(out, out + kMaxSingleText, static_cast<std::int32_t>(value)).ptr;
  }
  // to_chars with a precision is specified as printf's %.7g: shortest of fixed and exponent
  // form, trailing zeros removed, ties at the seventh digit resolved on the exact binary value.
  const auto [end, error] =
      std::to_chars(out, out + kMaxSingleText, value, std::chars_format::general, 7);
  for (char* c = out; c != end; ++c) {
    if (*c == 'e') {
      *c = 'E';
      break;
    }
  }
  return end;
}

std::string FormatSingle(float value) {
  char text[kMaxSingleText];
  return std::string(text, FormatSingle(value, text));
}

std::size_t SingleTextSize(float value) {
  const std::size_t sign = value < 0 ? 1u : 0u;
  if (IsSmallWhole(value)) {
    const auto whole = static_cast<std::int32_t>(value);  // 0 for -0 too, which has no sign
    return (whole < 0 ? sign : 0u) +
           DigitCount(static_cast<std::uint32_t>(whole < 0 ? -whole : whole));
  }
  // A value from 1 to below 1E+07 that is a whole number of 1/1024ths, an odd number of
  // 1/2^k-ths, has exactly k decimals (1/2^k is 5^k/10^k); with 7 significant digits or fewer,
  // %.7g writes it as it is.
  const double scaled = static_cast<double>(value) * 1024.0;  // exact
  if ((value >= 1.0f || value <= -1.0f) && value > -1e7f && value < 1e7f &&
      static_cast<double>(static_cast<std::int64_t>(scaled)) == scaled) {
    const std::int64_t parts = static_cast<std::int64_t>(scaled);
    const auto magnitude = static_cast<std::uint64_t>(parts < 0 ? -parts : parts);
    const auto fraction = static_cast<std::uint32_t>(magnitude % 1024);  // not 0: not whole
    const std::size_t decimals = 10u - static_cast<std::size_t>(std::countr_zero(fraction));
    const std::size_t whole_digits = DigitCount(static_cast<std::uint32_t>(magnitude / 1024));
    if (whole_digits + decimals <= 7) {
      return sign + whole_digits + 1 + decimals;
    }
  }
  char text[kMaxSingleText];
  return static_cast<std::size_t>(FormatSingle(value, text) - text);
}

}  // namespace grid
