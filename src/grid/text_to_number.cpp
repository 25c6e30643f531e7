#include "grid/text_to_number.h"

#include <charconv>
#include <string>
#include <system_error>

namespace grid {

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
