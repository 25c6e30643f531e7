#include "window/form1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <limits>
#include <utility>

#include "window/grid_run.h"
#include "window/messages.h"
#include "window/shared/form1_design.h"
#include "window/shared/texts.h"

namespace window {
namespace {

// A small sans-serif UI font whose metrics fit every caption's box; it is built into the program.
constexpr const char* kFontFamily = "Liberation Sans";

// Return and Enter on a focused button press it, as Space does. The window has no default
// button, so in a field they press nothing.
class PressOnEnter : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress) {
      const int key = static_cast<QKeyEvent*>(event)->key();
      auto* button = qobject_cast<QPushButton*>(watched);
      if (button && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
        button->click();
        return true;
      }
    }
    return false;
  }
};

QRect ToPixels(const TwipRect& twips, qreal dpi, qreal scale) {
  return QRect(TwipsToPixels(twips.left, dpi, scale), TwipsToPixels(twips.top, dpi, scale),
               TwipsToPixels(twips.width, dpi, scale), TwipsToPixels(twips.height, dpi, scale));
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
  setObjectName(QLatin1String(kFormName));
  setWindowTitle(QLatin1String(kFormName));
  // The size is fixed: the frame offers only what works, minimize and close.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  // The layout grows with the desktop's interface font, in proportion.
  const qreal scale = FontScale(QApplication::font().pointSizeF());
  QFont font{QString::fromLatin1(kFontFamily)};
  font.setPointSizeF(kFontPoints * scale);
  setFont(font);
  const QScreen* screen = QGuiApplication::primaryScreen();
  const qreal dpi = screen ? screen->logicalDotsPerInch() : 96.0;
  setFixedSize(TwipsToPixels(kClientWidthTwips, dpi, scale),
               TwipsToPixels(kClientHeightTwips, dpi, scale));

  auto* press_on_enter = new PressOnEnter(this);
  QLabel* caption = nullptr;
  for (const ControlDesign& design : kControls) {
    QWidget* control = nullptr;
    const QString text = QString::fromLatin1(design.caption);
    switch (design.kind) {
      case ControlKind::label: {
        auto* label = new QLabel(text, this);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setWordWrap(design.wraps);
        caption = label;
        control = label;
        break;
      }
      case ControlKind::field: {
        auto* field = new QLineEdit(this);
        field->setMaxLength(std::numeric_limits<int>::max());  // a long paste is kept whole
        caption->setBuddy(field);  // a screen reader names the field by its caption
        control = field;
        break;
      }
      case ControlKind::button: {
        auto* button = new QPushButton(text, this);
        button->setAutoDefault(false);  // no default button: Enter in a field presses nothing
        button->installEventFilter(press_on_enter);
        control = button;
        break;
      }
    }
    control->setObjectName(QLatin1String(design.name));
    control->setGeometry(ToPixels(design.twips, dpi, scale));
  }
  const auto find = [this](const char* name) { return findChild<QWidget*>(QLatin1String(name)); };
  Text1 = findChild<QLineEdit*>(QStringLiteral("Text1"));
  Text2 = findChild<QLineEdit*>(QStringLiteral("Text2"));
  Text3 = findChild<QLineEdit*>(QStringLiteral("Text3"));
  Text4 = findChild<QLineEdit*>(QStringLiteral("Text4"));
  Text5 = findChild<QLineEdit*>(QStringLiteral("Text5"));
  Command1 = findChild<QPushButton*>(QStringLiteral("Command1"));
  Command2 = findChild<QPushButton*>(QStringLiteral("Command2"));
  Command3 = findChild<QPushButton*>(QStringLiteral("Command3"));
  Command4 = findChild<QPushButton*>(QStringLiteral("Command4"));

  for (std::size_t i = 1; i < std::size(kTabOrder); ++i) {
    QWidget::setTabOrder(find(kTabOrder[i - 1]), find(kTabOrder[i]));
  }
  find(kTabOrder[0])->setFocus();

  // Where Run writes, before it is pressed: the program never changes its folder.
  const QString writes =
      QString::fromStdString(RunButtonDescription(CurrentFolder().toStdString()));
  Command2->setToolTip(writes);
  Command2->setAccessibleDescription(writes);

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

// During a run the fields and every button but quit are disabled, and look it. The focus leaves
// them, so that a key meant for Run cannot land on quit, and comes back after the run.
void Form1::setRunning(bool running) {
  if (running) {
    focus_before_run_ = focusWidget();
    if (focus_before_run_) {
      focus_before_run_->clearFocus();
    }
  }
  for (QWidget* control :
       {static_cast<QWidget*>(Text1), static_cast<QWidget*>(Text2), static_cast<QWidget*>(Text3),
        static_cast<QWidget*>(Text4), static_cast<QWidget*>(Text5), static_cast<QWidget*>(Command2),
        static_cast<QWidget*>(Command1), static_cast<QWidget*>(Command4)}) {
    control->setEnabled(!running);
  }
  if (!running && focus_before_run_ && !QApplication::activeModalWidget()) {
    focus_before_run_->setFocus();
  }
}

void Form1::run() {
  if (run_) {
    return;  // runs never overlap
  }
  for (auto* done : findChildren<QProgressDialog*>()) {
    done->deleteLater();  // the last run's dialog, telling it was written
  }
  grid::RunOptions options;
  options.decimal_separator = DecimalSeparator(locale());
  options.folder_advice = StartFolderAdvice();
  const QString path = CurrentFolder() + QStringLiteral("/newgrid.txt");
  run_ = new GridRun(this, progress_delay_ms_, path, fieldTexts(), std::move(options));
  connect(run_, &GridRun::finished, this, &Form1::runFinished);
  setRunning(true);
}

void Form1::runFinished() {
  const int number = run_->errorNumber();
  const QString description = run_->errorDescription();
  run_->deleteLater();
  run_ = nullptr;
  setRunning(false);
  if (number != 0 && isVisible()) {
    ShowRunError(this, number, description);
  }
}

void Form1::showHelp() {
  ShowHelp(this);
}

void Form1::showContactInfo() {
  ShowContactInfo(this);
}

void Form1::quit() {
  close();
}

// The close box asks nothing. During a run it cancels the run, which leaves newgrid.txt as it
// was, and the window closes at once; the run stops within a few tens of milliseconds.
void Form1::closeEvent(QCloseEvent* event) {
  if (run_) {
    run_->cancel();
  }
  event->accept();
}

}  // namespace window
