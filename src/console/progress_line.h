// One line on a terminal (standard error), redrawn at most ten times a second: the share done,
// the speed, the time left and the stage, from the reservation of the file's space on. Cleared
// before anything else is said.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

#include "grid/generate_grid.h"

namespace console {

class ProgressLine {
 public:
  void Draw(const grid::GridProgress& progress);
  void Clear();

 private:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds kRedrawEvery{100};

  void Show(const std::string& text);

  Clock::time_point started_ = Clock::now();  // of the stage measured
  grid::GridStage stage_ = grid::GridStage::reserving;
  Clock::time_point drawn_ = started_;
  std::size_t shown_ = 0;
};

}  // namespace console
