// The five fields the grid is made from, described once: in the window's order, each with its
// caption (messages name a field by it, and the window draws the same words), its text among
// the five, and how the command line gives it, by name or in order. The core, the window's
// design and the console's options all read this table.
#pragma once

#include <cstddef>
#include <iterator>
#include <string>

namespace grid {

enum class Field { min_x, max_x, min_y, max_y, spacing };

// The texts of the five fields, as typed.
struct FieldTexts {
  std::string min_x;
  std::string max_x;
  std::string min_y;
  std::string max_y;
  std::string spacing;
};

struct FieldDescription {
  Field field;
  const char* caption;
  std::string FieldTexts::*text;
  const char* option;    // by name: --min-x=X
  const char* in_order;  // in order: MINX MAXX MINY MAXY SPACING
};

inline constexpr FieldDescription kFieldTable[] = {
    {Field::min_x, "Minimum x value", &FieldTexts::min_x, "--min-x", "MINX"},
    {Field::max_x, "Maximum x value", &FieldTexts::max_x, "--max-x", "MAXX"},
    {Field::min_y, "Minimum Y value", &FieldTexts::min_y, "--min-y", "MINY"},
    {Field::max_y, "Maximum Y value", &FieldTexts::max_y, "--max-y", "MAXY"},
    {Field::spacing, "Grid Spacing", &FieldTexts::spacing, "--spacing", "SPACING"},
};

inline constexpr const FieldDescription& Describe(Field field) {
  return kFieldTable[static_cast<std::size_t>(field)];
}

inline constexpr const char* Caption(Field field) {
  return Describe(field).caption;
}

inline const std::string& Text(const FieldTexts& texts, Field field) {
  return texts.*Describe(field).text;
}

inline std::string& Text(FieldTexts& texts, Field field) {
  return texts.*Describe(field).text;
}

namespace detail {
constexpr bool InFieldOrder() {
  for (std::size_t i = 0; i < std::size(kFieldTable); ++i) {
    if (static_cast<std::size_t>(kFieldTable[i].field) != i) {
      return false;
    }
  }
  return true;
}
}  // namespace detail
static_assert(detail::InFieldOrder(), "kFieldTable lists the fields as Field does");

}  // namespace grid
