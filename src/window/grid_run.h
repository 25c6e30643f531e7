// One run of the grid generation on a thread of its own, and its progress on the window's
// thread: for a long run a dialog with the share done and a Cancel button. The window's thread
// never waits for the run, the disk or its sync.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "grid/generate_grid.h"

class QProgressDialog;
class QWidget;

namespace window {

class GridRun : public QObject {
  Q_OBJECT

 public:
  // Starts GenerateGrid on `texts`. The dialog, a child of `window` in its font, appears once
  // the run has lasted `show_after_ms` and looks set to last half as long again, so that a
  // short run shows nothing.
  GridRun(QWidget* window, int show_after_ms, grid::FieldTexts texts, grid::RunOptions options);
  // Cancels a run still under way and waits the few tens of milliseconds it takes to stop.
  ~GridRun() override;
  GridRun(const GridRun&) = delete;
  GridRun& operator=(const GridRun&) = delete;

  // Stops the run as soon as it can, leaving newgrid.txt as it was, and drops the dialog.
  void Cancel();

  // After finished(): the number and description of the run-time error that ended the run, or
  // 0 and nothing.
  int errorNumber() const { return error_number_; }
  QString errorDescription() const { return error_description_; }

 signals:
  void finished();

 private:
  void ShowProgress();

  QWidget* window_;
  int show_after_ms_;
  QElapsedTimer started_;
  QTimer ticker_;
  std::unique_ptr<QProgressDialog> dialog_;
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
