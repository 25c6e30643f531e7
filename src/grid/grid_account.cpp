#include "grid/grid_account.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>
#include <string_view>
#include <utility>

#include "grid/fields.h"
#include "grid/format_single.h"
#include "grid/point_file.h"
#include "grid/run_error.h"
#include "grid/text_to_number.h"

namespace grid {
namespace {

// Every value of an axis is compared as a whole number of 10^-scale: the typed minimum and
// maximum, the spacing and each written text, so that no rounding enters the comparison. Typed
// digits beyond this many decimals are cut; every written text has fewer.
constexpr std::int64_t kMaxScale = 100;

// A written text's value: `whole` times 10^exponent, `whole` without trailing zeros.
struct Written {
  bool negative = false;
  std::uint64_t whole = 0;
  std::int64_t exponent = 0;
};

// Read straight from the characters FormatSingle writes ("-1.310001E+07", "0.25", "4000000"):
// done for every column and row, so without a string or an allocation.
Written ReadWritten(const char* text, const char* end) {
  Written value;
  value.negative = *text == '-';
  std::int64_t decimals = 0;
  bool fraction = false;
  const char* at = text + (value.negative ? 1 : 0);
  for (; at != end && *at != 'E'; ++at) {
    if (*at == '.') {
      fraction = true;
    } else {
      value.whole = value.whole * 10 + static_cast<std::uint64_t>(*at - '0');
      decimals += fraction ? 1 : 0;
    }
  }
  std::int64_t exponent = 0;
  if (at != end) {
    const bool down = at[1] == '-';
    for (at += 2; at != end; ++at) {
      exponent = exponent * 10 + (*at - '0');
    }
    exponent = down ? -exponent : exponent;
  }
  value.exponent = exponent - decimals;
  while (value.whole != 0 && value.whole % 10 == 0) {
    value.whole /= 10;
    ++value.exponent;
  }
  return value;
}

// The usual extent fits in 128 bits at its scale; the whole numbers are then machine numbers.
__extension__ typedef __int128 Int128;

class WideNumber {
 public:
  WideNumber() = default;
  // `digits` followed by `zeros` zeros.
  static WideNumber Of(bool negative, std::string_view digits, std::int64_t zeros) {
    Int128 value = 0;
    for (const char digit : digits) {
      value = value * 10 + (digit - '0');
    }
    return WideNumber(negative, value, zeros);
  }
  static WideNumber Of(bool negative, std::uint64_t whole, std::int64_t zeros) {
    return WideNumber(negative, whole, zeros);
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
  WideNumber(bool negative, Int128 magnitude, std::int64_t zeros) {
    for (; zeros > 0; --zeros) {
      magnitude *= 10;
    }
    value_ = negative ? -magnitude : magnitude;
  }
  Int128 value_ = 0;
};

// Any size the account needs (the scale's 100 decimals and single precision's 39 whole digits),
// for extents typed with many digits or near the ends of single precision's range. Fixed limbs:
// no allocation for each column.
class BigNumber {
 public:
  BigNumber() = default;
  static BigNumber Of(bool negative, std::string_view digits, std::int64_t zeros) {
    BigNumber number;
    for (const char digit : digits) {
      number.MultiplyAdd(10, static_cast<std::uint32_t>(digit - '0'));
    }
    number.Shift(zeros);
    number.negative_ = negative && number.size_ > 0;
    return number;
  }
  static BigNumber Of(bool negative, std::uint64_t whole, std::int64_t zeros) {
    BigNumber number;
    for (; whole != 0; whole /= kBase) {
      number.limbs_[number.size_++] = static_cast<std::uint32_t>(whole % kBase);
    }
    number.Shift(zeros);
    number.negative_ = negative && number.size_ > 0;
    return number;
  }
  friend BigNumber operator+(const BigNumber& a, const BigNumber& b) {
    if (a.negative_ == b.negative_) {
      return Add(a, b, a.negative_);
    }
    // Opposite signs: the larger magnitude, less the smaller, with the larger's sign.
    return LessInMagnitude(a, b) ? Subtract(b, a, b.negative_) : Subtract(a, b, a.negative_);
  }
  friend BigNumber operator-(const BigNumber& a, BigNumber b) {
    b.negative_ = !b.negative_ && b.size_ > 0;
    return a + b;
  }
  friend bool operator==(const BigNumber& a, const BigNumber& b) {
    return a.negative_ == b.negative_ && a.size_ == b.size_ &&
           std::equal(a.limbs_.begin(), a.limbs_.begin() + a.size_, b.limbs_.begin());
  }
  friend bool operator<(const BigNumber& a, const BigNumber& b) {
    if (a.negative_ != b.negative_) {
      return a.negative_;
    }
    return a.negative_ ? LessInMagnitude(b, a) : LessInMagnitude(a, b);
  }
  bool negative() const { return negative_; }
  BigNumber Magnitude() const {
    BigNumber magnitude = *this;
    magnitude.negative_ = false;
    return magnitude;
  }
  std::string Digits() const {
    std::string digits = size_ == 0 ? "0" : std::to_string(limbs_[size_ - 1]);
    for (std::size_t i = size_; i-- > 1;) {
      const std::string limb = std::to_string(limbs_[i - 1]);
      digits.append(9 - limb.size(), '0').append(limb);
    }
    return digits;
  }

 private:
  static constexpr std::uint32_t kBase = 1'000'000'000;  // nine digits a limb
  static constexpr std::size_t kLimbs = 17;              // 153 digits

  void MultiplyAdd(std::uint32_t factor, std::uint32_t add) {
    std::uint64_t carry = add;
    for (std::size_t i = 0; i < size_; ++i) {
      carry += std::uint64_t{limbs_[i]} * factor;
      limbs_[i] = static_cast<std::uint32_t>(carry % kBase);
      carry /= kBase;
    }
    if (carry != 0) {
      limbs_[size_++] = static_cast<std::uint32_t>(carry);
    }
  }
  // Times 10^zeros.
  void Shift(std::int64_t zeros) {
    if (size_ == 0) {
      return;
    }
    const auto whole_limbs = static_cast<std::size_t>(zeros / 9);
    std::copy_backward(limbs_.begin(), limbs_.begin() + size_,
                       limbs_.begin() + size_ + whole_limbs);
    std::fill(limbs_.begin(), limbs_.begin() + whole_limbs, 0u);
    size_ += whole_limbs;
    std::uint32_t factor = 1;
    for (std::int64_t i = 0; i < zeros % 9; ++i) {
      factor *= 10;
    }
    MultiplyAdd(factor, 0);
  }
  static bool LessInMagnitude(const BigNumber& a, const BigNumber& b) {
    if (a.size_ != b.size_) {
      return a.size_ < b.size_;
    }
    return std::lexicographical_compare(
        std::make_reverse_iterator(a.limbs_.begin() + a.size_), a.limbs_.rend(),
        std::make_reverse_iterator(b.limbs_.begin() + b.size_), b.limbs_.rend());
  }
  static BigNumber Add(const BigNumber& a, const BigNumber& b, bool negative) {
    BigNumber sum;
    std::uint32_t carry = 0;
    for (std::size_t i = 0; i < std::max(a.size_, b.size_) || carry != 0; ++i) {
      const std::uint32_t limb = carry + a.limbs_[i] + b.limbs_[i];
      carry = limb >= kBase ? 1 : 0;
      sum.limbs_[i] = limb - carry * kBase;
      sum.size_ = i + 1;
    }
    sum.negative_ = negative && sum.size_ > 0;
    return sum;
  }
  // |a| - |b|, where |b| is not larger.
  static BigNumber Subtract(const BigNumber& a, const BigNumber& b, bool negative) {
    BigNumber difference;
    std::uint32_t borrow = 0;
    for (std::size_t i = 0; i < a.size_; ++i) {
      const std::uint32_t taken = borrow + b.limbs_[i];
      borrow = a.limbs_[i] < taken ? 1 : 0;
      difference.limbs_[i] = a.limbs_[i] + borrow * kBase - taken;
    }
    difference.size_ = a.size_;
    while (difference.size_ > 0 && difference.limbs_[difference.size_ - 1] == 0) {
      --difference.size_;
    }
    difference.negative_ = negative && difference.size_ > 0;
    return difference;
  }

  bool negative_ = false;
  std::size_t size_ = 0;
  std::array<std::uint32_t, kLimbs> limbs_{};
};

std::int64_t Decimals(const Decimal& number) {
  return number.digits.empty()
             ? 0
             : std::max<std::int64_t>(
                   0, static_cast<std::int64_t>(number.digits.size()) - 1 - number.exponent);
}

std::int64_t Digits(std::uint64_t whole) {
  std::int64_t digits = 1;
  for (; whole >= 10; whole /= 10) {
    ++digits;
  }
  return digits;
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
    return Number::Of(number.negative, number.digits, zeros);
  }
  const std::int64_t kept = static_cast<std::int64_t>(number.digits.size()) + zeros;
  return kept <= 0
             ? Number()
             : Number::Of(number.negative,
                          std::string_view(number.digits).substr(0, static_cast<std::size_t>(kept)),
                          0);
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
  int count;                  // whole spacings, so count + 1 lines
  std::vector<float> values;  // as written, one for each line
  std::vector<Written> written;
  WrittenForm form;
};

// A value as the file writes it, for a message to quote.
std::string AsWritten(float value, WrittenForm form) {
  const std::string text = FormatSingle(value);
  return form == WrittenForm::point_file ? PlainDecimal(text) : text;
}

// Where the last line lies, at `exact`, against the typed maximum: short of it by a whole `step`
// or more, or past it.
template <typename Number>
void AccountForLastLine(const Axis& axis, const Number& exact, const Number& step, bool ascending,
                        std::int64_t scale, std::vector<AccountItem>& items) {
  const Number max = Scaled<Number>(axis.max, scale);
  const Number next = exact + step;
  if (ascending ? !(max < next) : !(next < max)) {
    items.push_back({Named(axis.max_field, axis.max_text) + " is not reached: the last " +
                         std::string(axis.line) + " is at " + DecimalText(exact, scale) +
                         ", though one more spacing, to " + DecimalText(next, scale) +
                         ", stays within it.",
                     axis.max_field});
  } else if (ascending ? max < exact : exact < max) {
    items.push_back({"The last " + std::string(axis.line) + ", at " + DecimalText(exact, scale) +
                         ", lies past " + Named(axis.max_field, axis.max_text) + ".",
                     axis.max_field});
  }
}

template <typename Number>
void AccountForAxis(const Axis& axis, std::int16_t spacing, std::int64_t scale,
                    std::vector<AccountItem>& items) {
  // Typed digits beyond the scale (a minimum typed with more decimals than any text can have)
  // put every line away from where the fields put it.
  const bool min_cut = Decimals(axis.min) > scale;
  const Number step =
      Number::Of(spacing < 0, std::to_string(spacing < 0 ? -spacing : spacing), scale);
  Number exact = Scaled<Number>(axis.min, scale);
  Number previous;
  int away = 0;
  int worst = -1;
  Number worst_difference;
  Number worst_exact;
  int alike = -1;
  for (int i = 0; i <= axis.count; ++i) {
    const Written& written = axis.written[static_cast<std::size_t>(i)];
    const Number at = Number::Of(written.negative, written.whole, written.exponent + scale);
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
    items.push_back({std::to_string(away) + " of " + lines + (away == 1 ? " is" : " are") +
                         " written away from where the fields put them, by up to " +
                         DecimalText(worst_difference, scale) + " (" + std::string(axis.line) +
                         " " + std::to_string(worst + 1) + ": " +
                         AsWritten(axis.values[static_cast<std::size_t>(worst)], axis.form) +
                         ", not " + DecimalText(worst_exact, scale) + ").",
                     axis.min_field});
  }
  if (alike > 0) {
    items.push_back({Capitalized(std::string(axis.lines)) + " " + std::to_string(alike) + " and " +
                         std::to_string(alike + 1) + " are both written as " +
                         AsWritten(axis.values[static_cast<std::size_t>(alike)], axis.form) +
                         ": points share a written position.",
                     axis.min_field});
  }
  AccountForLastLine(axis, exact, step, spacing > 0, scale, items);
}

void AccountForAxis(Axis& axis, float first, std::int16_t spacing,
                    std::vector<AccountItem>& items) {
  // Written as the run writes them: each value the one before plus the spacing, in single
  // precision.
  const auto step = static_cast<float>(spacing);
  float value = first;
  std::int64_t scale = std::max(Decimals(axis.min), Decimals(axis.max));
  std::int64_t whole_digits = std::max(
      {WholeDigits(axis.min), WholeDigits(axis.max), std::int64_t{10}});  // 32767 spacings of 32767
  axis.values.reserve(static_cast<std::size_t>(axis.count) + 1);
  axis.written.reserve(static_cast<std::size_t>(axis.count) + 1);
  for (int i = 0; i <= axis.count; ++i, value = value + step) {
    char text[kMaxSingleText];
    const Written written = ReadWritten(text, FormatSingle(value, text));
    axis.values.push_back(value);
    axis.written.push_back(written);
    scale = std::max(scale, -written.exponent);
    whole_digits = std::max(whole_digits, Digits(written.whole) + written.exponent);
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

std::vector<AccountItem> AccountItems(const FieldTexts& texts, char decimal_separator,
                                      WrittenForm form) {
  std::vector<AccountItem> items;
  const Checked<GridInputs> checked_inputs = CheckInputs(texts, decimal_separator);
  if (checked_inputs.error) {
    return items;  // not numbers, or beyond their range: Run's error says so
  }
  const GridInputs& inputs = checked_inputs.value;
  const Decimal typed_spacing = *ReadDecimal(texts.spacing, decimal_separator);
  if (!SameValue(typed_spacing, *ReadDecimal(std::to_string(inputs.spacing), '.'))) {
    items.push_back({Named(Field::spacing, texts.spacing) + " is used as " +
                         std::to_string(inputs.spacing) + ", a whole number.",
                     Field::spacing});
  }
  const Checked<GridCounts> checked_counts = CheckCounts(inputs);
  if (checked_counts.error) {
    return items;  // a zero spacing, or too many lines: Run's error says so
  }
  const GridCounts& counts = checked_counts.value;
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
        .values = {},
        .written = {},
        .form = form,
    };
  };
  Axis x = axis(true);
  Axis y = axis(false);
  if (counts.points() == 0) {
    for (const Axis* empty : {&x, &y}) {
      if (empty->count < 0) {
        items.push_back({NoPoint(*empty, texts.spacing, inputs.spacing), empty->min_field});
      }
    }
    return items;
  }
  AccountForAxis(x, inputs.min_x, inputs.spacing, items);
  AccountForAxis(y, inputs.min_y, inputs.spacing, items);
  return items;
}

std::vector<std::string> AccountForGrid(const FieldTexts& texts, char decimal_separator,
                                        WrittenForm form) {
  std::vector<std::string> sentences;
  for (AccountItem& item : AccountItems(texts, decimal_separator, form)) {
    sentences.push_back(std::move(item.text));
  }
  return sentences;
}

}  // namespace grid
