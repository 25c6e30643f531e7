#include "window/grid_run.h"

#include <QProgressDialog>
#include <QWidget>
#include <exception>

#include "grid/run_error.h"
#include "window/messages.h"

namespace window {
namespace {

constexpr int kTickMs = 40;  // the dialog moves at 25 frames a second
constexpr int kSteps = 1000;

}  // namespace

GridRun::GridRun(QWidget* window, int show_after_ms, grid::FieldTexts texts,
                 grid::RunOptions options)
    : QObject(window), window_(window), show_after_ms_(show_after_ms) {
  started_.start();
  connect(&ticker_, &QTimer::timeout, this, &GridRun::ShowProgress);
  ticker_.start(kTickMs);
  options.progress = [this](const grid::GridProgress& progress) {
    bytes_done_ = progress.bytes_done;
    bytes_total_ = progress.bytes_total;
    saving_ = progress.saving;
    return !cancelled_;
  };
  worker_ = std::thread([this, texts = std::move(texts), options = std::move(options)] {
    int number = 0;
    std::string description;
    try {
      grid::GenerateGrid(texts, options);
    } catch (const grid::RunError& error) {
      number = error.number();
      description = error.description();
    } catch (const std::exception& error) {
      const grid::RunError system(grid::ErrorKind::system, error.what());
      number = system.number();
      description = system.description();
    }
    // Queued to the window's thread; dropped there if this run is gone by then.
    QMetaObject::invokeMethod(
        this,
        [this, number, description] {
          worker_.join();
          ticker_.stop();
          dialog_.reset();
          error_number_ = number;
          error_description_ = QString::fromStdString(description);
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

void GridRun::Cancel() {
  cancelled_ = true;
  ticker_.stop();
  if (dialog_) {
    // Cancel may come from the dialog's own button: it goes once that click is handled.
    dialog_->hide();
    dialog_.release()->deleteLater();
  }
}

void GridRun::ShowProgress() {
  const std::uint64_t total = bytes_total_;
  const double done =
      total == 0 ? 0.0 : static_cast<double>(bytes_done_) / static_cast<double>(total);
  const qint64 elapsed = started_.elapsed();
  if (!dialog_ && elapsed >= show_after_ms_ &&
      static_cast<double>(elapsed) * (1.0 - done) >= 0.5 * show_after_ms_ * done) {
    // Not modal: the window's close box must still reach the window. The window itself keeps
    // input away from its controls while the run is under way.
    dialog_ =
        std::make_unique<QProgressDialog>(QString(), QStringLiteral("Cancel"), 0, kSteps, window_);
    dialog_->setWindowTitle(QString::fromLatin1(kApplicationTitle));
    dialog_->setFont(window_->font());
    dialog_->setAutoClose(false);
    dialog_->setAutoReset(false);
    connect(dialog_.get(), &QProgressDialog::canceled, this, &GridRun::Cancel);
    dialog_->show();
  }
  if (dialog_) {
    dialog_->setLabelText(saving_ ? QStringLiteral("Saving newgrid.txt to disk...")
                                  : QStringLiteral("Writing newgrid.txt..."));
    dialog_->setValue(static_cast<int>(done * kSteps));
  }
}

}  // namespace window
