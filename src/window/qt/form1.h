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

class Form1 : public QWidget, private RunView {
  Q_OBJECT

 public:
  explicit Form1(QWidget* parent = nullptr);
  ~Form1() override;

  // How long a run goes before its progress dialog may appear.
  void SetProgressDelay(int milliseconds) { controller_.SetProgressDelay(milliseconds); }

 public slots:
  // Run: writes newgrid.txt from the fields on a thread of its own; reports a run-time error in
  // a box, after which the window stays as it was. While the run is under way only quit and the
  // close box work, and they cancel the run and close the window.
  void Run();
  void ShowHelp();
  void ShowContactInfo();
  void Quit();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QWidget* ControlWidget(Control which) const { return controls_[static_cast<std::size_t>(which)]; }
  void MakeControls(qreal dpi, qreal scale);
  void ConnectControls();
  grid::FieldTexts TypedTexts() const;
  void DescribeRun();

  // What a run asks of the window.
  void WakeOnWindowThread() override;
  void SetEnabled(Control control, bool enabled) override;
  std::optional<Control> FocusedControl() const override;
  void ClearFocus() override;
  void Focus(Control control, bool select_text) override;
  void StartTicker() override;
  void StopTicker() override;
  void ShowDialog(const ProgressDialogState& state) override;
  void AnnounceDone() override;
  bool WindowShown() const override;
  void ShowError(const std::string& text) override;
  bool AskToWrite(const std::string& question) override;

  std::array<QWidget*, std::size(kControls)> controls_{};
  RunController controller_{*this};
  QTimer ticker_;
  QPointer<QProgressDialog> dialog_;  // a child of the window
};

// The decimal separator of `locale` as the fields take it: a single ASCII character, else '.'.
char DecimalSeparator(const QLocale& locale);

}  // namespace window
