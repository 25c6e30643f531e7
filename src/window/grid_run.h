// One run of the grid generation on a thread of its own, and its progress on the window's
// thread: for a long run a dialog with the share done and a Cancel button, which tells at the end
// that the grid is written. The window's thread never waits for the run, the disk or its sync.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <atomic>
#include <cstdint>
#include <thread>

#include "grid/generate_grid.h"

class QProgressDialog;
class QWidget;

namespace window {

class GridRun : public QObject {
  Q_OBJECT

 public:
  // Starts GenerateGrid on `texts`, writing `path` (its full path, as messages show it). The
  // dialog, a child of `window` in its font, appears by the progress rule (progress_rule.h).
  GridRun(QWidget* window, int show_after_ms, const QString& path, grid::FieldTexts texts,
          grid::RunOptions options);
  // Cancels a run still under way and waits the few tens of milliseconds it takes to stop.
  ~GridRun() override;
  GridRun(const GridRun&) = delete;
  GridRun& operator=(const GridRun&) = delete;

  // Stops the run as soon as it can, leaving newgrid.txt as it was, and drops the dialog.
  void cancel();

  // After finished(): the number and description of the run-time error that ended the run, or
  // 0 and nothing.
  int errorNumber() const { return error_number_; }
  QString errorDescription() const { return error_description_; }

 signals:
  void finished();

 private:
  void showProgress();
  void showDone(std::uint64_t bytes);

  QWidget* window_;
  int show_after_ms_;
  QString path_;
  QElapsedTimer started_;
  QTimer ticker_;
  QPointer<QProgressDialog> dialog_;  // a child of the window: it may outlive the run
  int error_number_ = 0;
  QString error_description_;

  // Shared with the worker thread.
  std::atomic<bool> cancelled_{false};
  std::atomic<std::uint64_t> bytes_done_{0};
  std::atomic<std::uint64_t> bytes_total_{0};
  std::atomic<bool> saving_{false};
  std::thread worker_;
};

}  // namespace window
