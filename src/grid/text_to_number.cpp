#include "grid/text_to_number.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <string>
#include <system_error>

namespace grid {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

}  // namespace

std::optional<Decimal> ReadDecimal(std::string_view text, char decimal_separator) {
  std::size_t pos = 0;
  const auto at = [&](char c) { return pos < text.size() && text[pos] == c; };
  const auto read_digits = [&] {
    const std::size_t start = pos;
    while (pos < text.size() && IsDigit(text[pos])) {
      ++pos;
    }
    return text.substr(start, pos - start);
  };

  while (pos < text.size() && IsBlank(text[pos])) {
    ++pos;
  }
  Decimal number;
  if (at('+') || at('-')) {
    number.negative = text[pos++] == '-';
  }
  const std::string_view whole = read_digits();
  std::string_view fraction;
  if (at(decimal_separator)) {
    ++pos;
    fraction = read_digits();
  }
  if (whole.empty() && fraction.empty()) {
    return std::nullopt;
  }
  // Saturates far beyond any exponent that could matter, so that no text overflows it.
  std::int64_t written_exponent = 0;
  if (at('e') || at('E')) {
    ++pos;
    bool exponent_negative = false;
    if (at('+') || at('-')) {
      exponent_negative = text[pos++] == '-';
    }
    const std::string_view exponent_digits = read_digits();
    if (exponent_digits.empty()) {
      return std::nullopt;
    }
    for (const char c : exponent_digits) {
      written_exponent = std::min<std::int64_t>(written_exponent * 10 + (c - '0'), 1'000'000'000);
    }
    if (exponent_negative) {
      written_exponent = -written_exponent;
    }
  }
  while (pos < text.size() && IsBlank(text[pos])) {
    ++pos;
  }
  if (pos != text.size()) {
    return std::nullopt;
  }

  std::string all_digits{whole};
  all_digits.append(fraction);
  const std::size_t first = all_digits.find_first_not_of('0');
  if (first == std::string::npos) {
    return number;  // zero, keeping its sign
  }
  const std::size_t last = all_digits.find_last_not_of('0');
  number.digits = all_digits.substr(first, last - first + 1);
  number.exponent = static_cast<std::int64_t>(whole.size()) - 1 - static_cast<std::int64_t>(first) +
                    written_exponent;
  return number;
}

ParseResult<float> ParseSingle(std::string_view text, char decimal_separator) {
  const std::optional<Decimal> number = ReadDecimal(text, decimal_separator);
  if (!number) {
    return {0.0f, ParseStatus::not_a_number};
  }
  const float zero = number->negative ? -0.0f : 0.0f;
  // 10^39 is beyond the largest float (3.4e38); below 10^-46 is less than half the smallest
  // subnormal (1.4e-45), which rounds to zero. Deciding these here keeps the exponent that
  // from_chars sees small.
  if (number->digits.empty() || number->exponent < -46) {
    return {zero, ParseStatus::ok};
  }
  if (number->exponent > 38) {
    return {0.0f, ParseStatus::out_of_range};
  }
  // from_chars rounds correctly straight to float; going through double would round twice.
  std::string canonical;
  if (number->negative) {
    canonical += '-';
  }
  canonical += number->digits.front();
  canonical += '.';
  canonical.append(number->digits, 1);
  canonical += 'e';
  canonical += std::to_string(number->exponent);
  float value = 0.0f;
  const auto [end, error] =
      std::from_chars(canonical.data(), canonical.data() + canonical.size(), value);
  if (error == std::errc::result_out_of_range) {
    // from_chars reports both ends of the range alike; only the top one is an overflow.
    if (number->exponent > 0) {
      return {0.0f, ParseStatus::out_of_range};
    }
    return {zero, ParseStatus::ok};
  }
  return {value, ParseStatus::ok};
}

ParseResult<std::int16_t> ParseInt16(std::string_view text, char decimal_separator) {
  const std::optional<Decimal> number = ReadDecimal(text, decimal_separator);
  if (!number) {
    return {0, ParseStatus::not_a_number};
  }
  if (number->exponent >= 5) {
    return {0, ParseStatus::out_of_range};  // at least 100000
  }
  if (number->digits.empty() || number->exponent < -1) {
    return {0, ParseStatus::ok};  // below 0.1 in magnitude
  }
  // Rounded on the decimal digits themselves, so that a text just below a half, however many
  // digits it takes, never rounds up.
  const std::string_view digits = number->digits;
  const auto whole_digits = static_cast<std::size_t>(number->exponent + 1);
  std::int32_t magnitude = 0;
  for (std::size_t i = 0; i < whole_digits; ++i) {
    magnitude = magnitude * 10 + (i < digits.size() ? digits[i] - '0' : 0);
  }
  if (whole_digits < digits.size()) {
    const char first_dropped = digits[whole_digits];
    const bool more_after = whole_digits + 1 < digits.size();  // digits has no trailing zeros
    if (first_dropped > '5' || (first_dropped == '5' && (more_after || magnitude % 2 == 1))) {
      ++magnitude;
    }
  }
  const std::int32_t value = number->negative ? -magnitude : magnitude;
  if (value < INT16_MIN || value > INT16_MAX) {
    return {0, ParseStatus::out_of_range};
  }
  return {static_cast<std::int16_t>(value), ParseStatus::ok};
}

}  // namespace grid
