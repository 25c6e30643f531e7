// Lines of numbered text written through the file writer, for the file tests of both
// systems.
#pragma once

#include <algorithm>
#include <string>

#include "file/writer.h"

namespace testing_support {

// Lines of every length from 1 to kLineRoom, numbered so that a lost or repeated one shows.
inline std::string NumberedLines(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    std::string line = std::to_string(i) + ",";
    line.resize(static_cast<std::size_t>(i) % file::Writer::kLineRoom + 1, '-');
    text += line;
  }
  return text;
}

// Writes `text` through LineStart and LineEnd, the way the grid's lines are written.
inline void WriteLines(file::Writer& file, const std::string& text) {
  for (std::size_t pos = 0, i = 0; pos < text.size(); ++i) {
    const std::size_t size = std::min(i % file::Writer::kLineRoom + 1, text.size() - pos);
    char* start = file.LineStart();
    std::copy_n(text.data() + pos, size, start);
    file.LineEnd(start + size);
    pos += size;
  }
}

}  // namespace testing_support
