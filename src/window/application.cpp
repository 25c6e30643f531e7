#include "window/application.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QIcon>
#include <cstdio>
#include <string>
#include <vector>

#include "window/shared/command_line.h"
#include "window/shared/texts.h"

namespace window {

void DescribeApplication() {
  QCoreApplication::setApplicationName(QString::fromLatin1(kApplicationTitle));
  QCoreApplication::setApplicationVersion(QString::fromStdString(Version()));
  QGuiApplication::setDesktopFileName(QStringLiteral("org.example.tessaplan"));
  QGuiApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/org.example.tessaplan.svg")));
  if (QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/LiberationSans-Regular.ttf")) < 0) {
    std::fputs("tessaplan: the built-in font cannot be loaded; captions may not fit\n", stderr);
  }
}

int AnswerCommandLine(int argc, char** argv) {
  const CommandLineAnswer answer =
      window::AnswerCommandLine(std::vector<std::string>(argv, argv + argc));
  std::fputs(answer.output.c_str(), stdout);
  std::fputs(answer.error.c_str(), stderr);
  return answer.status;
}

}  // namespace window
