// grid_bench [--decimal-separator=C] [--no-sync] -- MINX MAXX MINY MAXY SPACING
//
// Writes newgrid.txt in the current directory exactly as the Run button does, from the five
// texts as typed. Prints "<points> points, <bytes> bytes, <seconds> s, <rate> points/s" to
// standard error and exits 0; on a run-time error prints its number and description and exits
// 1; on a wrong command line exits 2. A stop request (INT, TERM and HUP on Linux; Ctrl+C,
// Ctrl+Break and closing the console on Windows) cancels the run, leaving newgrid.txt as it
// was: it says so and exits with 128 + the signal's number on Linux, 130 on Windows.
#include <chrono>
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>

#include "console.h"
#include "grid/generate_grid.h"
#include "grid/run_error.h"

namespace {

int Usage() {
  console::PrintError(
      "usage: grid_bench [--decimal-separator=C] [--no-sync] -- MINX MAXX MINY MAXY SPACING\n");
  return 2;
}

int Run(const std::vector<std::string>& arguments) {
  grid::RunOptions options;
  std::size_t arg = 1;
  for (; arg < arguments.size(); ++arg) {
    const std::string_view option = arguments[arg];
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
  if (arguments.size() - arg != 5) {
    return Usage();
  }
  const grid::FieldTexts texts{arguments[arg], arguments[arg + 1], arguments[arg + 2],
                               arguments[arg + 3], arguments[arg + 4]};

  console::CatchStopRequests();
  options.progress = [](const grid::GridProgress&) { return !console::StopRequested(); };

  const auto start = std::chrono::steady_clock::now();
  try {
    const grid::RunResult result = grid::GenerateGrid(texts, options);
    if (result.cancelled) {
      console::PrintError("Cancelled by " + console::StopName() + "; newgrid.txt is as it was.\n");
      return console::CancelledStatus();
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    const double seconds = elapsed.count();
    char summary[160];
    std::snprintf(summary, sizeof summary, "%llu points, %llu bytes, %.3f s, %.0f points/s\n",
                  static_cast<unsigned long long>(result.points_written),
                  static_cast<unsigned long long>(result.bytes_written), seconds,
                  seconds > 0 ? static_cast<double>(result.points_written) / seconds : 0.0);
    console::PrintError(summary);
    return 0;
  } catch (const grid::RunError& error) {
    console::PrintError("Run-time error " + std::to_string(error.number()) + ": " +
                        error.description() + "\n");
    return 1;
  } catch (const std::exception& error) {
    console::PrintError(std::string("Run-time error: ") + error.what() + "\n");
    return 1;
  }
}

}  // namespace

int main(int argc, char** argv) {
  console::Exit(Run(console::Arguments(argc, argv)));
}
