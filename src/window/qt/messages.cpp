#include "window/qt/messages.h"

#include <QMessageBox>

#include "grid/shown_text.h"
#include "window/shared/texts.h"

namespace window {
QString FromUtf8(const std::string& text) {
  return QString::fromStdString(text);
}

namespace {

void ShowBox(QWidget* parent, QMessageBox::Icon icon, const QString& text,
             Qt::TextFormat format = Qt::PlainText) {
  QMessageBox box(icon, QString::fromLatin1(kApplicationTitle), text, QMessageBox::Ok, parent);
  box.setTextFormat(format);  // plain text: the texts hold quotes and '<' from user input
  box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  if (parent) {
    box.setFont(parent->font());  // a box looks like the window it belongs to
  }
  box.exec();
}

}  // namespace

QString CurrentFolder() {
  return FromUtf8(grid::ShownCurrentFolder());
}

void ShowHelp(QWidget* parent) {
  ShowBox(parent, QMessageBox::NoIcon, FromUtf8(HelpText(grid::ShownCurrentFolder())));
}

// The web address is kept on one line: a line broken after "https://" reads as two things.
void ShowContactInfo(QWidget* parent) {
  const QString text = FromUtf8(ContactText());
  const QString address = FromUtf8(ContactAddress());
  const QString before = text.left(text.size() - address.size());
  ShowBox(parent, QMessageBox::NoIcon,
          before.toHtmlEscaped() + QStringLiteral("<span style=\"white-space:nowrap\">") +
              address.toHtmlEscaped() + QStringLiteral("</span>"),
          Qt::RichText);
}

void ShowRunError(QWidget* parent, const std::string& text) {
  ShowBox(parent, QMessageBox::Critical, FromUtf8(text));
}

}  // namespace window
