// The text form of a coordinate in the grid point file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace grid {

// The longest text FormatSingle writes: "-1.234567E+38" and "-0.0001234567" are 13 characters.
inline constexpr std::size_t kMaxSingleText = 13;

// Writes `value` rounded to 7 significant digits, as "%.7G" would in the C locale: full stop as
// decimal separator whatever the user's locale, trailing fractional zeros dropped, whole values
// below 1E+07 as plain integers, larger magnitudes (and those below 1E-04) in exponent form with
// a capital E and at least two exponent digits. Negative zero is written as "0". `value` must
// be finite. Returns the end of the text written at `out`, which needs kMaxSingleText chars.
char* FormatSingle(float value, char* out);

std::string FormatSingle(float value);

// The size of FormatSingle's text for `value`, found without writing it where that is quicker.
std::size_t SingleTextSize(float value);

// The decimal digits of `number`, 1 for 0.
constexpr std::size_t DigitCount(std::uint32_t number) {
  std::size_t digits = 1;
  for (; number >= 10; number /= 10) {
    ++digits;
  }
  return digits;
}

}  // namespace grid
