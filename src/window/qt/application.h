// The program as the desktop knows it: its name, version, desktop entry, icon and built-in font,
// and its command line.
#pragma once

namespace window {

// Names the application, its version and its desktop entry, registers the font the window is
// drawn in (built into the program), sets the icon of every window and makes the main window a
// window to screen readers. Needs the QApplication.
void DescribeApplication();

// Answers --help and --version, and refuses anything else on the command line, before any window
// or display is needed. Returns the exit status when the program is to end now, or -1.
int AnswerCommandLine(int argc, char** argv);

// Where the session names no display to open the window on and no Qt platform is chosen (as
// over ssh, or in a service), says so in one line and returns the exit status, 1; -1 where
// there is one. Qt itself would abort with a page of advice about reinstalling.
int AnswerWithoutDisplay();

}  // namespace window
