#include "grid/grid_account.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <utility>

#include "grid/fields.h"
#include "grid/format_single.h"
#include "grid/run_error.h"
#include "grid/text_to_number.h"

namespace grid {
namespace {

// Every value of an axis is compared as a whole number of 10^-scale: the typed minimum and
// maximum, the spacing and each written text, so that no rounding enters the comparison. Typed
// digits beyond this many decimals are cut; every written text has fewer.
constexpr std::int64_t kMaxScale = 100;

// The usual extent fits in 128 bits at its scale; the whole numbers are then machine numbers.
__extension__ typedef __int128 Int128;

class WideNumber {
 public:
  WideNumber() = default;
  // `digits` followed by `zeros` zeros.
  WideNumber(bool negative, std::string_view digits, std::int64_t zeros) {
    for (const char digit : digits) {
      value_ = value_ * 10 + (digit - '0');
    }
    for (std::int64_t i = 0; i < zeros; ++i) {
      value_ *= 10;
    }
    value_ = negative ? -value_ : value_;
  }
  friend WideNumber operator+(WideNumber a, WideNumber b) {
    return WideNumber(a.value_ + b.value_);
  }
  friend WideNumber operator-(WideNumber a, WideNumber b) {
    return WideNumber(a.value_ - b.value_);
  }
  friend bool operator==(WideNumber a, WideNumber b) = default;
  friend bool operator<(WideNumber a, WideNumber b) { return a.value_ < b.value_; }
  bool negative() const { return value_ < 0; }
  WideNumber Magnitude() const { return WideNumber(value_ < 0 ? -value_ : value_); }
  // The magnitude's decimal digits, "0" for zero.
  std::string Digits() const {
    std::string digits;
    for (Int128 rest = value_ < 0 ? -value_ : value_; rest != 0 || digits.empty(); rest /= 10) {
      digits += static_cast<char>('0' + static_cast<int>(rest % 10));
    }
    return {digits.rbegin(), digits.rend()};
  }

 private:
  explicit WideNumber(Int128 value) : value_(value) {}
  Int128 value_ = 0;
};

// Any size, for extents typed with many digits or near the ends of single precision's range.
class BigNumber {
 public:
  BigNumber() = default;
  BigNumber(bool negative, std::string_view digits, std::int64_t zeros) {
    std::string all(digits);
    all.append(static_cast<std::size_t>(std::max<std::int64_t>(zeros, 0)), '0');
    for (std::size_t end = all.size(); end > 0;) {
      const std::size_t start = end > 9 ? end - 9 : 0;
      limbs_.push_back(static_cast<std::uint32_t>(std::stoul(all.substr(start, end - start))));
      end = start;
    }
    Trim();
    negative_ = negative && !limbs_.empty();
  }
  friend BigNumber operator+(const BigNumber& a, const BigNumber& b) {
    if (a.negative_ == b.negative_) {
      return BigNumber(a.negative_, Add(a.limbs_, b.limbs_));
    }
    // Opposite signs: the larger magnitude, less the smaller, with the larger's sign.
    if (Less(a.limbs_, b.limbs_)) {
      return BigNumber(b.negative_, Subtract(b.limbs_, a.limbs_));
    }
    return BigNumber(a.negative_, Subtract(a.limbs_, b.limbs_));
  }
  friend BigNumber operator-(const BigNumber& a, const BigNumber& b) {
    BigNumber negated = b;
    negated.negative_ = !b.negative_ && !b.limbs_.empty();
    return a + negated;
  }
  friend bool operator==(const BigNumber& a, const BigNumber& b) = default;
  friend bool operator<(const BigNumber& a, const BigNumber& b) {
    if (a.negative_ != b.negative_) {
      return a.negative_;
    }
    return a.negative_ ? Less(b.limbs_, a.limbs_) : Less(a.limbs_, b.limbs_);
  }
  bool negative() const { return negative_; }
  BigNumber Magnitude() const { return BigNumber(false, limbs_); }
  std::string Digits() const {
    std::string digits = limbs_.empty() ? "0" : std::to_string(limbs_.back());
    for (std::size_t i = limbs_.size(); i-- > 1;) {
      const std::string limb = std::to_string(limbs_[i - 1]);
      digits.append(9 - limb.size(), '0').append(limb);
    }
    return digits;
  }

 private:
  using Limbs = std::vector<std::uint32_t>;  // base 10^9, least significant first
  static constexpr std::uint32_t kBase = 1'000'000'000;

  BigNumber(bool negative, Limbs limbs) : negative_(negative), limbs_(std::move(limbs)) {
    Trim();
    negative_ = negative_ && !limbs_.empty();
  }
  void Trim() {
    while (!limbs_.empty() && limbs_.back() == 0) {
      limbs_.pop_back();
    }
  }
  static bool Less(const Limbs& a, const Limbs& b) {
    if (a.size() != b.size()) {
      return a.size() < b.size();
    }
    return std::lexicographical_compare(a.rbegin(), a.rend(), b.rbegin(), b.rend());
  }
  static Limbs Add(const Limbs& a, const Limbs& b) {
    Limbs sum;
    std::uint32_t carry = 0;
    for (std::size_t i = 0; i < std::max(a.size(), b.size()) || carry; ++i) {
      std::uint32_t limb = carry + (i < a.size() ? a[i] : 0) + (i < b.size() ? b[i] : 0);
      carry = limb >= kBase ? 1 : 0;
      sum.push_back(limb - carry * kBase);
    }
    return sum;
  }
  // a - b, where b is not larger.
  static Limbs Subtract(const Limbs& a, const Limbs& b) {
    Limbs difference;
    std::uint32_t borrow = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
      const std::uint32_t taken = borrow + (i < b.size() ? b[i] : 0);
      borrow = a[i] < taken ? 1 : 0;
      difference.push_back(a[i] + borrow * kBase - taken);
    }
    return difference;
  }

  bool negative_ = false;
  Limbs limbs_;
};

std::int64_t Decimals(const Decimal& number) {
  return number.digits.empty()
             ? 0
             : std::max<std::int64_t>(
                   0, static_cast<std::int64_t>(number.digits.size()) - 1 - number.exponent);
}

std::int64_t WholeDigits(const Decimal& number) {
  return number.digits.empty() ? 0 : std::max<std::int64_t>(0, number.exponent + 1);
}

// `number` in units of 10^-scale, cut to whole units.
template <typename Number>
Number Scaled(const Decimal& number, std::int64_t scale) {
  const std::int64_t zeros =
      number.exponent + 1 - static_cast<std::int64_t>(number.digits.size()) + scale;
  if (zeros >= 0) {
    return Number(number.negative, number.digits, zeros);
  }
  const std::int64_t kept = static_cast<std::int64_t>(number.digits.size()) + zeros;
  return kept <= 0
             ? Number()
             : Number(number.negative,
                      std::string_view(number.digits).substr(0, static_cast<std::size_t>(kept)), 0);
}

// A number of 10^-scale units as plain decimals, without trailing zeros.
template <typename Number>
std::string DecimalText(const Number& number, std::int64_t scale) {
  std::string digits = number.Digits();
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
  return (number.negative() ? "-" : "") + text;
}

std::string Typed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  return std::string(text.substr(first, text.find_last_not_of(" \t") - first + 1));
}

std::string Named(Field field, std::string_view typed) {
  std::string named = "\"";
  named.append(Caption(field)).append("\" ").append(Typed(typed));
  return named;
}

std::string Capitalized(std::string text) {
  text.front() = static_cast<char>(text.front() - 'a' + 'A');
  return text;
}

// One axis of the grid as typed and as written.
struct Axis {
  std::string_view line;   // "column" or "row"
  std::string_view lines;  // "columns" or "rows"
  Field min_field;
  Field max_field;
  std::string_view min_text;
  std::string_view max_text;
  Decimal min;
  Decimal max;
  int count;  // whole spacings, so count + 1 lines
  std::vector<std::string> written;
  std::vector<Decimal> written_values;
};

template <typename Number>
void AccountForAxis(const Axis& axis, std::int16_t spacing, std::int64_t scale,
                    std::vector<std::string>& items) {
  // Typed digits beyond the scale (a minimum typed with more decimals than any text can have)
  // put every line away from where the fields put it.
  const bool min_cut = Decimals(axis.min) > scale;
  const Number step(spacing < 0, std::to_string(spacing < 0 ? -spacing : spacing), scale);
  Number exact = Scaled<Number>(axis.min, scale);
  Number previous;
  int away = 0;
  int worst = -1;
  Number worst_difference;
  Number worst_exact;
  int alike = -1;
  for (int i = 0; i <= axis.count; ++i) {
    const auto index = static_cast<std::size_t>(i);
    const Number at = Scaled<Number>(axis.written_values[index], scale);
    const Number difference = (at - exact).Magnitude();
    if (min_cut || !(difference == Number())) {
      ++away;
      if (worst < 0 || worst_difference < difference) {
        worst = i;
        worst_difference = difference;
        worst_exact = exact;
      }
    }
    if (i > 0 && alike < 0 && at == previous) {
      alike = i;
    }
    previous = at;
    if (i < axis.count) {
      exact = exact + step;
    }
  }
  const std::string lines =
      std::to_string(axis.count + 1) + " " + std::string(axis.count == 0 ? axis.line : axis.lines);
  if (away > 0) {
    items.push_back(std::to_string(away) + " of " + lines + (away == 1 ? " is" : " are") +
                    " written away from where the fields put them, by up to " +
                    DecimalText(worst_difference, scale) + " (" + std::string(axis.line) + " " +
                    std::to_string(worst + 1) + ": " +
                    axis.written[static_cast<std::size_t>(worst)] + ", not " +
                    DecimalText(worst_exact, scale) + ").");
  }
  if (alike > 0) {
    items.push_back(Capitalized(std::string(axis.lines)) + " " + std::to_string(alike) + " and " +
                    std::to_string(alike + 1) + " are both written as " +
                    axis.written[static_cast<std::size_t>(alike)] +
                    ": points share a written position.");
  }
  const Number max = Scaled<Number>(axis.max, scale);
  const Number next = exact + step;
  const bool ascending = spacing > 0;
  if (ascending ? !(max < next) : !(next < max)) {
    items.push_back(Named(axis.max_field, axis.max_text) + " is not reached: the last " +
                    std::string(axis.line) + " is at " + DecimalText(exact, scale) +
                    ", though one more spacing, to " + DecimalText(next, scale) +
                    ", stays within it.");
  } else if (ascending ? max < exact : exact < max) {
    items.push_back("The last " + std::string(axis.line) + ", at " + DecimalText(exact, scale) +
                    ", lies past " + Named(axis.max_field, axis.max_text) + ".");
  }
}

void AccountForAxis(Axis& axis, float first, std::int16_t spacing,
                    std::vector<std::string>& items) {
  // Written as the run writes them: each value the one before plus the spacing, in single
  // precision.
  const auto step = static_cast<float>(spacing);
  float value = first;
  std::int64_t scale = std::max(Decimals(axis.min), Decimals(axis.max));
  std::int64_t whole_digits = std::max(
      {WholeDigits(axis.min), WholeDigits(axis.max), std::int64_t{10}});  // 32767 spacings of 32767
  for (int i = 0; i <= axis.count; ++i, value = value + step) {
    axis.written.push_back(FormatSingle(value));
    axis.written_values.push_back(*ReadDecimal(axis.written.back(), '.'));
    scale = std::max(scale, Decimals(axis.written_values.back()));
    whole_digits = std::max(whole_digits, WholeDigits(axis.written_values.back()));
  }
  scale = std::min(scale, kMaxScale);
  // 10^37 and a sum's carry stay within 128 bits.
  if (whole_digits + 1 + scale <= 37) {
    AccountForAxis<WideNumber>(axis, spacing, scale, items);
  } else {
    AccountForAxis<BigNumber>(axis, spacing, scale, items);
  }
}

// Why an axis has no line: its minimum and maximum in the order the spacing's sign does not go.
std::string NoPoint(const Axis& axis, std::string_view spacing_text, std::int16_t spacing) {
  if (spacing > 0) {
    return "No point is written: " + Named(axis.min_field, axis.min_text) + " is above " +
           Named(axis.max_field, axis.max_text) + ".";
  }
  return "No point is written: " + Named(Field::spacing, spacing_text) + " is negative, but " +
         Named(axis.max_field, axis.max_text) + " is above " +
         Named(axis.min_field, axis.min_text) + ".";
}

bool SameValue(const Decimal& a, const Decimal& b) {
  return a.digits == b.digits &&
         (a.digits.empty() || (a.negative == b.negative && a.exponent == b.exponent));
}

}  // namespace

std::vector<std::string> AccountForGrid(const FieldTexts& texts, char decimal_separator) {
  std::vector<std::string> items;
  GridInputs inputs;
  try {
    inputs = ConvertInputs(texts, decimal_separator);
  } catch (const RunError&) {
    return items;  // not numbers, or beyond their range: Run's error says so
  }
  const Decimal typed_spacing = *ReadDecimal(texts.spacing, decimal_separator);
  if (!SameValue(typed_spacing, *ReadDecimal(std::to_string(inputs.spacing), '.'))) {
    items.push_back(Named(Field::spacing, texts.spacing) + " is used as " +
                    std::to_string(inputs.spacing) + ", a whole number.");
  }
  GridCounts counts;
  try {
    counts = CountGrid(inputs);
  } catch (const RunError&) {
    return items;  // a zero spacing, or too many lines: Run's error says so
  }
  const auto axis = [&](bool columns) {
    return Axis{
        .line = columns ? "column" : "row",
        .lines = columns ? "columns" : "rows",
        .min_field = columns ? Field::min_x : Field::min_y,
        .max_field = columns ? Field::max_x : Field::max_y,
        .min_text = columns ? texts.min_x : texts.min_y,
        .max_text = columns ? texts.max_x : texts.max_y,
        .min = *ReadDecimal(columns ? texts.min_x : texts.min_y, decimal_separator),
        .max = *ReadDecimal(columns ? texts.max_x : texts.max_y, decimal_separator),
        .count = columns ? counts.column_count : counts.row_count,
        .written = {},
        .written_values = {},
    };
  };
  Axis x = axis(true);
  Axis y = axis(false);
  if (counts.points() == 0) {
    for (const Axis* empty : {&x, &y}) {
      if (empty->count < 0) {
        items.push_back(NoPoint(*empty, texts.spacing, inputs.spacing));
      }
    }
    return items;
  }
  AccountForAxis(x, inputs.min_x, inputs.spacing, items);
  AccountForAxis(y, inputs.min_y, inputs.spacing, items);
  return items;
}

}  // namespace grid
