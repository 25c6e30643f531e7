#include "grid/exact_decimal.h"

#include <algorithm>

namespace grid {
namespace {

// A text read from left to right.
struct Scanner {
  std::string_view text;
  std::size_t pos = 0;

  bool At(char c) const { return pos < text.size() && text[pos] == c; }
  bool AtEnd() const { return pos == text.size(); }
  void SkipBlanks() {
    while (At(' ') || At('\t')) {
      ++pos;
    }
  }
  // Takes a sign if there is one: whether it was a minus.
  bool TakeSign() {
    if (At('+') || At('-')) {
      return text[pos++] == '-';
    }
    return false;
  }
  std::string_view TakeDigits() {
    const std::size_t start = pos;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
      ++pos;
    }
    return text.substr(start, pos - start);
  }
};

// The exponent after 'e' or 'E', 0 without one; nothing for an 'e' without digits. It saturates
// far beyond any exponent that could matter, so that no text overflows it.
std::optional<std::int64_t> TakeExponent(Scanner& scan) {
  if (!scan.At('e') && !scan.At('E')) {
    return 0;
  }
  ++scan.pos;
  const bool negative = scan.TakeSign();
  const std::string_view digits = scan.TakeDigits();
  if (digits.empty()) {
    return std::nullopt;
  }
  std::int64_t exponent = 0;
  for (const char c : digits) {
    exponent = std::min<std::int64_t>(exponent * 10 + (c - '0'), 1'000'000'000);
  }
  return negative ? -exponent : exponent;
}

}  // namespace

std::optional<DecimalParts> ScanDecimal(std::string_view text, char decimal_separator) {
  Scanner scan{text};
  scan.SkipBlanks();
  DecimalParts parts;
  parts.negative = scan.TakeSign();
  parts.whole = scan.TakeDigits();
  if (scan.At(decimal_separator)) {
    ++scan.pos;
    parts.fraction = scan.TakeDigits();
  }
  if (parts.whole.empty() && parts.fraction.empty()) {
    return std::nullopt;
  }
  const std::optional<std::int64_t> exponent = TakeExponent(scan);
  scan.SkipBlanks();
  if (!exponent || !scan.AtEnd()) {
    return std::nullopt;
  }
  parts.exponent = *exponent;
  return parts;
}

std::optional<Decimal> ReadDecimal(std::string_view text, char decimal_separator) {
  const std::optional<DecimalParts> parts = ScanDecimal(text, decimal_separator);
  if (!parts) {
    return std::nullopt;
  }
  Decimal number;
  number.negative = parts->negative;
  std::string all_digits{parts->whole};
  all_digits.append(parts->fraction);
  const std::size_t first = all_digits.find_first_not_of('0');
  if (first == std::string::npos) {
    return number;  // zero, keeping its sign
  }
  const std::size_t last = all_digits.find_last_not_of('0');
  number.digits = all_digits.substr(first, last - first + 1);
  number.exponent = static_cast<std::int64_t>(parts->whole.size()) - 1 -
                    static_cast<std::int64_t>(first) + parts->exponent;
  return number;
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

std::int64_t DecimalsOf(const Decimal& number) {
  return number.digits.empty()
             ? 0
             : std::max<std::int64_t>(
                   0, static_cast<std::int64_t>(number.digits.size()) - 1 - number.exponent);
}

WholeNumber WholeNumber::Scaled(const Decimal& number, std::int64_t scale) {
  // The digits kept: those before the point and `scale` after it.
  const auto size = static_cast<std::int64_t>(number.digits.size());
  const std::int64_t kept = std::min(size, number.exponent + 1 + scale);
  WholeNumber scaled;
  for (std::int64_t i = 0; i < kept; ++i) {
    scaled.MultiplyAdd(
        10, static_cast<std::uint32_t>(number.digits[static_cast<std::size_t>(i)] - '0'));
  }
  scaled.Shift(number.exponent + 1 + scale - std::max<std::int64_t>(kept, 0));
  scaled.negative_ = number.negative && scaled.size_ > 0;
  return scaled;
}

std::pair<WholeNumber, bool> WholeNumber::DividedBy(std::uint32_t divisor) const {
  WholeNumber quotient = *this;
  std::uint64_t remainder = 0;
  for (std::size_t i = size_; i-- > 0;) {
    const std::uint64_t value = remainder * kBase + limbs_[i];
    quotient.limbs_[i] = static_cast<std::uint32_t>(value / divisor);
    remainder = value % divisor;
  }
  quotient.Trim();
  quotient.negative_ = negative_ && quotient.size_ > 0;
  return {quotient, remainder == 0};
}

WholeNumber WholeNumber::Times(std::uint32_t factor) const {
  WholeNumber product = *this;
  product.MultiplyAdd(factor, 0);
  product.Trim();
  product.negative_ = negative_ && product.size_ > 0;
  return product;
}

std::string WholeNumber::Text(std::int64_t scale) const {
  std::string digits = size_ == 0 ? "0" : std::to_string(limbs_[size_ - 1]);
  for (std::size_t i = size_; i-- > 1;) {
    const std::string limb = std::to_string(limbs_[i - 1]);
    digits.append(9 - limb.size(), '0').append(limb);
  }
  const auto decimals = static_cast<std::size_t>(scale);
  if (digits.size() <= decimals) {
    digits.insert(0, decimals + 1 - digits.size(), '0');
  }
  std::string text = digits.substr(0, digits.size() - decimals);
  std::string fraction = digits.substr(digits.size() - decimals);
  fraction.erase(fraction.find_last_not_of('0') + 1);
  if (!fraction.empty()) {
    text += "." + fraction;
  }
  return (negative_ ? "-" : "") + text;
}

bool CountOn(char* first, char* last) {
  for (char* digit = last; digit != first;) {
    --digit;
    if (*digit != '9') {
      ++*digit;
      return true;
    }
    *digit = '0';
  }
  return false;
}

}  // namespace grid
