#include <QApplication>
#include <csignal>

#include "window/qt/application.h"
#include "window/qt/form1.h"
#include "window/qt/stop_signals.h"

int main(int argc, char* argv[]) {
  // A file size limit makes the write fail with "File too large" rather than kill the program,
  // and a closed standard output or error must not kill it either.
  std::signal(SIGXFSZ, SIG_IGN);
  std::signal(SIGPIPE, SIG_IGN);
  if (const int status = window::AnswerCommandLine(argc, argv); status >= 0) {
    return status;  // --help or --version, answered without a display
  }
  if (const int status = window::AnswerWithoutDisplay(); status >= 0) {
    return status;
  }
  QApplication app(argc, argv);
  window::DescribeApplication();
  window::Form1 form;
  window::CloseOnStopSignals(&form);
  form.show();
  return QApplication::exec();
}
