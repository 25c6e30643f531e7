// Progress of a run on the window's thread: keeps the window painted, and for a long run shows a
// modal dialog with the share done and a Cancel button.
#pragma once

#include <QElapsedTimer>
#include <memory>

#include "grid/generate_grid.h"

class QProgressDialog;
class QWidget;

namespace window {

class RunProgress {
 public:
  // The dialog appears once a run has lasted `show_after_ms` and looks set to last half as long
  // again, so that a short run shows nothing.
  RunProgress(QWidget* parent, int show_after_ms);
  ~RunProgress();
  RunProgress(const RunProgress&) = delete;
  RunProgress& operator=(const RunProgress&) = delete;

  // Called by the run after every column. Returns false once the run is to stop.
  bool Update(const grid::GridProgress& progress);
  // Stops the run at its next Update, as the dialog's Cancel button does.
  void Cancel() { cancelled_ = true; }

 private:
  QWidget* parent_;
  int show_after_ms_;
  QElapsedTimer started_;
  QElapsedTimer since_events_;
  std::unique_ptr<QProgressDialog> dialog_;
  bool cancelled_ = false;
};

}  // namespace window
