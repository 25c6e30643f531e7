// The Run command carried out: a plan of the five texts (plan.h) written as a complete grid
// (newgrid.txt, a point file in its place, or a stream), with the files that describe it as one
// transaction.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "file/streams.h"
#include "grid/fields.h"
#include "grid/file_set.h"
#include "grid/geopackage.h"
#include "grid/plan.h"
#include "grid/run_error.h"

namespace grid {

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
  // Files that describe the grid, written beside its name in its transaction (file_set.h);
  // none for a stream.
  std::vector<DescribingFile> describing = {};
  // The grid as this layer of a new GeoPackage at `output` instead (geopackage.h).
  std::optional<GeoPackageLayer> geopackage = {};
};

struct RunResult {
  bool cancelled = false;
  // Cancelled after the file, written in place, was written over: it is now empty.
  bool emptied = false;
  // The describing files written in place that a cancel left empty, as messages name them.
  std::vector<std::string> emptied_describing = {};
  std::uint64_t points_written = 0;
  std::uint64_t bytes_written = 0;
  // Written, but without the folder's lock, which keeps runs at once from mixing the grid's
  // files: why, as a warning; otherwise empty.
  std::string unlocked = {};
};

// Writes the plan's header and every point, column by column and row by row within a column, to
// options.output, replacing the file there only once the new one is complete. Returns what was
// written, or cancelled. Raises the plan's refusal, and RunError, also when the machine runs out
// of memory; on any error or cancel the file at options.output is left as it was. Raises
// TargetClash, before anything is written, where the files of the run lead to one file, a
// point file to newgrid.txt, or a new GeoPackage to a file that exists.
RunResult GenerateGrid(const GridPlan& plan, const RunOptions& options = {});

}  // namespace grid
