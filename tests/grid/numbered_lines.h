// Lines of numbered text written through the grid file writer, for the file tests of both
// systems.
#pragma once

#include <algorithm>
#include <string>

#include "grid/grid_file.h"

namespace grid::testing_support {

// Lines of every length from 1 to kLineRoom, numbered so that a lost or repeated one shows.
inline std::string NumberedLines(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    std::string line = std::to_string(i) + ",";
    line.resize(static_cast<std::size_t>(i) % GridFile::kLineRoom + 1, '-');
    text += line;
  }
  return text;
}

// Writes `text` through LineStart and LineEnd, the way the grid's lines are written.
inline void WriteLines(GridFile& file, const std::string& text) {
  for (std::size_t pos = 0, i = 0; pos < text.size(); ++i) {
    const std::size_t size = std::min(i % GridFile::kLineRoom + 1, text.size() - pos);
    char* start = file.LineStart();
    std::copy_n(text.data() + pos, size, start);
    file.LineEnd(start + size);
    pos += size;
  }
}

}  // namespace grid::testing_support
