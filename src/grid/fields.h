// The five fields the grid is made from, in the window's order, and their captions. Messages
// name a field by its caption, and the window draws the same words: both read them here.
#pragma once

#include <cstddef>

namespace grid {

enum class Field { min_x, max_x, min_y, max_y, spacing };

inline constexpr const char* kFieldCaptions[] = {
    "Minimum x value", "Maximum x value", "Minimum Y value", "Maximum Y value", "Grid Spacing"};

inline constexpr const char* Caption(Field field) {
  return kFieldCaptions[static_cast<std::size_t>(field)];
}

}  // namespace grid
