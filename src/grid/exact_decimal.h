// Exact decimal values: read from text, compared, and counted in whole units with no rounding
// anywhere. The number conversions, the account of what the file loses, --snap and the point
// file's numbers all work in these.
#pragma once

#include <algorithm>
#include <array>
#include <cassert>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace grid {

// The number form:
//
//   blanks [sign] digits [separator [digits]] [exponent] blanks
//   blanks [sign] separator digits [exponent] blanks
//
// blanks are spaces and tabs, sign is '+' or '-', digits are ASCII 0-9, separator is the
// `decimal_separator` passed in (the user's locale's), exponent is 'e' or 'E', an optional sign
// and at least one digit. Nothing else is a number: no digit grouping (in a locale whose
// separator is ',' a '.' is not a number, rather than silently becoming a group mark), no
// currency signs, no hexadecimal or octal prefixes, no "inf" or "nan".

// A number of that form as it stands in the text: its sign, the digits before and after the
// separator, and the exponent, which saturates at a billion, far beyond any that converts.
struct DecimalParts {
  bool negative = false;
  std::string_view whole;
  std::string_view fraction;
  std::int64_t exponent = 0;
};
// Reads the number form, or nothing when the text is not of it. Allocates nothing: the account
// reads every column and row the file writes with it.
std::optional<DecimalParts> ScanDecimal(std::string_view text, char decimal_separator);

// A number in the form d.ddd x 10^exponent, exactly as typed: `digits` holds its significant
// digits, without leading or trailing zeros, and is empty for zero.
struct Decimal {
  bool negative = false;
  std::string digits;
  std::int64_t exponent = 0;
};
std::optional<Decimal> ReadDecimal(std::string_view text, char decimal_separator);

// -1, 0 or 1 as a is below, equal to or above b; zero is zero whatever its sign.
int Compare(const Decimal& a, const Decimal& b);
// The digits after the point: 0 for a whole number.
std::int64_t DecimalsOf(const Decimal& number);

// A whole number of either sign, of up to kDigits decimal digits, in fixed limbs: no allocation,
// so that it may be made for every column and row. Enough for a value of single precision's 39
// whole digits at 100 decimals, with room for the carries of sums and for a spacing's multiples.
// What is done for each line is defined here, to be inlined.
class WholeNumber {
 public:
  static constexpr std::int64_t kDigits = 153;

  WholeNumber() = default;
  // Only the limbs in use are copied, and only they are ever read: a number is made for every
  // line, and clearing or copying all limbs each time would cost more than its arithmetic.
  WholeNumber(const WholeNumber& other) { *this = other; }
  WholeNumber& operator=(const WholeNumber& other) {
    negative_ = other.negative_;
    size_ = other.size_;
    std::copy_n(other.limbs_.begin(), size_, limbs_.begin());
    return *this;
  }
  // (-)`whole` followed by `zeros` zeros.
  static WholeNumber Of(bool negative, std::uint64_t whole, std::int64_t zeros = 0) {
    WholeNumber number;
    for (; whole != 0; whole /= kBase) {
      number.Push(static_cast<std::uint32_t>(whole % kBase));
    }
    number.Shift(zeros);
    number.negative_ = negative && number.size_ > 0;
    return number;
  }
  // `number` in units of 10^-scale, its digits beyond them cut off.
  static WholeNumber Scaled(const Decimal& number, std::int64_t scale);

  friend WholeNumber operator+(const WholeNumber& a, const WholeNumber& b) {
    return Sum(a, b, b.negative_);
  }
  friend WholeNumber operator-(const WholeNumber& a, const WholeNumber& b) {
    return Sum(a, b, !b.negative_ && b.size_ > 0);
  }
  friend bool operator==(const WholeNumber& a, const WholeNumber& b) {
    return a.negative_ == b.negative_ && a.size_ == b.size_ &&
           std::equal(a.limbs_.begin(), a.limbs_.begin() + a.size_, b.limbs_.begin());
  }
  friend bool operator<(const WholeNumber& a, const WholeNumber& b) {
    if (a.negative_ != b.negative_) {
      return a.negative_;
    }
    return a.negative_ ? LessInMagnitude(b, a) : LessInMagnitude(a, b);
  }

  // |a - b|.
  friend WholeNumber Distance(const WholeNumber& a, const WholeNumber& b) {
    if (a.negative_ != b.negative_) {
      return Add(a, b, false);
    }
    return LessInMagnitude(a, b) ? Subtract(b, a, false) : Subtract(a, b, false);
  }

  // Divided by `divisor`, rounded toward zero, and whether nothing remained.
  std::pair<WholeNumber, bool> DividedBy(std::uint32_t divisor) const;
  WholeNumber Times(std::uint32_t factor) const;
  // This many units of 10^-scale in plain decimals, without trailing zeros: "-12.5", "0".
  std::string Text(std::int64_t scale = 0) const;

 private:
  static constexpr std::uint32_t kBase = 1'000'000'000;  // nine digits a limb
  static constexpr std::size_t kLimbs = (kDigits + 8) / 9;

  void MultiplyAdd(std::uint32_t factor, std::uint32_t add) {
    std::uint64_t carry = add;
    for (std::size_t i = 0; i < size_; ++i) {
      carry += std::uint64_t{limbs_[i]} * factor;
      limbs_[i] = static_cast<std::uint32_t>(carry % kBase);
      carry /= kBase;
    }
    if (carry != 0) {
      Push(static_cast<std::uint32_t>(carry));
    }
  }
  // A limb more, at the top. Debug builds check the room, as every caller keeps within
  // kDigits: a number past it would write beyond the limbs.
  void Push(std::uint32_t limb) {
    assert(size_ < kLimbs);
    limbs_[size_++] = limb;
  }
  // Times 10^zeros.
  void Shift(std::int64_t zeros) {
    if (size_ == 0 || zeros == 0) {
      return;
    }
    const auto whole_limbs = static_cast<std::size_t>(zeros / 9);
    assert(size_ + whole_limbs <= kLimbs);
    if (whole_limbs > 0) {
      std::copy_backward(limbs_.begin(), limbs_.begin() + size_,
                         limbs_.begin() + size_ + whole_limbs);
      std::fill(limbs_.begin(), limbs_.begin() + whole_limbs, 0u);
      size_ += whole_limbs;
    }
    std::uint32_t factor = 1;
    for (std::int64_t i = 0; i < zeros % 9; ++i) {
      factor *= 10;
    }
    if (factor != 1) {
      MultiplyAdd(factor, 0);
    }
  }
  // a + b, with b taken as negative or not.
  static WholeNumber Sum(const WholeNumber& a, const WholeNumber& b, bool b_negative) {
    if (a.negative_ == b_negative) {
      return Add(a, b, a.negative_);
    }
    // Opposite signs: the larger magnitude, less the smaller, with the larger's sign.
    return LessInMagnitude(a, b) ? Subtract(b, a, b_negative) : Subtract(a, b, a.negative_);
  }
  static bool LessInMagnitude(const WholeNumber& a, const WholeNumber& b) {
    if (a.size_ != b.size_) {
      return a.size_ < b.size_;
    }
    for (std::size_t i = a.size_; i-- > 0;) {
      if (a.limbs_[i] != b.limbs_[i]) {
        return a.limbs_[i] < b.limbs_[i];
      }
    }
    return false;
  }
  static WholeNumber Add(const WholeNumber& a, const WholeNumber& b, bool negative) {
    WholeNumber sum;
    std::uint32_t carry = 0;
    for (std::size_t i = 0; i < std::max(a.size_, b.size_) || carry != 0; ++i) {
      assert(i < kLimbs);
      const std::uint32_t limb = carry + a.LimbOrZero(i) + b.LimbOrZero(i);
      carry = limb >= kBase ? 1 : 0;
      sum.limbs_[i] = limb - carry * kBase;
      sum.size_ = i + 1;
    }
    sum.negative_ = negative && sum.size_ > 0;
    return sum;
  }
  // |a| - |b|, where |b| is not larger.
  static WholeNumber Subtract(const WholeNumber& a, const WholeNumber& b, bool negative) {
    WholeNumber difference;
    std::uint32_t borrow = 0;
    for (std::size_t i = 0; i < a.size_; ++i) {
      const std::uint32_t taken = borrow + b.LimbOrZero(i);
      borrow = a.limbs_[i] < taken ? 1 : 0;
      difference.limbs_[i] = a.limbs_[i] + borrow * kBase - taken;
    }
    difference.size_ = a.size_;
    difference.Trim();
    difference.negative_ = negative && difference.size_ > 0;
    return difference;
  }
  std::uint32_t LimbOrZero(std::size_t i) const { return i < size_ ? limbs_[i] : 0; }
  // Drops the leading zero limbs.
  void Trim() {
    while (size_ > 0 && limbs_[size_ - 1] == 0) {
      --size_;
    }
  }

  bool negative_ = false;
  std::size_t size_ = 0;                     // limbs in use; 0 for zero
  std::array<std::uint32_t, kLimbs> limbs_;  // the lowest first; those past size_ unset
};

// Counts the decimal digits in [first, last) on by one, in place. Returns false where they were
// all nines, which are now all zeros: the caller writes the carried one.
bool CountOn(char* first, char* last);

}  // namespace grid
