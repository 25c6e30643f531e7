#include "grid/format_single.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstdint>
#include <optional>

namespace grid {

namespace {

// Whole values below 1E+07 have at most 7 digits, which %.7g writes as they are; most grids'
// coordinates are such.
bool IsSmallWhole(float value) {
  return value > -1e7f && value < 1e7f &&
         static_cast<float>(static_cast<std::int32_t>(value)) == value;
}

// A value from 1 to below 1E+07 that is a whole number of 1/1024ths, an odd number of 1/2^k-ths,
// has exactly k decimals (1/2^k is 5^k/10^k); with 7 significant digits or fewer, %.7g writes it
// as it is: its whole part, a full stop and k decimals.
struct ExactFraction {
  std::uint32_t whole;
  std::uint32_t fraction;  // in 1024ths, not 0
  std::size_t whole_digits;
  std::size_t decimals;
};
std::optional<ExactFraction> AsExactFraction(float value) {
  const double scaled = static_cast<double>(value) * 1024.0;  // exact
  if (!((value >= 1.0f || value <= -1.0f) && value > -1e7f && value < 1e7f &&
        static_cast<double>(static_cast<std::int64_t>(scaled)) == scaled)) {
    return std::nullopt;
  }
  const std::int64_t parts = static_cast<std::int64_t>(scaled);
  const auto magnitude = static_cast<std::uint64_t>(parts < 0 ? -parts : parts);
  const auto fraction = static_cast<std::uint32_t>(magnitude % 1024);
  if (fraction == 0) {
    return std::nullopt;  // a whole value
  }
  const auto whole = static_cast<std::uint32_t>(magnitude / 1024);
  const ExactFraction exact{
      .whole = whole,
      .fraction = fraction,
      .whole_digits = DigitCount(whole),
      .decimals = 10u - static_cast<std::size_t>(std::countr_zero(fraction)),
  };
  if (exact.whole_digits + exact.decimals > 7) {
    return std::nullopt;
  }
  return exact;
}

char* WriteExactFraction(bool negative, const ExactFraction& exact, char* out) {
  if (negative) {
    *out++ = '-';
  }
  out = std::to_chars(out, out + 7, exact.whole).ptr;
  *out++ = '.';
  // fraction / 1024 is fraction * 5^10 / 10^10: its ten decimals, of which the first `decimals`
  // are written and the rest are zeros.
  std::uint64_t tenths = std::uint64_t{exact.fraction} * 9'765'625;
  char digits[10];
  for (char* digit = digits + 10; digit != digits; tenths /= 10) {
    *--digit = static_cast<char>('0' + tenths % 10);
  }
  return std::copy_n(digits, exact.decimals, out);
}

// Every float from 1E+07 to below 1E+08 is a whole number (above 2^23, floats are), of eight
// digits: %.7g rounds it to seven, ties to even on the exact value, and writes d.dddddd without
// trailing zeros and "E+07". The rounding never carries to 1E+08: floats there are 8 apart, so
// the largest below 1E+08 is 99,999,992, which rounds to 9,999,999.
static_assert(1e8f - 8.0f == 99'999'992.0f && 1e8f - 4.0f == 1e8f);
char* WriteEightDigits(float value, char* out) {
  const bool negative = value < 0;
  auto whole = static_cast<std::uint32_t>(negative ? -value : value);
  std::uint32_t seven = whole / 10;
  const std::uint32_t dropped = whole % 10;
  if (dropped > 5 || (dropped == 5 && seven % 2 == 1)) {
    ++seven;
  }
  if (negative) {
    *out++ = '-';
  }
  char digits[7];
  for (char* digit = digits + 7; digit != digits; seven /= 10) {
    *--digit = static_cast<char>('0' + seven % 10);
  }
  std::size_t kept = 7;
  while (kept > 1 && digits[kept - 1] == '0') {
    --kept;
  }
  *out++ = digits[0];
  if (kept > 1) {
    *out++ = '.';
    out = std::copy_n(digits + 1, kept - 1, out);
  }
  return std::copy_n("E+07", 4, out);
}

}  // namespace

char* FormatSingle(float value, char* out) {
  if (value == 0.0f) {
    *out = '0';  // also for -0, which is no negative value
    return out + 1;
  }
  // The usual coordinates are written straight, many times faster than to_chars with a
  // precision: whole values, fractions of a 1024th, and State Plane feet beyond ten million.
  if (IsSmallWhole(value)) {
    return std::to_chars(out, out + kMaxSingleText, static_cast<std::int32_t>(value)).ptr;
  }
  if (const std::optional<ExactFraction> exact = AsExactFraction(value)) {
    return WriteExactFraction(value < 0, *exact, out);
  }
  if ((value >= 1e7f && value < 1e8f) || (value <= -1e7f && value > -1e8f)) {
    return WriteEightDigits(value, out);
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
  if (const std::optional<ExactFraction> exact = AsExactFraction(value)) {
    return sign + exact->whole_digits + 1 + exact->decimals;
  }
  char text[kMaxSingleText];
  return static_cast<std::size_t>(FormatSingle(value, text) - text);
}

}  // namespace grid
