#include "console/grid_command.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <optional>
#include <string_view>

#include "console/console.h"
#include "grid/generate_grid.h"
#include "grid/grid_account.h"
#include "grid/run_error.h"
#include "grid/shown_text.h"
#include "grid/standard_output.h"

namespace console {
namespace {

using Clock = std::chrono::steady_clock;

// The five values by name, in the window's field order.
constexpr std::array<std::string_view, 5> kValueOptions = {"--min-x", "--max-x", "--min-y",
                                                           "--max-y", "--spacing"};
constexpr std::string_view kDefaultOutput = "newgrid.txt";

struct UsageError {
  std::string problem;
};

struct Command {
  grid::FieldTexts texts;
  char decimal_separator = '.';
  bool no_sync = false;
  std::string output{kDefaultOutput};
  bool output_named = false;  // by --output: then a stream it names is written as a stream
  bool dry_run = false;
  bool strict = false;
  bool quiet = false;
  bool help = false;
  bool version = false;
};

std::string Quoted(std::string_view text) {
  std::string quoted = "'";
  quoted.append(grid::Escaped(text)).append("'");
  return quoted;
}

// --extent's numbers, XMIN,XMAX,YMIN,YMAX.
std::array<std::string, 4> SplitExtent(const std::string& extent) {
  std::array<std::string, 4> parts;
  std::size_t at = 0;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const std::size_t comma = extent.find(',', at);
    if ((comma == std::string::npos) != (i == parts.size() - 1)) {
      throw UsageError{"'--extent' takes four numbers, XMIN,XMAX,YMIN,YMAX, not " + Quoted(extent)};
    }
    parts[i] = extent.substr(at, comma - at);
    at = comma + 1;
  }
  return parts;
}

// "a, b and c", or with other separators.
std::string Listed(const std::vector<std::string>& items, std::string_view between = ", ",
                   std::string_view last = " and ") {
  std::string listed;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) {
      listed.append(i + 1 == items.size() ? last : between);
    }
    listed.append(items[i]);
  }
  return listed;
}

// Values in order are all five, and alone: never beside values by name or --extent, whose mix
// would leave it to guess which is which.
void CheckInOrder(const std::vector<std::string>& arguments, std::size_t at,
                  const std::array<std::optional<std::string>, 5>& values, bool extent) {
  const std::size_t in_order = arguments.size() - at;
  std::vector<std::string> given;
  for (std::size_t i = at; i < arguments.size(); ++i) {
    given.push_back(Quoted(arguments[i]));
  }
  if (extent) {
    throw UsageError{"'--extent' gives the extent by name, so values in order (" +
                     Listed(given, " ", " ") +
                     ") cannot go with it: give the spacing as --spacing"};
  }
  std::vector<std::string> by_name;
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (values[i]) {
      by_name.push_back(Quoted(kValueOptions[i]));
    }
  }
  if (!by_name.empty() && in_order != values.size()) {
    throw UsageError{"values by name (" + Listed(by_name) + ") and in order (" +
                     Listed(given, " ", " ") +
                     ") cannot be mixed: give all five in order, or each by name"};
  }
  const std::string expected =
      "takes the five values MINX MAXX MINY MAXY SPACING, not " + std::to_string(in_order) + ": ";
  if (in_order < values.size()) {
    constexpr std::array<const char*, 5> kNames = {"MINX", "MAXX", "MINY", "MAXY", "SPACING"};
    const std::vector<std::string> missing(kNames.begin() + static_cast<std::ptrdiff_t>(in_order),
                                           kNames.end());
    throw UsageError{expected + Listed(missing) + (missing.size() == 1 ? " is" : " are") +
                     " missing"};
  }
  if (in_order > values.size()) {
    throw UsageError{expected + given[values.size()] +
                     (in_order == values.size() + 1 ? " is one too many" : " and on are too many")};
  }
}

// Options first, then the values in order; "--" ends the options, so that values after it may
// begin with a minus. A value is given once: in order, by name, or (the extent) by --extent.
Command Parse(const std::vector<std::string>& arguments) {
  Command command;
  std::array<std::optional<std::string>, 5> values;
  std::optional<std::string> extent;
  bool decimal_separator_given = false;
  std::size_t at = 1;
  for (; at < arguments.size(); ++at) {
    const std::string& argument = arguments[at];
    if (argument == "--") {
      ++at;
      break;
    }
    if (argument == "-h") {
      command.help = true;
      continue;
    }
    if (!argument.starts_with("--")) {
      break;  // the values, without "--" before them
    }
    const std::size_t equals = argument.find('=');
    const std::string name = argument.substr(0, equals);
    const auto value = [&]() -> std::string {
      if (equals != std::string::npos) {
        return argument.substr(equals + 1);
      }
      if (at + 1 == arguments.size()) {
        throw UsageError{Quoted(name) + " needs a value"};
      }
      return arguments[++at];
    };
    // An option that takes a value takes it once: the second would silently win.
    const auto once = [&](bool& given) {
      if (given) {
        throw UsageError{Quoted(name) + " is given twice"};
      }
      given = true;
    };
    const auto flag = [&](bool& set) {
      if (equals != std::string::npos) {
        throw UsageError{Quoted(name) + " takes no value"};
      }
      set = true;
    };
    if (name == "--help") {
      flag(command.help);
    } else if (name == "--version") {
      flag(command.version);
    } else if (name == "--dry-run") {
      flag(command.dry_run);
    } else if (name == "--strict") {
      flag(command.strict);
    } else if (name == "--quiet") {
      flag(command.quiet);
    } else if (name == "--no-sync") {
      flag(command.no_sync);
    } else if (name == "--decimal-separator") {
      once(decimal_separator_given);
      const std::string separator = value();
      if (separator.size() != 1 || static_cast<unsigned char>(separator.front()) > 0x7F) {
        throw UsageError{"'--decimal-separator' takes one ASCII character, not " +
                         Quoted(separator)};
      }
      command.decimal_separator = separator.front();
    } else if (name == "--output") {
      once(command.output_named);
      command.output = value();
      if (command.output.empty()) {
        throw UsageError{"'--output' needs a file name, or - for standard output"};
      }
    } else if (name == "--extent") {
      if (extent) {
        throw UsageError{"'--extent' is given twice"};
      }
      extent = value();
    } else if (const auto* known = std::find(kValueOptions.begin(), kValueOptions.end(), name);
               known != kValueOptions.end()) {
      auto& given = values[static_cast<std::size_t>(known - kValueOptions.begin())];
      if (given) {
        throw UsageError{Quoted(name) + " is given twice"};
      }
      given = value();
    } else {
      throw UsageError{"Unknown option " + Quoted(argument)};
    }
  }
  if (command.help || command.version) {
    return command;
  }

  const std::size_t in_order = arguments.size() - at;
  if (in_order != 0) {
    CheckInOrder(arguments, at, values, extent.has_value());
  }
  for (std::size_t i = 0; i < in_order; ++i) {
    if (values[i]) {
      throw UsageError{Quoted(kValueOptions[i]) + " is given twice: by name and in order"};
    }
    values[i] = arguments[at + i];
  }
  if (extent) {
    if (command.decimal_separator == ',') {
      throw UsageError{
          "'--extent' separates its numbers with commas, so with '--decimal-separator=,' give "
          "them as --min-x, --max-x, --min-y and --max-y"};
    }
    const std::array<std::string, 4> parts = SplitExtent(*extent);
    for (std::size_t i = 0; i < parts.size(); ++i) {
      if (values[i]) {
        throw UsageError{Quoted(kValueOptions[i]) + " is given twice: by name and by '--extent'"};
      }
      values[i] = parts[i];
    }
  }
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (!values[i]) {
      throw UsageError{in_order == 0 && !extent && i == 0
                           ? "needs the five values MINX MAXX MINY MAXY SPACING"
                           : "needs a value for " + Quoted(kValueOptions[i])};
    }
  }
  command.texts = {*values[0], *values[1], *values[2], *values[3], *values[4]};
  return command;
}

std::string HelpText(const Program& program) {
  const std::string name = program.name;
  return "Usage: " + name + " [OPTION]... [--] MINX MAXX MINY MAXY SPACING\n" + "       " + name +
         " [OPTION]... --extent=XMIN,XMAX,YMIN,YMAX --spacing=SPACING\n" +
         "\n"
         "Writes a regular, square grid of points to newgrid.txt in the current folder, as\n"
         "tessaplan's Run button does, byte for byte: a header line, then one line per point,\n"
         "column by column, each with its row and column. The previous file is replaced only\n"
         "once the new grid is complete and on the disk.\n"
         "\n"
         "The values, in the window's field order or by name (each given once):\n"
         "  --min-x=X --max-x=X --min-y=Y --max-y=Y --spacing=S\n"
         "  --extent=XMIN,XMAX,YMIN,YMAX   the extent in the order desktop GIS uses\n"
         "Values that begin with a minus follow --, or are given by name: --min-x=-5.\n"
         "\n"
         "Options:\n"
         "  --decimal-separator=C  the values' decimal separator, one ASCII character; a full\n"
         "                         stop unless given, whatever the locale\n"
         "  --output=PATH          write PATH instead of newgrid.txt; - for standard output.\n"
         "                         A pipe, a terminal or a device (/dev/stdout, /dev/null;\n"
         "                         on Windows NUL only) is written into, never replaced\n"
         "  --dry-run              write nothing; print the points, rows, columns, bytes and\n"
         "                         the last point, then a warning line for each way the file\n"
         "                         would differ from the typed values\n"
         "  --strict               refuse a grid that would differ from the typed values,\n"
         "                         before its first byte (with --dry-run: exit 1)\n"
         "  --no-sync              do not wait for the disk before the grid counts as written\n"
         "  --quiet                no progress line on a terminal\n"
         "  -h, --help, --version\n"
         "\n"
         "Exit status: 0 written; 1 a run-time error, described on standard error; 2 a wrong\n"
         "command line; " +
         StopsHelp() + "\n";
}

// One line on a terminal, redrawn at most ten times a second: the share done, the speed, the
// time left and the stage. Cleared before anything else is said.
class ProgressLine {
 public:
  void Draw(const grid::GridProgress& progress) {
    const Clock::time_point now = Clock::now();
    if (now - drawn_ < std::chrono::milliseconds(100)) {
      return;
    }
    drawn_ = now;
    const double seconds = std::chrono::duration<double>(now - started_).count();
    const double rate = seconds > 0 ? static_cast<double>(progress.bytes_done) / seconds : 0.0;
    const int percent = progress.bytes_total == 0
                            ? 100
                            : static_cast<int>(progress.bytes_done * 100 / progress.bytes_total);
    std::string text = std::to_string(percent) + "% of " + grid::SizeText(progress.bytes_total);
    if (rate >= 1) {
      const auto left = static_cast<long long>(
          static_cast<double>(progress.bytes_total - progress.bytes_done) / rate + 0.5);
      char time_left[32];
      std::snprintf(time_left, sizeof time_left, "%lld:%02lld", left / 60, left % 60);
      text +=
          ", " + grid::SizeText(static_cast<std::uint64_t>(rate)) + "/s, " + time_left + " left";
    }
    text += progress.saving ? ", saving to the disk" : ", writing";
    Show(text);
  }

  void Clear() {
    if (shown_ > 0) {
      Show("");
      PrintError("\r");
    }
  }

 private:
  // Over the line before, with blanks where it was longer: no terminal control sequences, which
  // not every console takes.
  void Show(const std::string& text) {
    std::string line = "\r" + text;
    if (text.size() < shown_) {
      line.append(shown_ - text.size(), ' ');
    }
    shown_ = text.size();
    PrintError(line);
  }

  Clock::time_point started_ = Clock::now();
  Clock::time_point drawn_ = started_;
  std::size_t shown_ = 0;
};

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
  const std::vector<std::string> losses =
      grid::AccountForGrid(command.texts, command.decimal_separator);
  grid::GridMeasure measure;
  try {
    measure = grid::MeasureGrid(command.texts, command.decimal_separator);
  } catch (const grid::RunError&) {
    Answer(Warnings(losses));  // a spacing read as 0 is still told
    throw;
  }
  const grid::GridCounts& counts = measure.counts;
  std::string line =
      grid::Counted(counts.points(), "point", "points") + " (" +
      grid::Counted(static_cast<std::uint64_t>(counts.rows()), "row", "rows") + ", " +
      grid::Counted(static_cast<std::uint64_t>(counts.columns()), "column", "columns") + "), " +
      grid::Counted(measure.bytes, "byte", "bytes");
  if (!measure.last_point.empty()) {
    line += ", last point " + measure.last_point;
  }
  Answer(line + "\n" + Warnings(losses));
  return command.strict && !losses.empty() ? 1 : 0;
}

int Write(const Program& program, const Command& command) {
  // Said before the first byte; under --strict, a refusal of a grid that would lose anything,
  // once the texts are known to make one.
  const std::vector<std::string> losses =
      grid::AccountForGrid(command.texts, command.decimal_separator);
  if (command.strict && !losses.empty()) {
    grid::MeasureGrid(command.texts, command.decimal_separator);
    PrintError(Warnings(losses) + "Refused by --strict, for what is said above; " +
               (command.output == "-" ? "nothing was written."
                                      : grid::Escaped(command.output) + " is as it was.") +
               "\n");
    return 1;
  }
  if (!command.quiet) {
    PrintError(Warnings(losses));
  }
  grid::RunOptions options;
  options.folder_advice = std::string(program.name) +
                          " writes newgrid.txt in the current folder: run it in a folder you may "
                          "write to, or name another file with --output=PATH.";
  options.decimal_separator = command.decimal_separator;
  options.sync = !command.no_sync;
  // The arguments are UTF-8 on every system; a path from a plain string would be read in
  // Windows' ANSI code page.
  options.output =
      std::filesystem::path(std::u8string(command.output.begin(), command.output.end()));
  if (command.output == "-") {
    options.stream = grid::StandardOutput(options.sync);
  } else if (command.output_named) {
    options.stream = grid::OpenStream(options.output, options.sync);
  }
  const bool streamed = options.stream.file != nullptr;
  // A grid shown on the terminal would run into the progress line.
  std::optional<ProgressLine> progress_line;
  if (!program.prints_figures && !command.quiet && ErrorIsTerminal() &&
      !(streamed && options.stream.terminal)) {
    progress_line.emplace();
  }
  options.progress = [&](const grid::GridProgress& progress) {
    if (progress_line) {
      progress_line->Draw(progress);
    }
    return !StopRequested();
  };

  const Clock::time_point start = Clock::now();
  grid::RunResult result;
  try {
    result = grid::GenerateGrid(command.texts, options);
  } catch (...) {
    if (progress_line) {
      progress_line->Clear();  // before the error is said
    }
    throw;
  }
  if (progress_line) {
    progress_line->Clear();
  }
  if (result.cancelled) {
    PrintError("Cancelled by " + StopName() + "; " +
               (streamed         ? options.stream.shown + " holds only part of the grid."
                : result.emptied ? grid::Escaped(command.output) + " is now empty."
                                 : grid::Escaped(command.output) + " is as it was.") +
               "\n");
    return CancelledStatus();
  }
  if (program.prints_figures) {
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    char figures[160];
    std::snprintf(figures, sizeof figures, "%llu points, %llu bytes, %.3f s, %.0f points/s\n",
                  static_cast<unsigned long long>(result.points_written),
                  static_cast<unsigned long long>(result.bytes_written), seconds,
                  seconds > 0 ? static_cast<double>(result.points_written) / seconds : 0.0);
    PrintError(figures);
  }
  return 0;
}

}  // namespace

int RunGridCommand(const Program& program, const std::vector<std::string>& arguments) {
  // From the first moment: a stop before the run begins cancels it as any other, said so.
  CatchStopRequests();
  Command command;
  try {
    command = Parse(arguments);
  } catch (const UsageError& error) {
    PrintError(std::string(program.name) + ": " + error.problem + " (see " + program.name +
               " --help)\n");
    return 2;
  }
  try {
    if (command.help) {
      return Answer(HelpText(program));
    }
    if (command.version) {
      return Answer(std::string(program.name) + " " + TESSAPLAN_VERSION + "\n");
    }
    return command.dry_run ? Measure(command) : Write(program, command);
  } catch (const grid::RunError& error) {
    PrintError("Run-time error " + std::to_string(error.number()) + ": " + error.description() +
               "\n");
    return 1;
  } catch (const std::exception& error) {
    PrintError(std::string("Run-time error: ") + error.what() + "\n");
    return 1;
  }
}

}  // namespace console
