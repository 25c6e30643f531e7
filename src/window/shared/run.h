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
#include <vector>

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
  // Once written: the files that describe a grid lying beside it ("newgrid.prj"), which the
  // window never writes.
  std::vector<std::string> describing_beside = {};
};

// Runs GenerateGrid, then looks for files that describe a grid beside the one written (only
// whether they exist). Whatever it raises ends as a run-time error in the outcome, so that
// nothing escapes the worker thread.
RunOutcome RunGrid(const grid::GridPlan& plan, const grid::RunOptions& options);

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

// What a run asks of a window, each done with its toolkit's own calls. All are called on the
// window's thread but WakeOnWindowThread.
class RunView {
 public:
  virtual ~RunView() = default;
  // Once a run has ended, from the worker thread: the window calls RunController::Finished() on
  // its own thread soon. It must not block, and is dropped if the window is gone by then.
  virtual void WakeOnWindowThread() = 0;
  virtual void SetEnabled(Control control, bool enabled) = 0;
  // The control that has the focus, if any; no control has it; `control` has it, its text
  // selected where `select_text`.
  virtual std::optional<Control> FocusedControl() const = 0;
  virtual void ClearFocus() = 0;
  virtual void Focus(Control control, bool select_text) = 0;
  // The window's timer that calls RunController::Tick() every kProgressTickMs.
  virtual void StartTicker() = 0;
  virtual void StopTicker() = 0;
  // The progress dialog as `state` says: made, brought up to date, or gone.
  virtual void ShowDialog(const ProgressDialogState& state) = 0;
  // Once the dialog says the grid is written: its button takes the focus, and a screen reader
  // is told of the new text.
  virtual void AnnounceDone() = 0;
  // Whether the window is on the screen, and the error box over it.
  virtual bool WindowShown() const = 0;
  virtual void ShowError(const std::string& text) = 0;
  // The question box over the window, modal, with kWriteCaption and kGoBackCaption: true for
  // Write. Go back is the default button, and Escape and the close box answer it.
  virtual bool AskToWrite(const std::string& question) = 0;
};

// How a run is made; RunGrid, or a stand-in in tests.
using GridRunner = std::function<RunOutcome(const grid::GridPlan&, const grid::RunOptions&)>;
// How the fields' texts are planned, with the user's decimal separator; grid::PlanGrid, or a
// stand-in in tests.
using GridPlanner = std::function<grid::GridPlan(const grid::FieldTexts&, char)>;
grid::GridPlan PlanFields(const grid::FieldTexts& texts, char decimal_separator);

// A run's whole flow, for a window that implements RunView: Run starts it, the window's timer
// ticks it, the wake ends it; Cancel stops it.
class RunController {
 public:
  // The progress dialog may appear once a run has lasted `show_after_ms` (progress_rule.h).
  explicit RunController(RunView& view, GridRunner runner = RunGrid, int show_after_ms = 1000,
                         GridPlanner planner = PlanFields);
  // Cancels a run still under way and waits the few tens of milliseconds it takes to stop.
  ~RunController();
  RunController(const RunController&) = delete;
  RunController& operator=(const RunController&) = delete;

  void SetProgressDelay(int milliseconds) { show_after_ms_ = milliseconds; }

  // Run: starts writing the grid of `texts` on a thread of its own, unless a run is under way
  // (runs never overlap). A grid that would differ from the fields is written only once the user
  // says Write to the question; Go back puts the focus in the field the first difference is
  // about, its text selected. Texts the run refuses go straight on to their error box. The last
  // run's dialog goes; the focus leaves the controls that no longer work, so that a key meant for
  // Run cannot land on quit, and comes back after the run.
  // The texts are planned once, and the run carries out that plan.
  void Run(const grid::FieldTexts& texts, char decimal_separator, grid::RunOptions options = {});
  // The Run button's description for these texts (RunButtonDescription), planned once.
  std::string Describe(const grid::FieldTexts& texts, char decimal_separator,
                       const std::string& folder, const std::string& digit_group) const;
  bool Running() const { return worker_.joinable(); }
  // Whether `control` takes input now: during a run only quit does, which cancels the run.
  bool Enabled(Control control) const;

  // The dialog's button, its Escape key and its close box, and the window closing: a run under
  // way stops as soon as it can, leaving newgrid.txt as it was; the dialog goes.
  void Cancel();

  // On the window's timer, every kProgressTickMs during a run: the dialog brought up to date.
  void Tick();

  // Once woken: ends the run. A dialog already shown says the grid is written; an error is told
  // in a box while the window is shown; the focus goes back to a control that takes input, or
  // after an error about a field's text (or the counts, Grid Spacing's) to that field, its text
  // selected, so that what the user types mends it.
  void Finished();

 private:
  void EnableControls();
  void ShowDialog(ProgressDialogState state);
  // The dialog once the grid is written: it says so and stays until it is closed.
  ProgressDialogState WrittenDialog(const RunOutcome& outcome) const;

  RunView& view_;
  GridRunner runner_;
  GridPlanner planner_;
  int show_after_ms_;
  std::chrono::steady_clock::time_point started_;
  ProgressDialogState dialog_;
  std::optional<Control> focus_before_run_;

  // Shared with the worker thread.
  std::atomic<bool> cancelled_{false};
  std::atomic<std::uint64_t> bytes_done_{0};
  std::atomic<std::uint64_t> bytes_total_{0};
  std::atomic<grid::GridStage> stage_{grid::GridStage::reserving};
  mutable std::mutex path_mutex_;
  std::string path_;    // the file written, after links, as messages name it, once the core says
  RunOutcome outcome_;  // written by the worker, read once it has been joined
  std::thread worker_;
};

}  // namespace window
