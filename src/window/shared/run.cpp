#include "window/shared/run.h"

#include <exception>

#include "grid/run_error.h"

namespace window {

RunOutcome RunGrid(const grid::FieldTexts& texts, const grid::RunOptions& options) {
  try {
    const grid::RunResult result = grid::GenerateGrid(texts, options);
    return {.cancelled = result.cancelled, .bytes_written = result.bytes_written};
  } catch (const grid::RunError& error) {
    return {.error_number = error.number(), .error_description = error.description()};
  } catch (const std::exception& error) {
    const grid::RunError system(grid::ErrorKind::system, error.what());
    return {.error_number = system.number(), .error_description = system.description()};
  }
}

}  // namespace window
