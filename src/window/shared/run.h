// One run of the grid generation as both windows start it on their worker thread.
#pragma once

#include <cstdint>
#include <string>

#include "grid/generate_grid.h"

namespace window {

// What a run ended in, for the window that started it.
struct RunOutcome {
  int error_number = 0;  // 0, or the run-time error's number
  std::string error_description = {};
  bool cancelled = false;
  std::uint64_t bytes_written = 0;
};

// Runs GenerateGrid. Whatever it raises ends as a run-time error in the outcome, so that nothing
// escapes the worker thread.
RunOutcome RunGrid(const grid::FieldTexts& texts, const grid::RunOptions& options);

}  // namespace window
