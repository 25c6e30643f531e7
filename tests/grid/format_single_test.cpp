#include "grid/format_single.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>

namespace grid {
namespace {

struct FormatCase {
  float value;
  const char* text;
};

void PrintTo(const FormatCase& c, std::ostream* out) {
  *out << c.text;
}

class FormatSingleTest : public testing::TestWithParam<FormatCase> {};

TEST_P(FormatSingleTest, WritesSevenSignificantDigits) {
  EXPECT_EQ(FormatSingle(GetParam().value), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Values, FormatSingleTest,
    testing::Values(FormatCase{0.0f, "0"}, FormatCase{-0.0f, "0"}, FormatCase{200.0f, "200"},
                    FormatCase{-200.0f, "-200"}, FormatCase{2.5f, "2.5"}, FormatCase{0.5f, "0.5"},
                    FormatCase{1.1f, "1.1"},
                    // Seven-digit northings are written in full, ten million is not.
                    FormatCase{4000000.0f, "4000000"}, FormatCase{9999999.0f, "9999999"},
                    FormatCase{10000000.0f, "1E+07"}, FormatCase{12500000.0f, "1.25E+07"},
                    FormatCase{-12345678.0f, "-1.234568E+07"},
                    // 123456.7 and 4000000.5 hold more digits than are written.
                    FormatCase{123456.7f, "123456.7"}, FormatCase{4000000.5f, "4000000"},
                    FormatCase{4000001.5f, "4000002"}, FormatCase{0.0001f, "0.0001"},
                    FormatCase{0.00001f, "1E-05"}, FormatCase{3.40282347e38f, "3.402823E+38"},
                    FormatCase{1.40129846e-45f, "1.401298E-45"},
                    FormatCase{-0.000123456789f, "-0.0001234568"}));

// The C library's "%.7G" is the reference, for every kind of float.
TEST(FormatSingle, MatchesPrintfOnRandomFloats) {
  std::mt19937 random(7);
  char expected[64];
  for (int i = 0; i < 1'000'000; ++i) {
    const float value = std::bit_cast<float>(static_cast<std::uint32_t>(random()));
    if (!std::isfinite(value) || value == 0.0f) {
      continue;
    }
    std::snprintf(expected, sizeof expected, "%.7G", static_cast<double>(value));
    const std::string text = FormatSingle(value);
    ASSERT_EQ(text, expected) << std::bit_cast<std::uint32_t>(value);
    ASSERT_LE(text.size(), kMaxSingleText);
    ASSERT_EQ(SingleTextSize(value), text.size()) << text;
  }
}

// What a grid steps through, from each start: whole values, fractions of 1/2^k and eight-digit
// values (ties to even at the seventh digit, and the carry to 1E+08), which the text and its
// size have quick ways for, and others, across the magnitudes where the text changes form.
TEST(FormatSingle, MatchesPrintfOnGridCoordinates) {
  char expected[64];
  for (const float step : {1.0f, 0.5f, 0.375f, 0.0625f, 1.0f / 1024, 1.0f / 2048, 0.3f, 7.0f}) {
    for (const float start :
         {-99'997'000.0f, -10'000'500.0f, -1'000'050.5f, -100'005.0f, -9.25f, -1.0f, 0.0f, 0.75f,
          999'990.0f, 9'999'000.0f, 13'100'000.0f, 16'777'000.0f, 99'997'000.0f}) {
      float value = start;
      for (int i = 0; i < 3000; ++i, value = value + step) {
        const int size =
            std::snprintf(expected, sizeof expected, "%.7G", static_cast<double>(value));
        ASSERT_EQ(FormatSingle(value), expected) << " from " << start << " by " << step;
        ASSERT_EQ(SingleTextSize(value), static_cast<std::size_t>(size))
            << expected << " from " << start << " by " << step;
      }
    }
  }
}

TEST(FormatSingle, MatchesPrintfOnEveryWholeCoordinateNearTenMillion) {
  char expected[64];
  for (float value = 9'990'000.0f; value <= 10'010'000.0f; value += 1.0f) {
    std::snprintf(expected, sizeof expected, "%.7G", static_cast<double>(value));
    ASSERT_EQ(FormatSingle(value), expected);
  }
}

}  // namespace
}  // namespace grid
