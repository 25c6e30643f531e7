#include "window/grid_run.h"

#include <QAccessible>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QWidget>

#include "window/shared/progress_rule.h"
#include "window/shared/run.h"
#include "window/shared/texts.h"

namespace window {
namespace {

// The dialog is as large as what it says, and no one resizes it: its size is fixed anew when its
// text changes.
void SetText(QProgressDialog* dialog, const QString& text) {
  if (dialog->labelText() != text) {
    dialog->setLabelText(text);
    dialog->setFixedSize(dialog->sizeHint());
  }
}

}  // namespace

GridRun::GridRun(QWidget* window, int show_after_ms, const QString& path, grid::FieldTexts texts,
                 grid::RunOptions options)
    : QObject(window), window_(window), show_after_ms_(show_after_ms), path_(path) {
  started_.start();
  connect(&ticker_, &QTimer::timeout, this, &GridRun::showProgress);
  ticker_.start(kProgressTickMs);
  options.progress = [this](const grid::GridProgress& progress) {
    bytes_done_ = progress.bytes_done;
    bytes_total_ = progress.bytes_total;
    saving_ = progress.saving;
    return !cancelled_;
  };
  worker_ = std::thread([this, texts = std::move(texts), options = std::move(options)] {
    const RunOutcome outcome = RunGrid(texts, options);
    // Queued to the window's thread; dropped there if this run is gone by then.
    QMetaObject::invokeMethod(
        this,
        [this, outcome] {
          worker_.join();
          ticker_.stop();
          if (outcome.error_number == 0 && !outcome.cancelled && dialog_) {
            showDone(outcome.bytes_written);
          } else if (dialog_) {
            dialog_->deleteLater();
          }
          error_number_ = outcome.error_number;
          error_description_ = QString::fromStdString(outcome.error_description);
          emit finished();
        },
        Qt::QueuedConnection);
  });
}

GridRun::~GridRun() {
  if (worker_.joinable()) {
    cancelled_ = true;
    worker_.join();
  }
}

void GridRun::cancel() {
  cancelled_ = true;
  ticker_.stop();
  if (dialog_) {
    // Cancel may come from the dialog's own button: it goes once that click is handled.
    dialog_->hide();
    dialog_->deleteLater();
  }
}

void GridRun::showProgress() {
  const std::uint64_t total = bytes_total_;
  const double done =
      total == 0 ? 0.0 : static_cast<double>(bytes_done_) / static_cast<double>(total);
  if (!dialog_ && ShowProgressNow(started_.elapsed(), show_after_ms_, done)) {
    // Not modal: the window's close box must still reach the window. The window itself keeps
    // input away from its controls while the run is under way.
    dialog_ = new QProgressDialog(QString(), QStringLiteral("Cancel"), 0, kProgressSteps, window_);
    dialog_->setWindowTitle(QString::fromLatin1(kApplicationTitle));
    dialog_->setFont(window_->font());
    dialog_->setAutoClose(false);
    dialog_->setAutoReset(false);
    connect(dialog_, &QProgressDialog::canceled, this, &GridRun::cancel);
    dialog_->show();
  }
  if (dialog_) {
    const RunStage stage = saving_ ? RunStage::saving : RunStage::writing;
    SetText(dialog_, QString::fromStdString(ProgressText(stage, path_.toStdString(), 0)));
    dialog_->setValue(static_cast<int>(done * kProgressSteps));
  }
}

// The dialog says the grid is written and stays until the user closes it: a state no one takes
// for a cancel, whose button takes the focus so that a screen reader announces it and the text.
void GridRun::showDone(std::uint64_t bytes) {
  QProgressDialog* dialog = dialog_;
  disconnect(dialog, &QProgressDialog::canceled, this, &GridRun::cancel);
  connect(dialog, &QProgressDialog::canceled, dialog, &QObject::deleteLater);
  dialog->setValue(kProgressSteps);
  auto* close = new QPushButton(QStringLiteral("Close"), dialog);
  dialog->setCancelButton(close);
  SetText(dialog,
          QString::fromStdString(ProgressText(RunStage::saved, path_.toStdString(), bytes)));
  close->setFocus();
  if (auto* label = dialog->findChild<QLabel*>()) {
    QAccessibleEvent written(label, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&written);
  }
  QAccessibleEvent alert(dialog, QAccessible::Alert);
  QAccessible::updateAccessibility(&alert);
}

}  // namespace window
