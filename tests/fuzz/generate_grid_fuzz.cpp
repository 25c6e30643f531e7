// The whole run on five fuzzed texts, in a folder of its own: a flags byte (bit 0: a previous
// newgrid.txt is there, bit 1: ',' is the separator), then the five texts, one a line. Only grids
// of at most 2000 points are run. The properties:
//  1. Nothing crashes, and nothing but newgrid.txt is ever left in the folder.
//  2. A run that fails leaves the previous file as it was, or none.
//  3. A run that succeeds writes the header and one line a point, each of the documented form.
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "grid/generate_grid.h"
#include "grid/run_error.h"
#include "support/test_files.h"

#define CHECK(condition)                              \
  if (!(condition)) {                                 \
    std::fprintf(stderr, "failed: %s\n", #condition); \
    std::abort();                                     \
  }

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) {
    return 0;
  }
  std::string fields[5];
  std::istringstream lines(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
  for (std::string& field : fields) {
    std::getline(lines, field);
  }
  const grid::FieldTexts texts{fields[0], fields[1], fields[2], fields[3], fields[4]};
  const char separator = data[0] & 2 ? ',' : '.';
  grid::RunOptions options;
  options.sync = false;
  std::uint64_t points = 0;
  try {
    points = grid::CountGrid(grid::ConvertInputs(texts, separator)).points();
  } catch (const grid::RunError&) {
  }
  if (points > 2000) {
    return 0;
  }

  static const fs::path folder = [] {
    const char* tmpdir = std::getenv("TMPDIR");
    std::string pattern = std::string(tmpdir && *tmpdir ? tmpdir : "/tmp") + "/tessaplan-XXXXXX";
    CHECK(mkdtemp(pattern.data()));
    return fs::path(pattern);
  }();
  options.output = folder / "newgrid.txt";
  fs::remove(options.output);
  const bool previous = data[0] & 1;
  if (previous) {
    std::ofstream(options.output) << "previous";
  }
  bool succeeded = true;
  try {
    CHECK(grid::GenerateGrid(grid::PlanGrid(texts, separator), options).points_written == points);
  } catch (const grid::RunError&) {
    succeeded = false;
  }
  const auto entries = std::distance(fs::directory_iterator(folder), fs::directory_iterator());
  CHECK(entries == (succeeded || previous ? 1 : 0));
  std::ifstream file(options.output, std::ios::binary);
  std::string line;
  if (!succeeded) {
    CHECK(!previous || (std::getline(file, line) && line == "previous" && file.peek() == EOF));
    return 0;
  }
  static const std::regex kPoint(
      R"((-?([0-9]+(\.[0-9]*[1-9])?|[0-9](\.[0-9]*[1-9])?E[+-][0-9]{2,3})),)"
      R"((-?([0-9]+(\.[0-9]*[1-9])?|[0-9](\.[0-9]*[1-9])?E[+-][0-9]{2,3})),"r[1-9][0-9]*c[1-9][0-9]*"\r)");
  CHECK(std::getline(file, line) && line + "\n" == testing_support::kGridHeader);
  std::uint64_t count = 0;
  for (; std::getline(file, line); ++count) {
    CHECK(std::regex_match(line, kPoint));
  }
  CHECK(count == points);
  return 0;
}
