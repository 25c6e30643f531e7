#include "window/shared/run.h"

#include <exception>
#include <filesystem>
#include <utility>

#include "file/shown_text.h"
#include "grid/file_set.h"
#include "grid/grid_account.h"
#include "grid/run_error.h"
#include "window/shared/progress_rule.h"
#include "window/shared/texts.h"

namespace window {

RunOutcome RunGrid(const grid::GridPlan& plan, const grid::RunOptions& options) {
  try {
    const grid::RunResult result = grid::GenerateGrid(plan, options);
    RunOutcome outcome{.cancelled = result.cancelled, .bytes_written = result.bytes_written};
    if (!result.cancelled) {
      for (const std::filesystem::path& beside : grid::DescribingFilesBeside(options.output)) {
        outcome.describing_beside.push_back(file::ShownPath(beside.filename()));
      }
    }
    return outcome;
  } catch (const grid::RunError& error) {
    return {.error_number = error.number(),
            .error_description = error.description(),
            .error_field = error.field()};
  } catch (const std::exception& error) {
    const grid::RunError system(grid::ErrorKind::system, error.what());
    return {.error_number = system.number(), .error_description = system.description()};
  }
}

grid::FieldTexts ReadFields(const std::function<std::string(Control)>& text_of) {
  grid::FieldTexts texts;
  for (const grid::FieldDescription& field : grid::kFieldTable) {
    texts.*field.text = text_of(FieldControl(field.field));
  }
  return texts;
}

grid::GridPlan PlanFields(const grid::FieldTexts& texts, char decimal_separator) {
  return grid::PlanGrid(texts, decimal_separator);
}

RunController::RunController(RunView& view, GridRunner runner, int show_after_ms,
                             GridPlanner planner)
    : view_(view),
      runner_(std::move(runner)),
      planner_(std::move(planner)),
      show_after_ms_(show_after_ms) {}

RunController::~RunController() {
  if (worker_.joinable()) {
    cancelled_ = true;
    worker_.join();
  }
}

std::string RunController::Describe(const grid::FieldTexts& texts, char decimal_separator,
                                    const std::string& folder,
                                    const std::string& digit_group) const {
  return RunButtonDescription(planner_(texts, decimal_separator), folder, digit_group);
}

void RunController::Run(const grid::FieldTexts& texts, char decimal_separator,
                        grid::RunOptions options) {
  if (Running()) {
    return;
  }
  grid::GridPlan plan = planner_(texts, decimal_separator);
  // Texts Run refuses go straight on to their error box.
  if (!plan.refusal && !plan.account.empty() && !view_.AskToWrite(LossQuestionText(plan.account))) {
    view_.Focus(FieldControl(plan.account.front().field), true);
    return;
  }
  cancelled_ = false;
  bytes_done_ = 0;
  bytes_total_ = 0;
  stage_ = grid::GridStage::reserving;
  {
    const std::lock_guard lock(path_mutex_);
    path_.clear();
  }
  options.folder_advice = StartFolderAdvice();
  options.progress = [this](const grid::GridProgress& progress) {
    if (bytes_total_ == 0) {
      const std::lock_guard lock(path_mutex_);
      path_ = progress.path;
    }
    bytes_done_ = progress.bytes_done;
    stage_ = progress.stage;
    bytes_total_ = progress.bytes_total;
    return !cancelled_;
  };
  started_ = std::chrono::steady_clock::now();
  worker_ = std::thread([this, plan = std::move(plan), options = std::move(options)] {
    outcome_ = runner_(plan, options);
    view_.WakeOnWindowThread();
  });
  focus_before_run_ = view_.FocusedControl();
  view_.ClearFocus();
  EnableControls();
  ShowDialog({});  // the last run's goes
  view_.StartTicker();
}

bool RunController::Enabled(Control control) const {
  return !Running() || Design(control).kind == ControlKind::label || control == Control::Command3;
}

void RunController::EnableControls() {
  for (const ControlDesign& design : kControls) {
    view_.SetEnabled(design.control, Enabled(design.control));
  }
}

void RunController::ShowDialog(ProgressDialogState state) {
  dialog_ = std::move(state);
  view_.ShowDialog(dialog_);
}

void RunController::Cancel() {
  cancelled_ = true;
  ShowDialog({});
}

void RunController::Tick() {
  // Until the core has found the file and said which it is, there is nothing to tell.
  const std::uint64_t total = bytes_total_;
  if (!Running() || cancelled_ || total == 0) {
    return;
  }
  const double done = static_cast<double>(bytes_done_) / static_cast<double>(total);
  const auto elapsed_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::steady_clock::now() - started_)
                              .count();
  // Once shown, it stays and keeps up until the run ends.
  if (!dialog_.shown && !ShowProgressNow(elapsed_ms, show_after_ms_, done)) {
    return;
  }
  const std::lock_guard lock(path_mutex_);
  ShowDialog({.shown = true,
              .text = ProgressText(stage_, path_, total),
              .widest = WrittenText(path_, total),
              .steps = static_cast<int>(done * kProgressSteps),
              .button = kCancelCaption});
}

void RunController::Finished() {
  if (!worker_.joinable()) {
    return;
  }
  view_.StopTicker();
  worker_.join();
  const RunOutcome outcome = std::exchange(outcome_, {});
  EnableControls();
  if (focus_before_run_ && Design(*focus_before_run_).kind != ControlKind::label &&
      Enabled(*focus_before_run_)) {
    view_.Focus(*focus_before_run_, false);
  }
  const bool written = outcome.error_number == 0 && !outcome.cancelled && !cancelled_;
  // A quick run shows no dialog, unless it has files beside it to tell of.
  const bool tell = dialog_.shown || !outcome.describing_beside.empty();
  ShowDialog(written && tell ? WrittenDialog(outcome) : ProgressDialogState{});
  if (dialog_.done) {
    view_.AnnounceDone();
  }
  if (outcome.error_number != 0 && view_.WindowShown()) {
    view_.ShowError(RunErrorText(outcome.error_number, outcome.error_description));
  }
  if (outcome.error_field) {
    view_.Focus(FieldControl(*outcome.error_field), true);
  }
}

ProgressDialogState RunController::WrittenDialog(const RunOutcome& outcome) const {
  const std::lock_guard lock(path_mutex_);
  std::string text = WrittenText(path_, outcome.bytes_written);
  std::string widest = dialog_.shown ? dialog_.widest : text;
  // Sized anew for the sentence on its own line.
  if (const std::string beside = LeftBesideText(outcome.describing_beside); !beside.empty()) {
    text += "\n" + beside;
    widest += "\n" + beside;
  }
  return {.shown = true,
          .done = true,
          .text = std::move(text),
          .widest = std::move(widest),
          .steps = kProgressSteps,
          .button = kCloseCaption};
}

}  // namespace window
