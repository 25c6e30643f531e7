// The grid from a command line, for scripts (tessaplan-grid) and benchmarks (grid_bench): one
// way to read the values and options, run the grid as the window's Run does, stop on a request,
// and say what became of the file. The two programs differ only in what they show while and
// after a run.
#pragma once

#include <string>
#include <vector>

#include "console/program.h"

namespace console {

// Runs `arguments` (UTF-8, the program's name first) and returns the exit status: 0 written (or
// answered), 1 a run-time error, 2 a wrong command line, and after a stop request what
// CancelledStatus() says (128 + the signal's number on Linux).
int RunGridCommand(const Program& program, const std::vector<std::string>& arguments);

}  // namespace console
