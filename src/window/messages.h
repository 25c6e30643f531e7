// The window's message boxes: Help, contact info and the run-time error box.
#pragma once

#include <QString>

class QWidget;

namespace window {

// The caption of every message box.
inline constexpr const char* kApplicationTitle = "tessaplan";

// Names the application and its version, "1.00", for the rest of the program.
void DescribeApplication();

QString HelpText();
QString ContactText();

// Modal boxes captioned with the application title and a single OK button; they return when the
// user presses it.
void ShowMessage(QWidget* parent, const QString& text);
void ShowRunError(QWidget* parent, int number, const QString& description);

}  // namespace window
