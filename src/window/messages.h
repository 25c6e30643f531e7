// The message boxes: Help, contact info and the run-time error box.
#pragma once

#include <QString>

class QWidget;

namespace window {

// Modal boxes captioned with the application title and a single OK button, in the font of
// `parent`, their text selectable with the mouse and the keyboard; they return when the user
// presses OK.
void ShowHelp(QWidget* parent);
void ShowContactInfo(QWidget* parent);
void ShowRunError(QWidget* parent, int number, const QString& description);

// The current folder as messages show it.
QString CurrentFolder();

}  // namespace window
