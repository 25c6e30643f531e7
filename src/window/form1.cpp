#include "window/form1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <utility>

#include "grid/run_error.h"
#include "window/grid_run.h"
#include "window/messages.h"
#include "window/twips.h"

namespace window {
namespace {

constexpr int kClientWidthTwips = 6255;
constexpr int kClientHeightTwips = 5010;

// A small sans-serif UI font whose metrics fit every caption's box; the project installs it.
constexpr const char* kFontFamily = "Liberation Sans";
constexpr int kFontPoints = 8;

template <typename Control>
Control* Place(QWidget* parent, const char* name, const QString& caption, TwipRect twips,
               qreal dpi) {
  auto* control = new Control(caption, parent);
  control->setObjectName(QLatin1String(name));
  control->setGeometry(TwipsToPixels(twips, dpi));
  return control;
}

QLabel* PlaceLabel(QWidget* parent, const char* name, const char* caption, TwipRect twips,
                   qreal dpi) {
  auto* label = Place<QLabel>(parent, name, QString::fromLatin1(caption), twips, dpi);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}

QLineEdit* PlaceField(QWidget* parent, const char* name, TwipRect twips, qreal dpi) {
  return Place<QLineEdit>(parent, name, QString(), twips, dpi);
}

QPushButton* PlaceButton(QWidget* parent, const char* name, const char* caption, TwipRect twips,
                         qreal dpi) {
  auto* button = Place<QPushButton>(parent, name, QString::fromLatin1(caption), twips, dpi);
  button->setAutoDefault(false);       // no default button: Enter in a field presses nothing
  button->installEventFilter(parent);  // Return and Enter on a focused button press it
  return button;
}

bool IsUserInput(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::InputMethod:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
      return true;
    default:
      return false;
  }
}

}  // namespace

char DecimalSeparator(const QLocale& locale) {
  const QString separator = locale.decimalPoint();
  if (separator.size() == 1 && separator.front().unicode() < 0x80) {
    return static_cast<char>(separator.front().unicode());
  }
  return '.';
}

Form1::Form1(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("Form1"));
  // The size is fixed: the frame offers only what works, minimize and close.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setFont(QFont(QLatin1String(kFontFamily), kFontPoints));
  const QScreen* screen = QGuiApplication::primaryScreen();
  const qreal dpi = screen ? screen->logicalDotsPerInch() : 96.0;
  setFixedSize(TwipsToPixels(kClientWidthTwips, dpi), TwipsToPixels(kClientHeightTwips, dpi));

  Label6 = PlaceLabel(this, "Label6", "Lattisk 1.0", {2520, 0, 1335, 375}, dpi);
  Label7 = PlaceLabel(this, "Label7",
                      "This program will generate a regular, square grid which is based upon "
                      "the min/max coordinates and grid spacing entered below.",
                      {1320, 360, 3855, 615}, dpi);
  Label7->setWordWrap(true);
  Label1 = PlaceLabel(this, "Label1", "Minimum x value", {120, 1560, 1335, 255}, dpi);
  Text1 = PlaceField(this, "Text1", {1680, 1560, 1695, 375}, dpi);
  Label2 = PlaceLabel(this, "Label2", "Maximum x value", {120, 2280, 1335, 375}, dpi);
  Text2 = PlaceField(this, "Text2", {1680, 2280, 1695, 375}, dpi);
  Label3 = PlaceLabel(this, "Label3", "Minimum Y value", {120, 3000, 1335, 255}, dpi);
  Text3 = PlaceField(this, "Text3", {1680, 3000, 1695, 375}, dpi);
  Label4 = PlaceLabel(this, "Label4", "Maximum Y value", {120, 3720, 1335, 255}, dpi);
  Text4 = PlaceField(this, "Text4", {1680, 3720, 1695, 375}, dpi);
  Label5 = PlaceLabel(this, "Label5", "Grid Spacing", {120, 4440, 1215, 255}, dpi);
  Text5 = PlaceField(this, "Text5", {1680, 4440, 1695, 375}, dpi);
  Command2 = PlaceButton(this, "Command2", "Run", {4920, 1800, 975, 495}, dpi);
  Command1 = PlaceButton(this, "Command1", "Help", {4920, 2640, 975, 495}, dpi);
  Command4 = PlaceButton(this, "Command4", "contact info", {4920, 3480, 975, 495}, dpi);
  Command3 = PlaceButton(this, "Command3", "quit", {4920, 4320, 975, 495}, dpi);
  // A screen reader names each field by its caption. No '&' in them: still no accelerators.
  const std::pair<QLabel*, QLineEdit*> captions[] = {
      {Label1, Text1}, {Label2, Text2}, {Label3, Text3}, {Label4, Text4}, {Label5, Text5}};
  for (const auto& [label, field] : captions) {
    label->setBuddy(field);
  }

  // The fields, then Run, quit, Help and contact info.
  QWidget* const tab_order[] = {Text1,    Text2,    Text3,    Text4,   Text5,
                                Command2, Command3, Command1, Command4};
  for (std::size_t i = 1; i < std::size(tab_order); ++i) {
    QWidget::setTabOrder(tab_order[i - 1], tab_order[i]);
  }
  Text1->setFocus();

  connect(Command2, &QPushButton::clicked, this, &Form1::run);
  connect(Command1, &QPushButton::clicked, this, &Form1::showHelp);
  connect(Command4, &QPushButton::clicked, this, &Form1::showContactInfo);
  connect(Command3, &QPushButton::clicked, this, &Form1::quit);
}

Form1::~Form1() = default;

grid::FieldTexts Form1::fieldTexts() const {
  return {Text1->text().toStdString(), Text2->text().toStdString(), Text3->text().toStdString(),
          Text4->text().toStdString(), Text5->text().toStdString()};
}

void Form1::run() {
  if (run_) {
    return;  // runs never overlap
  }
  grid::RunOptions options;
  options.decimal_separator = DecimalSeparator(locale());
  run_ = new GridRun(this, progress_delay_ms_, fieldTexts(), std::move(options));
  connect(run_, &GridRun::finished, this, &Form1::runFinished);
  qApp->installEventFilter(this);
}

void Form1::runFinished() {
  qApp->removeEventFilter(this);
  const int number = run_->errorNumber();
  const QString description = run_->errorDescription();
  run_->deleteLater();
  run_ = nullptr;
  if (number != 0 && isVisible()) {
    ShowRunError(this, number, description);
  }
}

void Form1::showHelp() {
  ShowMessage(this, HelpText());
}

void Form1::showContactInfo() {
  ShowMessage(this, ContactText());
}

void Form1::quit() {
  close();
}

// The close box asks nothing. During a run it cancels the run, which leaves newgrid.txt as it
// was, and the window closes at once; the run stops within a few tens of milliseconds.
void Form1::closeEvent(QCloseEvent* event) {
  if (run_) {
    run_->Cancel();
  }
  event->accept();
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
  auto* widget = qobject_cast<QWidget*>(watched);
  if (!widget || widget->window() != this) {
    return QWidget::eventFilter(watched, event);
  }
  // During a run only the close box and quit work; a run's dialog is a window of its own.
  const bool quit_clicked = widget == Command3 && (event->type() == QEvent::MouseButtonPress ||
                                                   event->type() == QEvent::MouseButtonRelease);
  if (run_ && IsUserInput(event->type()) && !quit_clicked) {
    return true;
  }
  if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    auto* button = qobject_cast<QPushButton*>(watched);
    if (button && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
      button->click();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace window
