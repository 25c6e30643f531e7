// The program's only window on Linux: the design both windows share (shared/form1_design.h) in
// Qt's widgets, and a run's behaviour (shared/run.h) shown in them.
#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <array>

#include "window/shared/form1_design.h"
#include "window/shared/run.h"

class QProgressDialog;

namespace window {

class Form1 : public QWidget {
  Q_OBJECT

 public:
  explicit Form1(QWidget* parent = nullptr);
  ~Form1() override;

  // How long a run goes before its progress dialog may appear.
  void setProgressDelay(int milliseconds) { controller_.SetProgressDelay(milliseconds); }

 public slots:
  // Run: writes newgrid.txt from the fields on a thread of its own; reports a run-time error in
  // a box, after which the window stays as it was. While the run is under way only quit and the
  // close box work, and they cancel the run and close the window.
  void run();
  void showHelp();
  void showContactInfo();
  void quit();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QWidget* control(Control which) const { return controls_[static_cast<std::size_t>(which)]; }
  grid::FieldTexts fieldTexts() const;
  void describeRun();
  void enableControls();
  void tick();
  void runFinished();
  void showDialog(const ProgressDialogState& state);

  std::array<QWidget*, std::size(kControls)> controls_{};
  RunController controller_;
  QTimer ticker_;
  QPointer<QProgressDialog> dialog_;  // a child of the window
  QPointer<QWidget> focus_before_run_;
};

// The decimal separator of `locale` as the fields take it: a single ASCII character, else '.'.
char DecimalSeparator(const QLocale& locale);

}  // namespace window
