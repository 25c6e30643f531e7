// What the program says: its name and command line, Help, contact info and the run-time error
// box.
#pragma once

#include <QString>

class QWidget;

namespace window {

// The caption of every message box.
inline constexpr const char* kApplicationTitle = "tessaplan";

// Names the application, its version "1.00" and its desktop entry, registers the font the window
// is drawn in (built into the program) and sets the icon of every window. Needs the QApplication.
void DescribeApplication();

// Answers --help and --version, and refuses anything else on the command line, before any window
// or display is needed. Returns the exit status when the program is to end now, or -1.
int AnswerCommandLine(int argc, char** argv);

QString HelpText();
QString ContactText();

// Modal boxes captioned with the application title and a single OK button; they return when the
// user presses it.
void ShowMessage(QWidget* parent, const QString& text);
void ShowRunError(QWidget* parent, int number, const QString& description);

}  // namespace window
