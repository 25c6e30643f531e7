// The Run command: from the five texts of the window's fields to a complete grid (newgrid.txt,
// a point file in its place, or a stream), measured before it is written, and written with the
// files that describe it as one transaction.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "file/streams.h"
#include "grid/fields.h"
#include "grid/file_set.h"
#include "grid/grid_inputs.h"
#include "grid/point_file.h"
#include "grid/run_error.h"

namespace grid {

// The file a run writes, in the current folder, unless told otherwise.
inline constexpr std::string_view kGridFileName = "newgrid.txt";

// The grid's columns, as its header names them: each point's x, its y, and its "r1c1" name.
inline constexpr std::string_view kEastingColumn = "easting";
inline constexpr std::string_view kNorthingColumn = "northing";

// What a run is doing: claiming the file's space on the disk, writing its points, then waiting
// for the disk to hold them all.
enum class GridStage { reserving, writing, saving };

struct GridProgress {
  std::uint64_t points_written = 0;
  std::uint64_t points_total = 0;
  // The bytes of the file done: reserved while reserving, then written, on the disk for a
  // synced run, so that all of them done means the grid is saved.
  std::uint64_t bytes_done = 0;
  std::uint64_t bytes_total = 0;
  GridStage stage = GridStage::reserving;
  // The file written, after links, as messages name it; empty for a stream. Valid during the
  // call.
  std::string_view path = {};
};

struct RunOptions {
  // The user's locale's decimal separator, for the fields. The file always uses '.'.
  char decimal_separator = '.';
  // Wait until the file is on the disk before the run counts as done.
  bool sync = true;
  std::filesystem::path output = std::filesystem::path(kGridFileName);
  // Where the grid goes instead of `output`, when it is a stream.
  file::Stream stream = {};
  // Said after a File error about the current folder.
  std::string folder_advice = {};
  // Called before each step of the file's reservation, once it is made, after every column,
  // and every few tens of milliseconds while the file is saved; returning false cancels the run.
  std::function<bool(const GridProgress&)> progress = {};
  // A point file for survey software in the grid's place (point_file.h), from the command line.
  std::optional<PointFileOptions> point_file = {};
  // Files that describe the grid, written beside its name in its transaction (file_set.h);
  // none for a stream.
  std::vector<DescribingFile> describing = {};
};

struct RunResult {
  bool cancelled = false;
  // Cancelled after the file, written in place, was written over: it is now empty.
  bool emptied = false;
  // The describing files written in place that a cancel left empty, as messages name them.
  std::vector<std::string> emptied_describing = {};
  std::uint64_t points_written = 0;
  std::uint64_t bytes_written = 0;
};

// What a run of these texts writes, found without writing: from the same layout the run writes.
struct GridMeasure {
  GridCounts counts;
  std::uint64_t bytes = 0;  // the file's size, its header included
  // The last point as the file writes it, "x,y"; empty for a grid without points.
  std::string last_point;
};

// Converts and checks the texts as GenerateGrid does, raising the same errors, and measures the
// grid without touching the disk.
GridMeasure MeasureGrid(const FieldTexts& texts, char decimal_separator);
// The same, for texts as they are being typed: nothing where Run would raise an error.
std::optional<GridMeasure> MeasureIfValid(const FieldTexts& texts, char decimal_separator);
// The error GenerateGrid raises for these texts before it looks at any file (not a number, out
// of range, a zero spacing, a count past the limit); nothing where the texts make a grid.
std::optional<RunError> RefusalOf(const FieldTexts& texts, char decimal_separator);

// Converts and checks everything, then writes the header and every point, column by column and
// row by row within a column, to options.output, replacing the file there only once the new one
// is complete. Returns what was written, or cancelled. Raises RunError, also when the machine
// runs out of memory; on any error or cancel the file at options.output is left as it was.
// Raises TargetClash, before anything is written, where the files of the run lead to one file,
// or a point file to newgrid.txt.
RunResult GenerateGrid(const FieldTexts& texts, const RunOptions& options = {});

}  // namespace grid
