#include "window/run_progress.h"

#include <QCoreApplication>
#include <QProgressDialog>

#include "window/messages.h"

namespace window {
namespace {

constexpr int kEventsEveryMs = 40;  // repaints at 25 frames a second cost nothing to the run
constexpr int kSteps = 1000;

}  // namespace

RunProgress::RunProgress(QWidget* parent, int show_after_ms)
    : parent_(parent), show_after_ms_(show_after_ms) {
  started_.start();
}

RunProgress::~RunProgress() = default;

bool RunProgress::Update(const grid::GridProgress& progress) {
  if (since_events_.isValid() && since_events_.elapsed() < kEventsEveryMs) {
    return !cancelled_;
  }
  since_events_.start();
  const double done = progress.points_total == 0 ? 1.0
                                                 : static_cast<double>(progress.points_written) /
                                                       static_cast<double>(progress.points_total);
  const qint64 elapsed = started_.elapsed();
  if (!dialog_ && elapsed >= show_after_ms_ &&
      static_cast<double>(elapsed) * (1.0 - done) >= 0.5 * show_after_ms_ * done) {
    dialog_ = std::make_unique<QProgressDialog>(QStringLiteral("Writing newgrid.txt..."),
                                                QStringLiteral("Cancel"), 0, kSteps, parent_);
    dialog_->setWindowTitle(QString::fromLatin1(kApplicationTitle));
    dialog_->setWindowModality(Qt::WindowModal);
    dialog_->setMinimumDuration(0);
    dialog_->setAutoClose(false);
    dialog_->setAutoReset(false);
    dialog_->show();
  }
  if (dialog_) {
    dialog_->setValue(static_cast<int>(done * kSteps));
    // The dialog is modal: the window behind it takes no input, the dialog's Cancel does.
    QCoreApplication::processEvents();
    if (dialog_->wasCanceled()) {
      cancelled_ = true;
    }
  } else {
    // No dialog yet: paint, but keep the user's clicks and keys until the run is over.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  }
  return !cancelled_;
}

}  // namespace window
