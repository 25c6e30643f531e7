// The extent moved to whole multiples of the spacing, so that grids of neighbouring areas meet:
// worked out in exact decimal arithmetic on the typed texts, before they are read as the window
// reads its fields.
#pragma once

#include <cstdint>

#include "grid/fields.h"

namespace grid {

// out: the smallest aligned extent that holds the typed one; in: the largest inside it.
enum class Snap { out, in };

// Raised where the extent cannot be snapped, with what the caller needs to say why.
struct SnapRefused {
  enum class Why {
    spacing_not_above_zero,  // nothing to align to
    minimum_above_maximum,   // of the axis from `min` to `max`
    no_multiple_inside,      // of `spacing`, from `min` to `max` (Snap::in)
  };
  Why why;
  std::int16_t spacing;  // as the grid uses it
  Field min = Field::min_x;
  Field max = Field::max_x;
};

// The texts with the extent snapped to multiples of the spacing as the grid uses it (a whole
// number), the four coordinates written in digits. Texts the run would refuse as not numbers are
// left as they are, for the run to say what is wrong. Raises SnapRefused for a spacing read as 0
// or below, a minimum above its maximum, or `in` where no multiple lies inside.
FieldTexts SnapExtent(const FieldTexts& texts, char decimal_separator, Snap snap);

}  // namespace grid
