// grid_bench [--decimal-separator=C] [--no-sync] -- MINX MAXX MINY MAXY SPACING
//
// Writes newgrid.txt in the current directory exactly as the Run button does, from the five
// texts as typed. Prints "<points> points, <bytes> bytes, <seconds> s, <rate> points/s" to
// standard error and exits 0; on a run-time error prints its number and description and exits
// 1; on a wrong command line exits 2.
#include <chrono>
#include <cstdio>
#include <string_view>

#include "grid/generate_grid.h"
#include "grid/run_error.h"

namespace {

int Usage() {
  std::fputs(
      "usage: grid_bench [--decimal-separator=C] [--no-sync] -- MINX MAXX MINY MAXY SPACING\n",
      stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  grid::RunOptions options;
  int arg = 1;
  for (; arg < argc; ++arg) {
    const std::string_view option = argv[arg];
    constexpr std::string_view kSeparator = "--decimal-separator=";
    if (option == "--") {
      ++arg;
      break;
    }
    if (option == "--no-sync") {
      options.sync = false;
    } else if (option.starts_with(kSeparator) && option.size() == kSeparator.size() + 1) {
      options.decimal_separator = option.back();
    } else if (option.starts_with("--")) {
      return Usage();
    } else {
      break;  // the values, without "--" before them
    }
  }
  if (argc - arg != 5) {
    return Usage();
  }
  const grid::FieldTexts texts{argv[arg], argv[arg + 1], argv[arg + 2], argv[arg + 3],
                               argv[arg + 4]};

  const auto start = std::chrono::steady_clock::now();
  try {
    const grid::RunResult result = grid::GenerateGrid(texts, options);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    const double seconds = elapsed.count();
    std::fprintf(stderr, "%llu points, %llu bytes, %.3f s, %.0f points/s\n",
                 static_cast<unsigned long long>(result.points_written),
                 static_cast<unsigned long long>(result.bytes_written), seconds,
                 seconds > 0 ? static_cast<double>(result.points_written) / seconds : 0.0);
    return 0;
  } catch (const grid::RunError& error) {
    std::fprintf(stderr, "Run-time error %d: %s\n", error.number(), error.description().c_str());
    return 1;
  }
}
