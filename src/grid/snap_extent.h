// The extent moved to whole multiples of the spacing, so that grids of neighbouring areas meet:
// worked out in exact decimal arithmetic on the typed texts, before they are read as the window
// reads its fields.
#pragma once

#include <string>

#include "grid/fields.h"

namespace grid {

// out: the smallest aligned extent that holds the typed one; in: the largest inside it.
enum class Snap { out, in };

struct SnappedExtent {
  FieldTexts texts;     // the four coordinates whole multiples of the spacing, written in digits
  std::string problem;  // why the extent cannot be snapped, or empty
};

// The texts with the extent snapped to multiples of the spacing as the grid uses it (a whole
// number). Texts the run would refuse as not numbers are left as they are, for the run to say
// what is wrong. A spacing read as 0 or below (nothing to align to), a minimum above its maximum,
// or `in` where no multiple lies inside give a problem.
SnappedExtent SnapExtent(const FieldTexts& texts, char decimal_separator, Snap snap);

}  // namespace grid
