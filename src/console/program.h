// The two console programs, which differ only in what they show while and after a run.
#pragma once

namespace console {

struct Program {
  const char* name;  // as messages and --help name the program
  // After a written grid, one line of figures on standard error for benchmarks ("6 points,
  // 113 bytes, 0.001 s, 6000 points/s"), and never a progress line.
  bool prints_figures;
};

inline constexpr Program kTessaplanGrid{"tessaplan-grid", false};
inline constexpr Program kGridBench{"grid_bench", true};

}  // namespace console
