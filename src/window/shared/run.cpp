#include "window/shared/run.h"

#include <exception>
#include <utility>

#include "grid/run_error.h"
#include "window/shared/progress_rule.h"
#include "window/shared/texts.h"

namespace window {

RunOutcome RunGrid(const grid::FieldTexts& texts, const grid::RunOptions& options) {
  try {
    const grid::RunResult result = grid::GenerateGrid(texts, options);
    return {.cancelled = result.cancelled, .bytes_written = result.bytes_written};
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
  return {text_of(kFields[0]), text_of(kFields[1]), text_of(kFields[2]), text_of(kFields[3]),
          text_of(kFields[4])};
}

RunController::RunController(std::function<void()> wake, int show_after_ms)
    : wake_(std::move(wake)), show_after_ms_(show_after_ms) {}

RunController::~RunController() {
  if (worker_.joinable()) {
    cancelled_ = true;
    worker_.join();
  }
}

void RunController::Start(grid::FieldTexts texts, grid::RunOptions options) {
  if (Running()) {
    return;
  }
  dialog_ = {};
  cancelled_ = false;
  bytes_done_ = 0;
  bytes_total_ = 0;
  saving_ = false;
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
    saving_ = progress.saving;
    bytes_total_ = progress.bytes_total;
    return !cancelled_;
  };
  started_ = std::chrono::steady_clock::now();
  worker_ = std::thread([this, texts = std::move(texts), options = std::move(options)] {
    outcome_ = RunGrid(texts, options);
    wake_();
  });
}

bool RunController::Enabled(Control control) const {
  return !Running() || Design(control).kind == ControlKind::label || control == Control::Command3;
}

const ProgressDialogState& RunController::Cancel() {
  cancelled_ = true;
  dialog_ = {};
  return dialog_;
}

const ProgressDialogState& RunController::Tick() {
  // Until the core has made the file and said which it is, there is nothing to tell.
  const std::uint64_t total = bytes_total_;
  if (!Running() || cancelled_ || total == 0) {
    return dialog_;
  }
  const double done = static_cast<double>(bytes_done_) / static_cast<double>(total);
  const auto elapsed_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::steady_clock::now() - started_)
                              .count();
  if (!dialog_.shown && !ShowProgressNow(elapsed_ms, show_after_ms_, done)) {
    return dialog_;
  }
  const std::lock_guard lock(path_mutex_);
  dialog_ = {.shown = true,
             .text = ProgressText(saving_ ? RunStage::saving : RunStage::writing, path_, 0),
             .widest = ProgressText(RunStage::saved, path_, total),
             .steps = static_cast<int>(done * kProgressSteps),
             .button = kCancelCaption};
  return dialog_;
}

std::string RunController::Finish() {
  if (!worker_.joinable()) {
    return {};
  }
  worker_.join();
  const RunOutcome outcome = std::exchange(outcome_, {});
  field_to_mend_.reset();
  if (outcome.error_field) {
    field_to_mend_ = kFields[static_cast<std::size_t>(*outcome.error_field)];
  }
  if (outcome.error_number == 0 && !outcome.cancelled && !cancelled_ && dialog_.shown) {
    const std::lock_guard lock(path_mutex_);
    dialog_ = {.shown = true,
               .done = true,
               .text = ProgressText(RunStage::saved, path_, outcome.bytes_written),
               .widest = dialog_.widest,
               .steps = kProgressSteps,
               .button = kCloseCaption};
  } else {
    dialog_ = {};
  }
  return outcome.error_number == 0 ? std::string()
                                   : RunErrorText(outcome.error_number, outcome.error_description);
}

}  // namespace window
