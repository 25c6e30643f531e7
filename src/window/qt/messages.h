// The message boxes: Help, contact info, the run-time error box and Run's question.
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
// The question Run asks before a grid that differs from the fields, with Write and Go back (the
// default, and Escape's and the close box's): true for Write.
bool AskToWrite(QWidget* parent, const std::string& question);

// The current folder as messages show it.
QString CurrentFolder();

// The program's own texts, which are UTF-8, as Qt holds them.
QString FromUtf8(const std::string& text);

}  // namespace window
