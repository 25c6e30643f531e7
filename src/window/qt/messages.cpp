#include "window/qt/messages.h"

#include <QMessageBox>
#include <QPushButton>

#include "file/shown_text.h"
#include "window/shared/texts.h"

namespace window {
QString FromUtf8(const std::string& text) {
  return QString::fromStdString(text);
}

namespace {

// Every box: captioned with the application's title, its text selectable, in the window's font.
void SetUpBox(QMessageBox& box, QWidget* parent, Qt::TextFormat format) {
  box.setWindowTitle(QString::fromLatin1(kApplicationTitle));
  box.setTextFormat(format);  // plain text: the texts hold quotes and '<' from user input
  box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  if (parent) {
    box.setFont(parent->font());  // a box looks like the window it belongs to
  }
}

void ShowBox(QWidget* parent, QMessageBox::Icon icon, const QString& text,
             Qt::TextFormat format = Qt::PlainText) {
  QMessageBox box(icon, {}, text, QMessageBox::Ok, parent);
  SetUpBox(box, parent, format);
  box.exec();
}

}  // namespace

QString CurrentFolder() {
  return FromUtf8(file::ShownCurrentFolder());
}

void ShowHelp(QWidget* parent) {
  ShowBox(parent, QMessageBox::NoIcon, FromUtf8(HelpText(file::ShownCurrentFolder())));
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

bool AskToWrite(QWidget* parent, const std::string& question) {
  QMessageBox box(QMessageBox::Warning, {}, FromUtf8(question), QMessageBox::NoButton, parent);
  SetUpBox(box, parent, Qt::PlainText);
  const QPushButton* write = box.addButton(FromUtf8(kWriteCaption), QMessageBox::AcceptRole);
  QPushButton* back = box.addButton(FromUtf8(kGoBackCaption), QMessageBox::RejectRole);
  box.setDefaultButton(back);  // Enter twice loses nothing
  box.setEscapeButton(back);   // and so Escape and the close box
  box.exec();
  return box.clickedButton() == write;
}

}  // namespace window
