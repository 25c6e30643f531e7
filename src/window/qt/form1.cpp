#include "window/qt/form1.h"

#include <QAccessible>
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

#include "window/qt/messages.h"
#include "window/shared/progress_rule.h"
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

// The dialog is as large as the longest text it will show, and no one resizes it: it keeps its
// size and its place over the window as its text changes.
void SetText(QProgressDialog* dialog, const QString& text, const QString& widest) {
  if (dialog->property("sized_for").toString() != widest) {
    dialog->setProperty("sized_for", widest);
    dialog->setLabelText(widest);
    dialog->setFixedSize(dialog->sizeHint());
  }
  dialog->setLabelText(text);
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
  MakeControls(dpi, scale);
  for (std::size_t i = 1; i < std::size(kTabOrder); ++i) {
    QWidget::setTabOrder(ControlWidget(kTabOrder[i - 1]), ControlWidget(kTabOrder[i]));
  }
  ControlWidget(kTabOrder[0])->setFocus();
  DescribeRun();
  ConnectControls();
}

Form1::~Form1() = default;

// Each control of the design, placed for `dpi` and the desktop's font `scale`.
void Form1::MakeControls(qreal dpi, qreal scale) {
  auto* press_on_enter = new PressOnEnter(this);
  QLabel* caption = nullptr;
  for (const ControlDesign& design : kControls) {
    QWidget* widget = nullptr;
    const QString text = QString::fromLatin1(design.caption);
    switch (design.kind) {
      case ControlKind::label: {
        auto* label = new QLabel(text, this);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setWordWrap(design.wraps);
        caption = label;
        widget = label;
        break;
      }
      case ControlKind::field: {
        auto* field = new QLineEdit(this);
        field->setMaxLength(std::numeric_limits<int>::max());  // a long paste is kept whole
        caption->setBuddy(field);  // a screen reader names the field by its caption
        widget = field;
        break;
      }
      case ControlKind::button: {
        auto* button = new QPushButton(text, this);
        button->setAutoDefault(false);  // no default button: Enter in a field presses nothing
        button->installEventFilter(press_on_enter);
        widget = button;
        break;
      }
    }
    widget->setObjectName(QLatin1String(design.name));
    widget->setGeometry(ToPixels(design.twips, dpi, scale));
    controls_[static_cast<std::size_t>(design.control)] = widget;
  }
}

void Form1::ConnectControls() {
  for (const grid::FieldDescription& field : grid::kFieldTable) {
    connect(static_cast<QLineEdit*>(ControlWidget(FieldControl(field.field))),
            &QLineEdit::textChanged, this, &Form1::DescribeRun);
  }
  const auto on_click = [this](Control button, void (Form1::*action)()) {
    connect(static_cast<QPushButton*>(ControlWidget(button)), &QPushButton::clicked, this, action);
  };
  on_click(Control::Command2, &Form1::Run);
  on_click(Control::Command1, &Form1::ShowHelp);
  on_click(Control::Command4, &Form1::ShowContactInfo);
  on_click(Control::Command3, &Form1::Quit);
  connect(&ticker_, &QTimer::timeout, this, [this] { controller_.Tick(); });
}

void Form1::Run() {
  controller_.Run(TypedTexts(), DecimalSeparator(locale()));
}

grid::FieldTexts Form1::TypedTexts() const {
  return ReadFields([this](Control field) {
    return static_cast<QLineEdit*>(ControlWidget(field))->text().toStdString();
  });
}

// What Run will write and where, for the eye and for a screen reader, kept up to date as the
// fields change; nothing else in the window changes as the user types. The program never
// changes its folder.
void Form1::DescribeRun() {
  const QString group = locale().numberOptions().testFlag(QLocale::OmitGroupSeparator)
                            ? QString()
                            : locale().groupSeparator();
  const QString writes =
      FromUtf8(controller_.Describe(TypedTexts(), DecimalSeparator(locale()),
                                    CurrentFolder().toStdString(), group.toStdString()));
  ControlWidget(Control::Command2)->setToolTip(writes);
  ControlWidget(Control::Command2)->setAccessibleDescription(writes);
}

void Form1::WakeOnWindowThread() {
  // Dropped if the window is gone by then.
  QMetaObject::invokeMethod(
      this, [this] { controller_.Finished(); }, Qt::QueuedConnection);
}

void Form1::SetEnabled(Control which, bool enabled) {
  ControlWidget(which)->setEnabled(enabled);
}

std::optional<Control> Form1::FocusedControl() const {
  const QWidget* focused = focusWidget();
  for (const ControlDesign& design : kControls) {
    if (focused && ControlWidget(design.control) == focused) {
      return design.control;
    }
  }
  return std::nullopt;
}

void Form1::ClearFocus() {
  if (QWidget* focused = focusWidget()) {
    focused->clearFocus();
  }
}

// Not while a box is open over the window: the box keeps it.
void Form1::Focus(Control which, bool select_text) {
  if (QApplication::activeModalWidget()) {
    return;
  }
  ControlWidget(which)->setFocus();
  if (auto* edit = qobject_cast<QLineEdit*>(ControlWidget(which)); edit && select_text) {
    edit->selectAll();
  }
}

void Form1::StartTicker() {
  ticker_.start(kProgressTickMs);
}

void Form1::StopTicker() {
  ticker_.stop();
}

bool Form1::WindowShown() const {
  return isVisible();
}

void Form1::ShowError(const std::string& text) {
  ShowRunError(this, text);
}

bool Form1::AskToWrite(const std::string& question) {
  return window::AskToWrite(this, question);
}

// Not modal: the window's close box must still reach the window, which keeps input away from its
// own controls while the run is under way.
void Form1::ShowDialog(const ProgressDialogState& state) {
  if (!state.shown) {
    if (dialog_) {
      // Cancel may come from the dialog's own button: it goes once that click is handled.
      dialog_->hide();
      dialog_->deleteLater();
    }
    return;
  }
  if (!dialog_) {
    dialog_ = new QProgressDialog(QString(), QString(), 0, kProgressSteps, this);
    dialog_->setWindowTitle(QString::fromLatin1(kApplicationTitle));
    dialog_->setFont(font());
    dialog_->setAutoClose(false);
    dialog_->setAutoReset(false);
    dialog_->setCancelButton(new QPushButton(dialog_));
    connect(dialog_, &QProgressDialog::canceled, this, [this] { controller_.Cancel(); });
    // Escape reaches the dialog's reject() where its own shortcut does not take it: the same.
    connect(dialog_, &QDialog::rejected, this, [this] { controller_.Cancel(); });
  }
  dialog_->findChild<QPushButton*>()->setText(FromUtf8(state.button));
  SetText(dialog_, FromUtf8(state.text), FromUtf8(state.widest));
  dialog_->setValue(state.steps);
  if (!dialog_->isVisible()) {
    dialog_->show();  // once its size is set, so that it stays where it appears
  }
}

// The dialog says the grid is written and stays until the user closes it: a state no one takes
// for a cancel, whose button takes the focus so that a screen reader announces it and the text.
void Form1::AnnounceDone() {
  dialog_->findChild<QPushButton*>()->setFocus();
  if (auto* label = dialog_->findChild<QLabel*>()) {
    QAccessibleEvent written(label, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&written);
  }
  QAccessibleEvent alert(dialog_, QAccessible::Alert);
  QAccessible::updateAccessibility(&alert);
}

void Form1::ShowHelp() {
  window::ShowHelp(this);
}

void Form1::ShowContactInfo() {
  window::ShowContactInfo(this);
}

void Form1::Quit() {
  close();
}

// The close box asks nothing. During a run it cancels the run, which leaves newgrid.txt as it
// was, and the window closes at once; the run stops within a few tens of milliseconds.
void Form1::closeEvent(QCloseEvent* event) {
  controller_.Cancel();
  event->accept();
}

}  // namespace window
