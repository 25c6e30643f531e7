// grid_bench [--decimal-separator=C] [--no-sync] -- MINX MAXX MINY MAXY SPACING
//
// Writes newgrid.txt in the current directory exactly as the Run button does, from the five
// texts as typed. Prints "<points> points, <bytes> bytes, <seconds> s, <rate> points/s" to
// standard error and exits 0; on a run-time error prints its number and description and exits
// 1; on a wrong command line exits 2. INT, TERM and HUP cancel the run, leaving newgrid.txt as it
// was: it says so and exits with 128 + the signal's number.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <exception>
#include <string_view>

#include "grid/generate_grid.h"
#include "grid/run_error.h"

namespace {

volatile std::sig_atomic_t stop_signal = 0;

void Stop(int signal) {
  stop_signal = signal;
}

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

  // A file size limit makes the write fail with "File too large" rather than kill the process,
  // and a closed standard error must not decide the exit status: it tells what happened to
  // newgrid.txt.
  std::signal(SIGXFSZ, SIG_IGN);
  std::signal(SIGPIPE, SIG_IGN);
  struct sigaction stop {};
  stop.sa_handler = Stop;
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    sigaction(signal, &stop, nullptr);
  }
  options.progress = [](const grid::GridProgress&) { return stop_signal == 0; };

  const auto start = std::chrono::steady_clock::now();
  try {
    const grid::RunResult result = grid::GenerateGrid(texts, options);
    if (result.cancelled) {
      std::fprintf(stderr, "Cancelled by signal %d; newgrid.txt is as it was.\n",
                   static_cast<int>(stop_signal));
      return 128 + stop_signal;
    }
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
  } catch (const std::exception& error) {
    std::fprintf(stderr, "Run-time error: %s\n", error.what());
    return 1;
  }
}
