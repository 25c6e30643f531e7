#include "console/grid_command.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <new>
#include <optional>

#include "console/console.h"
#include "console/help_text.h"
#include "console/options.h"
#include "console/progress_line.h"
#include "file/shown_text.h"
#include "file/streams.h"
#include "grid/generate_grid.h"
#include "grid/grid_account.h"
#include "grid/run_error.h"
#include "grid/wording.h"

namespace console {
namespace {

using Clock = std::chrono::steady_clock;

// A wrong command line, said as the program's own, with where to look.
int UsageFailure(const Program& program, const std::string& problem) {
  PrintError(std::string(program.name) + ": " + problem + " (see " + program.name + " --help)\n");
  return 2;
}

// A run-time error, in the window's words.
int RunFailure(const grid::RunError& error) {
  PrintError(grid::RunErrorHeading(error.number()) + " " + error.description() + "\n");
  return 1;
}

// --help, --version and --dry-run answer on standard output: an answer that went nowhere (a
// full disk, a closed descriptor, a reader that went away) fails as a grid that could not be
// written there does.
int Answer(const std::string& text) {
  if (const std::error_code error = PrintOutput(text)) {
    throw grid::RunError(grid::ErrorKind::file, error.message() + " (standard output)");
  }
  return 0;
}

// What the file loses against the typed values, one line each.
std::string Warnings(const std::vector<std::string>& losses) {
  std::string lines;
  for (const std::string& loss : losses) {
    lines += "warning: " + loss + "\n";
  }
  return lines;
}

int Measure(const Command& command) {
  const grid::GridPlan& plan = command.plan;
  const std::vector<std::string> losses = plan.Losses();
  if (plan.refusal) {
    Answer(Warnings(losses));  // a spacing read as 0 is still told
    plan.Check();
  }
  const grid::GridCounts& counts = plan.grid.counts;
  std::string line =
      grid::Counted(counts.points(), "point", "points") + " (" +
      grid::Counted(static_cast<std::uint64_t>(counts.rows()), "row", "rows") + ", " +
      grid::Counted(static_cast<std::uint64_t>(counts.columns()), "column", "columns") + "), " +
      (command.geopackage
           ? "at most " + grid::Counted(grid::GeoPackageBytes(counts), "byte", "bytes")
           : grid::Counted(plan.FileSize(), "byte", "bytes"));
  if (!plan.grid.last_point.empty()) {
    line += ", last point " + plan.grid.last_point;
    if (plan.point_file) {
      line += ", number " + std::to_string(plan.last_number);
    }
  }
  line += "\n";
  if (command.snap) {
    const grid::FieldTexts& t = command.texts;
    line += "extent " + t.min_x + "," + t.max_x + "," + t.min_y + "," + t.max_y + " (snapped " +
            (*command.snap == grid::Snap::out ? "out" : "in") + " to multiples of " +
            std::to_string(plan.inputs.spacing) + ")\n";
  }
  if (command.geopackage) {
    line += "layer " + file::Escaped(command.geopackage->name) + "\n";
  }
  if (command.crs) {
    line += "coordinate system " + Described(*command.crs) + "\n";
  }
  Answer(line + Warnings(losses));
  return command.strict && !losses.empty() ? 1 : 0;
}

// Where the grid goes and how: the file or stream, the sync, the separator, the advice.
grid::RunOptions WriteOptions(const Program& program, const Command& command) {
  grid::RunOptions options;
  options.folder_advice = std::string(program.name) + " writes " +
                          std::string(grid::kGridFileName) +
                          " in the current folder: run it in a folder you may write to, or name "
                          "another file with --output=PATH.";
  options.sync = !command.no_sync;
  // The arguments are UTF-8 on every system; a path from a plain string would be read in
  // Windows' ANSI code page.
  options.output =
      std::filesystem::path(std::u8string(command.output.begin(), command.output.end()));
  if (command.output == "-") {
    options.stream = file::StandardOutput(options.sync);
  } else if (command.output_named && !command.geopackage) {
    // A new GeoPackage refuses whatever is at its name, a pipe too, without opening it.
    options.stream = file::OpenStream(options.output, options.sync, "choose another --output");
  }
  if (command.geopackage) {
    options.geopackage = command.geopackage;
  } else if (command.crs) {
    options.describing = DescribingFiles(*command.crs, command.point_file);
  }
  return options;
}

// Runs the grid, with the progress line on a terminal, and stops on a request.
grid::RunResult RunWithProgress(const Program& program, const Command& command,
                                grid::RunOptions& options) {
  // A grid shown on the terminal would run into the progress line.
  std::optional<ProgressLine> progress_line;
  if (!program.prints_figures && !command.quiet && ErrorIsTerminal() &&
      !(options.stream.file && options.stream.terminal)) {
    progress_line.emplace();
  }
  options.progress = [&](const grid::GridProgress& progress) {
    if (progress_line) {
      progress_line->Draw(progress);
    }
    return !StopRequested();
  };
  grid::RunResult result;
  try {
    result = grid::GenerateGrid(command.plan, options);
  } catch (...) {
    if (progress_line) {
      progress_line->Clear();  // before the error is said
    }
    throw;
  }
  if (progress_line) {
    progress_line->Clear();
  }
  return result;
}

// Files that described the grid (or point file) before this run, which a run without --crs
// leaves as they were: said, since they may now describe another grid.
std::string StaleDescriptions(const std::filesystem::path& grid, bool point_file) {
  std::vector<std::string> found;
  for (const std::filesystem::path& path : grid::DescribingFilesBeside(grid, point_file)) {
    found.push_back(file::ShownPath(path));
  }
  if (found.empty()) {
    return {};
  }
  const bool one = found.size() == 1;
  const std::string them = one ? "it" : "them";
  return "warning: " + grid::Listed(found) + (one ? " is" : " are") +
         " from an earlier run and may no longer describe " + file::ShownPath(grid) +
         ": run with --crs to write " + them + " anew, or remove " + them + "\n";
}

// grid_bench's one line of figures.
void PrintFigures(const grid::RunResult& result, double seconds) {
  char figures[160];
  std::snprintf(figures, sizeof figures, "%llu points, %llu bytes, %.3f s, %.0f points/s\n",
                static_cast<unsigned long long>(result.points_written),
                static_cast<unsigned long long>(result.bytes_written), seconds,
                seconds > 0 ? static_cast<double>(result.points_written) / seconds : 0.0);
  PrintError(figures);
}

int Write(const Program& program, const Command& command) {
  // Said before the first byte; under --strict, a refusal of a grid that would lose anything,
  // once the texts are known to make one.
  const std::vector<std::string> losses = command.plan.Losses();
  if (command.strict && !losses.empty()) {
    command.plan.Check();
    PrintError(Warnings(losses) + "Refused by --strict, for what is said above; " +
               (command.output == "-" ? "nothing was written."
                                      : file::Escaped(command.output) + " is as it was.") +
               "\n");
    return 1;
  }
  if (!command.quiet) {
    PrintError(Warnings(losses));
  }
  grid::RunOptions options = WriteOptions(program, command);
  if (command.crs && options.stream.file) {
    return UsageFailure(program, "'--crs' writes files beside the grid, and " +
                                     options.stream.shown + " is a stream: name a file");
  }
  const Clock::time_point start = Clock::now();
  const grid::RunResult result = RunWithProgress(program, command, options);
  if (result.cancelled) {
    PrintError("Cancelled by " + StopName() + "; " +
               (options.stream.file  ? options.stream.shown + " holds only part of the grid"
                : result.emptied     ? file::Escaped(command.output) + " is now empty"
                : command.geopackage ? "no GeoPackage was made at " + file::Escaped(command.output)
                                     : file::Escaped(command.output) + " is as it was") +
               grid::LeftEmpty(result.emptied_describing) + ".\n");
    return CancelledStatus();
  }
  if (program.prints_figures) {
    PrintFigures(result, std::chrono::duration<double>(Clock::now() - start).count());
  }
  if (!command.crs && !command.geopackage && !options.stream.file && !command.quiet) {
    PrintError(StaleDescriptions(options.output, command.point_file.has_value()));
  }
  if (!result.unlocked.empty() && !command.quiet) {
    PrintError("warning: " + result.unlocked + "\n");
  }
  return 0;
}

}  // namespace

int RunGridCommand(const Program& program, const std::vector<std::string>& arguments) {
  // From the first moment: a stop before the run begins cancels it as any other, said so.
  CatchStopRequests();
  try {
    const Command command = Parse(arguments);
    if (command.help) {
      return Answer(HelpText(program));
    }
    if (command.version) {
      return Answer(std::string(program.name) + " " + TESSAPLAN_VERSION + "\n");
    }
    return command.dry_run ? Measure(command) : Write(program, command);
  } catch (const UsageError& error) {
    return UsageFailure(program, error.problem);
  } catch (const grid::TargetClash& error) {
    return UsageFailure(program, error.what());
  } catch (const grid::RunError& error) {
    return RunFailure(error);
  } catch (const file::Failure& failure) {  // a stream that cannot be written
    return RunFailure(grid::RunErrorOf(failure));
  } catch (const std::bad_alloc&) {
    // Reading the options too: the table of systems is unpacked there.
    return RunFailure(grid::OutOfMemory());
  } catch (const std::exception& error) {
    return RunFailure(grid::RunError(grid::ErrorKind::system, error.what()));
  }
}

}  // namespace console
