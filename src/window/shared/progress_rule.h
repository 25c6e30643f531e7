// When a run shows its progress dialog, the same in both windows.
#pragma once

#include <cstdint>

namespace window {

// A run shows its progress once it has lasted `show_after_ms` and looks set to last half as long
// again, so that a short run shows nothing. `done` is the share of the file's bytes done, 0 to 1.
inline bool ShowProgressNow(std::int64_t elapsed_ms, int show_after_ms, double done) {
  return elapsed_ms >= show_after_ms &&
         static_cast<double>(elapsed_ms) * (1.0 - done) >= 0.5 * show_after_ms * done;
}

// How often the dialog is brought up to date, and its bar's steps.
inline constexpr int kProgressTickMs = 40;
inline constexpr int kProgressSteps = 1000;

}  // namespace window
