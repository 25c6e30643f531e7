// The message boxes: Help, contact info and the run-time error box.
#pragma once

#include <QString>
#include <string>

class QWidget;

namespace window {

// Modal boxes captioned with the application title and a single OK button, in the font of
// `parent`, their text selectable with the mouse and the keyboard; they return when the user
// presses OK.
void ShowHelp(QWidget* parent);
void ShowContactInfo(QWidget* parent);
// `text` as the run that failed tells it (shared/run.h).
void ShowRunError(QWidget* parent, const std::string& text);

// The current folder as messages show it.
QString CurrentFolder();

// The program's own texts, which are UTF-8, as Qt holds them.
QString FromUtf8(const std::string& text);

}  // namespace window
