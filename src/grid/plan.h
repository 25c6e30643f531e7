// What a run of the five texts will write, planned once before any file is touched: the error
// Run gives for them, or the values they are read as, the counts, the file's size and its last
// point, and what the file loses against the typed values. The window's description, its
// question and Run, and the console's --dry-run, warnings, --strict and run all read one plan;
// the run (generate_grid.h) carries it out.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "grid/fields.h"
#include "grid/grid_account.h"
#include "grid/grid_inputs.h"
#include "grid/grid_layout.h"
#include "grid/point_file.h"
#include "grid/run_error.h"

namespace grid {

struct GridPlan {
  GridPlan() = default;  // made by PlanGrid, never from texts in braces

  FieldTexts texts;  // as typed
  char decimal_separator = '.';
  // A point file for survey software in the grid's place, from the command line.
  std::optional<PointFileOptions> point_file;

  // The error Run gives before it looks at any file (not a number, out of range, a zero spacing,
  // a count past the limit); what follows is then empty, but for the account of a spacing.
  std::optional<RunError> refusal;
  // What the file loses against the typed values (grid_account.h).
  std::vector<AccountItem> account;
  GridInputs inputs;
  GridMeasure grid;  // the counts, the grid's size and its last point
  // A point file's size, and its last point's number (one less than the first for a grid
  // without points).
  std::uint64_t point_file_bytes = 0;
  std::uint64_t last_number = 0;

  // The size of the file the run writes: the grid's, or the point file's.
  std::uint64_t FileSize() const { return point_file ? point_file_bytes : grid.bytes; }
  // The account's sentences, without their fields.
  std::vector<std::string> Losses() const;
  // Raises the refusal, if there is one.
  void Check() const;
};

// Reads the texts with the user's decimal separator (the file always writes '.'). Raises only
// OutOfMemory: what the texts make wrong is the plan's refusal.
GridPlan PlanGrid(const FieldTexts& texts, char decimal_separator,
                  const std::optional<PointFileOptions>& point_file = {});

}  // namespace grid
