// The behaviour of a run, the same in both windows and free of any toolkit: the worker thread and
// its cancel, the progress dialog's state and every text it shows, which controls work during a
// run, and what the window says when the run ends. Each window only turns this state into its
// own widgets and its own events into these calls.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "grid/generate_grid.h"
#include "window/shared/form1_design.h"

namespace window {

// What a run ended in.
struct RunOutcome {
  int error_number = 0;  // 0, or the run-time error's number
  std::string error_description = {};
  std::optional<grid::Field> error_field = {};  // whose text to mend, for such an error
  bool cancelled = false;
  std::uint64_t bytes_written = 0;
};

// Runs GenerateGrid. Whatever it raises ends as a run-time error in the outcome, so that nothing
// escapes the worker thread.
RunOutcome RunGrid(const grid::FieldTexts& texts, const grid::RunOptions& options);

// The fields' texts, in the order of grid::Field, as `text_of` reads each field.
grid::FieldTexts ReadFields(const std::function<std::string(Control)>& text_of);

// The progress dialog as it is to look now.
struct ProgressDialogState {
  bool shown = false;
  // The grid is written: the dialog says so and stays until it is closed.
  bool done = false;
  std::string text;
  // The longest text it will show in this run, the one that says the grid is written: the
  // dialog is made that large from the start, so that it keeps its size and place.
  std::string widest;
  int steps = 0;  // of kProgressSteps
  std::string button;
};

class RunController {
 public:
  // `wake` is called on the worker thread once a run has ended, for the window to call Finish()
  // on its own thread; it must not block. The progress dialog may appear once a run has lasted
  // `show_after_ms` (progress_rule.h).
  explicit RunController(std::function<void()> wake, int show_after_ms = 1000);
  // Cancels a run still under way and waits the few tens of milliseconds it takes to stop.
  ~RunController();
  RunController(const RunController&) = delete;
  RunController& operator=(const RunController&) = delete;

  void SetProgressDelay(int milliseconds) { show_after_ms_ = milliseconds; }

  // Run: starts writing the grid of `texts` on a thread of its own, unless a run is under way
  // (runs never overlap). The last run's dialog goes.
  void Start(grid::FieldTexts texts, grid::RunOptions options);
  bool Running() const { return worker_.joinable(); }
  // Whether `control` takes input now: during a run only quit does, which cancels the run.
  bool Enabled(Control control) const;

  // The dialog's button, its Escape key and its close box, and the window closing: a run under
  // way stops as soon as it can, leaving newgrid.txt as it was; the dialog goes. Returns the
  // dialog as it is to look now.
  const ProgressDialogState& Cancel();

  // On the window's timer, every kProgressTickMs during a run: the dialog as it is to look.
  const ProgressDialogState& Tick();
  const ProgressDialogState& Dialog() const { return dialog_; }

  // Once woken: ends the run. A dialog already shown says the grid is written. Returns the text
  // of the error box to show, or nothing.
  std::string Finish();
  // After an error box about a field's text (or the counts, Grid Spacing's), that field: the
  // focus goes there, its text selected, so that what the user types mends it. After any other
  // end of a run the focus stays where it was.
  std::optional<Control> FieldToMend() const { return field_to_mend_; }

 private:
  std::function<void()> wake_;
  int show_after_ms_;
  std::chrono::steady_clock::time_point started_;
  ProgressDialogState dialog_;
  std::optional<Control> field_to_mend_;

  // Shared with the worker thread.
  std::atomic<bool> cancelled_{false};
  std::atomic<std::uint64_t> bytes_done_{0};
  std::atomic<std::uint64_t> bytes_total_{0};
  std::atomic<bool> saving_{false};
  mutable std::mutex path_mutex_;
  std::string path_;    // the file written, after links, as messages name it, once the core says
  RunOutcome outcome_;  // written by the worker, read once it has been joined
  std::thread worker_;
};

}  // namespace window
