#include "grid/exact_decimal.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace grid {
namespace {

__extension__ typedef __int128 Int128;

std::string DecimalOf(Int128 value) {
  std::string digits;
  for (Int128 rest = value < 0 ? -value : value; rest != 0 || digits.empty(); rest /= 10) {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(rest % 10)));
  }
  if (value < 0) {
    digits.insert(digits.begin(), '-');
  }
  return digits;
}

// The arithmetic against the machine's own 128-bit integers, on values drawn across the limbs'
// edges (whole numbers times powers of ten, up to 37 digits, so that sums stay within 128 bits).
TEST(WholeNumber, AgreesWith128BitIntegers) {
  std::mt19937_64 random(45);
  const auto draw = [&random](Int128& reference) {
    const bool negative = random() % 2 == 0;
    const std::uint64_t whole = random() % 3 == 0 ? 999'999'999 : random() >> (random() % 64);
    const auto zeros = static_cast<std::int64_t>(random() % 18);
    reference = whole;
    for (std::int64_t i = 0; i < zeros; ++i) {
      reference *= 10;
    }
    reference = negative ? -reference : reference;
    return WholeNumber::Of(negative, whole, zeros);
  };
  for (int i = 0; i < 100'000; ++i) {
    Int128 a_value = 0;
    Int128 b_value = 0;
    const WholeNumber a = draw(a_value);
    const WholeNumber b = draw(b_value);
    ASSERT_EQ(a.Text(), DecimalOf(a_value));
    ASSERT_EQ((a + b).Text(), DecimalOf(a_value + b_value)) << DecimalOf(a_value);
    ASSERT_EQ((a - b).Text(), DecimalOf(a_value - b_value)) << DecimalOf(a_value);
    const Int128 distance = a_value > b_value ? a_value - b_value : b_value - a_value;
    ASSERT_EQ(Distance(a, b).Text(), DecimalOf(distance));
    ASSERT_EQ(a < b, a_value < b_value);
    ASSERT_EQ(a == b, a_value == b_value);
    const auto divisor = static_cast<std::uint32_t>(random() % 32767 + 1);
    const auto [quotient, exact] = a.DividedBy(divisor);
    ASSERT_EQ(quotient.Text(), DecimalOf(a_value / divisor));
    ASSERT_EQ(exact, a_value % divisor == 0);
    ASSERT_EQ(quotient.Times(divisor).Text(), DecimalOf(a_value / divisor * divisor));
  }
}

// Beyond 128 bits, and at a scale.
TEST(WholeNumber, TextsAtTheEnds) {
  std::string big(151, '0');
  big.front() = '1';
  EXPECT_EQ(WholeNumber::Of(false, 1, 150).Text(), big);
  EXPECT_EQ((WholeNumber::Of(false, 1, 150) - WholeNumber::Of(false, 1)).Text(),
            std::string(150, '9'));
  EXPECT_EQ(WholeNumber::Of(true, 125).Text(2), "-1.25");
  EXPECT_EQ(WholeNumber::Of(false, 5).Text(3), "0.005");
  EXPECT_EQ(WholeNumber::Of(false, 1200).Text(2), "12");
  EXPECT_EQ((WholeNumber::Of(true, 7) + WholeNumber::Of(false, 7)).Text(4), "0");
  EXPECT_EQ(WholeNumber::Scaled(*ReadDecimal("-12.3456e1", '.'), 2).Text(2), "-123.45");
  EXPECT_EQ(WholeNumber::Scaled(*ReadDecimal("0.0001", '.'), 3).Text(), "0");
}

TEST(CountOn, CountsLikeTheNextNumber) {
  for (const std::uint64_t number : {0ull, 8ull, 9ull, 99ull, 109ull, 999'999ull, 123'499ull}) {
    std::string digits = std::to_string(number);
    if (!CountOn(digits.data(), digits.data() + digits.size())) {
      digits.insert(digits.begin(), '1');
    }
    EXPECT_EQ(digits, std::to_string(number + 1));
  }
}

}  // namespace
}  // namespace grid
