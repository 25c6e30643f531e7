// The five fields the grid is made from, described once: in the window's order, each with its
// caption (messages name a field by it, and the window draws the same words), its text among
// the five, and how the command line gives it, by name or in order. The core, the window's
// design and the console's options all read this table.
#pragma once

#include <cstddef>
#include <iterator>
#include <string>
#include <string_view>

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

// Whether `table` lists its rows as their enumeration does: row i's `key` is i, so that a row
// is found by its key alone.
template <typename Row, std::size_t size, typename Key>
constexpr bool InEnumerationOrder(const Row (&table)[size], Key Row::*key) {
  for (std::size_t i = 0; i < size; ++i) {
    if (static_cast<std::size_t>(table[i].*key) != i) {
      return false;
    }
  }
  return true;
}
static_assert(InEnumerationOrder(kFieldTable, &FieldDescription::field),
              "kFieldTable lists the fields as Field does");

// The five values' names in field order, "MINX MAXX MINY MAXY SPACING", as the command line
// takes them.
inline std::string ValuesInOrder() {
  std::string names;
  for (const FieldDescription& field : kFieldTable) {
    names.append(names.empty() ? "" : " ").append(field.in_order);
  }
  return names;
}

// A field and its text as typed, blanks around it left out, as messages name them:
// "Grid Spacing" 2.5.
inline std::string Named(Field field, std::string_view typed) {
  const std::size_t first = typed.find_first_not_of(" \t");
  const std::size_t last = typed.find_last_not_of(" \t");
  std::string named = "\"";
  named.append(Caption(field)).append("\" ");
  if (first != std::string_view::npos) {
    named.append(typed.substr(first, last - first + 1));
  }
  return named;
}

}  // namespace grid
