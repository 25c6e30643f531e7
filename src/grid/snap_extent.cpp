#include "grid/snap_extent.h"

#include <algorithm>
#include <cstdint>
#include <optional>

#include "grid/text_to_number.h"

namespace grid {
namespace {

// Beyond this many digits before the point no value converts to single precision: such a text
// is left for the run to refuse.
constexpr std::int64_t kLargestExponent = 60;

// A whole number: its sign and its decimal digits, without leading zeros ("" for zero).
struct Whole {
  bool negative = false;
  std::string digits;
};

std::string WithoutLeadingZeros(std::string digits) {
  digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
  return digits;
}

// `digits` over `divisor`, rounded down, and whether nothing remained.
std::pair<std::string, bool> Divided(const std::string& digits, int divisor) {
  std::string quotient;
  int remainder = 0;
  for (const char digit : digits) {
    const int value = remainder * 10 + (digit - '0');
    quotient += static_cast<char>('0' + value / divisor);
    remainder = value % divisor;
  }
  return {WithoutLeadingZeros(quotient), remainder == 0};
}

std::string Multiplied(const std::string& digits, int factor) {
  std::string product(digits.size() + 6, '0');
  int carry = 0;
  std::size_t at = product.size();
  for (auto digit = digits.rbegin(); digit != digits.rend(); ++digit) {
    const int value = (*digit - '0') * factor + carry;
    product[--at] = static_cast<char>('0' + value % 10);
    carry = value / 10;
  }
  while (carry > 0) {
    product[--at] = static_cast<char>('0' + carry % 10);
    carry /= 10;
  }
  return WithoutLeadingZeros(product);
}

std::string PlusOne(std::string digits) {
  for (auto digit = digits.rbegin(); digit != digits.rend(); ++digit) {
    if (*digit != '9') {
      ++*digit;
      return digits;
    }
    *digit = '0';
  }
  return "1" + digits;
}

// The multiple of `spacing` at or below `number` (down), or at or above it.
Whole Aligned(const Decimal& number, int spacing, bool down) {
  // The whole part of |number|, and whether a fraction follows it.
  std::string whole;
  bool fraction = false;
  if (!number.digits.empty()) {
    if (number.exponent < 0) {
      fraction = true;
    } else {
      const auto whole_size = static_cast<std::size_t>(number.exponent) + 1;
      whole = number.digits.substr(0, whole_size);
      whole.resize(whole_size, '0');
      fraction = number.digits.size() > whole_size;
    }
  }
  // |number| / spacing lies in [quotient, quotient + 1), exactly quotient when `exact`.
  auto [quotient, exact] = Divided(whole, spacing);
  exact = exact && !fraction;
  // Away from zero unless exact: up for a positive number, down for a negative one.
  const bool away = !exact && (down == number.negative);
  const std::string count = away ? PlusOne(quotient) : quotient;
  const std::string digits = count.empty() ? "" : Multiplied(count, spacing);
  return {number.negative && !digits.empty(), digits};
}

// -1, 0 or 1 as a is below, equal to or above b.
int Compare(const Whole& a, const Whole& b) {
  if (a.negative != b.negative) {
    return a.negative ? -1 : 1;
  }
  int magnitude = a.digits.size() != b.digits.size() ? (a.digits.size() < b.digits.size() ? -1 : 1)
                  : a.digits.compare(b.digits) < 0   ? -1
                  : a.digits.compare(b.digits) > 0   ? 1
                                                     : 0;
  return a.negative ? -magnitude : magnitude;
}

int Compare(const Decimal& a, const Decimal& b) {
  const auto sign = [](const Decimal& number) {
    return number.digits.empty() ? 0 : number.negative ? -1 : 1;
  };
  if (sign(a) != sign(b)) {
    return sign(a) < sign(b) ? -1 : 1;
  }
  if (sign(a) == 0) {
    return 0;
  }
  int magnitude = 0;
  if (a.exponent != b.exponent) {
    magnitude = a.exponent < b.exponent ? -1 : 1;
  } else {
    const int digits = a.digits.compare(b.digits);
    magnitude = digits < 0 ? -1 : digits > 0 ? 1 : 0;
  }
  return sign(a) * magnitude;
}

std::string Text(const Whole& number) {
  return number.digits.empty() ? "0" : (number.negative ? "-" : "") + number.digits;
}

}  // namespace

FieldTexts SnapExtent(const FieldTexts& texts, char decimal_separator, Snap snap) {
  FieldTexts snapped = texts;
  const ParseResult<std::int16_t> spacing = ParseInt16(texts.spacing, decimal_separator);
  if (spacing.status != ParseStatus::ok) {
    return snapped;
  }
  if (spacing.value <= 0) {
    throw SnapRefused{SnapRefused::Why::spacing_not_above_zero, spacing.value};
  }
  for (const auto& [min, max] :
       {std::pair{Field::min_x, Field::max_x}, std::pair{Field::min_y, Field::max_y}}) {
    const std::optional<Decimal> low = ReadDecimal(Text(texts, min), decimal_separator);
    const std::optional<Decimal> high = ReadDecimal(Text(texts, max), decimal_separator);
    if (!low || !high || low->exponent > kLargestExponent || high->exponent > kLargestExponent) {
      continue;  // the run says what is wrong
    }
    if (Compare(*low, *high) > 0) {
      throw SnapRefused{SnapRefused::Why::minimum_above_maximum, spacing.value, min, max};
    }
    const Whole aligned_low = Aligned(*low, spacing.value, snap == Snap::out);
    const Whole aligned_high = Aligned(*high, spacing.value, snap == Snap::in);
    if (Compare(aligned_low, aligned_high) > 0) {
      throw SnapRefused{SnapRefused::Why::no_multiple_inside, spacing.value, min, max};
    }
    Text(snapped, min) = Text(aligned_low);
    Text(snapped, max) = Text(aligned_high);
  }
  return snapped;
}

}  // namespace grid
