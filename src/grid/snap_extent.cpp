#include "grid/snap_extent.h"

#include <cstdint>
#include <optional>
#include <utility>

#include "grid/exact_decimal.h"
#include "grid/text_to_number.h"

namespace grid {
namespace {

// Beyond this many digits before the point no value converts to single precision: such a text
// is left for the run to refuse.
constexpr std::int64_t kLargestExponent = 60;

// The multiple of `spacing` at or below `number` (down), or at or above it.
WholeNumber Aligned(const Decimal& number, int spacing, bool down) {
  // number / spacing, cut toward zero, and whether nothing was cut.
  auto [quotient, exact] =
      WholeNumber::Scaled(number, 0).DividedBy(static_cast<std::uint32_t>(spacing));
  exact = exact && DecimalsOf(number) == 0;
  // Away from zero unless exact: up for a positive number, down for a negative one.
  if (!exact && down == number.negative) {
    quotient = quotient + WholeNumber::Of(number.negative, 1);
  }
  return quotient.Times(static_cast<std::uint32_t>(spacing));
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
    const WholeNumber aligned_low = Aligned(*low, spacing.value, snap == Snap::out);
    const WholeNumber aligned_high = Aligned(*high, spacing.value, snap == Snap::in);
    if (aligned_high < aligned_low) {
      throw SnapRefused{SnapRefused::Why::no_multiple_inside, spacing.value, min, max};
    }
    Text(snapped, min) = aligned_low.Text();
    Text(snapped, max) = aligned_high.Text();
  }
  return snapped;
}

}  // namespace grid
