// The program's only window: five fields, their captions, and the Run, Help, contact info and
// quit buttons, laid out by the design both windows share (shared/form1_design.h).
#pragma once

#include <QWidget>

#include "grid/generate_grid.h"

class QLineEdit;
class QPushButton;

namespace window {

class GridRun;

class Form1 : public QWidget {
  Q_OBJECT

 public:
  explicit Form1(QWidget* parent = nullptr);
  ~Form1() override;

  // How long a run goes before its progress dialog may appear.
  void setProgressDelay(int milliseconds) { progress_delay_ms_ = milliseconds; }

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
  grid::FieldTexts fieldTexts() const;
  void setRunning(bool running);
  void runFinished();

  QLineEdit* Text1;
  QLineEdit* Text2;
  QLineEdit* Text3;
  QLineEdit* Text4;
  QLineEdit* Text5;
  QPushButton* Command1;
  QPushButton* Command2;
  QPushButton* Command3;
  QPushButton* Command4;

  int progress_delay_ms_ = 1000;
  GridRun* run_ = nullptr;  // the run under way, if any; a child of the window
  QWidget* focus_before_run_ = nullptr;
};

// The decimal separator of `locale` as the fields take it: a single ASCII character, else '.'.
char DecimalSeparator(const QLocale& locale);

}  // namespace window
