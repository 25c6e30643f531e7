#include "window/qt/application.h"

#include <QAccessibleWidget>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QIcon>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "window/qt/form1.h"
#include "window/shared/command_line.h"
#include "window/shared/texts.h"

namespace window {
namespace {

// The main window is a window to a screen reader (a frame over AT-SPI), as a dialog or a main
// window is; a plain top-level widget would be a "filler", whose title is not announced.
QAccessibleInterface* AccessibleForm1(const QString& class_name, QObject* object) {
  if (class_name == QLatin1String(Form1::staticMetaObject.className()) && object &&
      object->isWidgetType()) {
    return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Window);
  }
  return nullptr;
}

}  // namespace

void DescribeApplication() {
  static const bool accessible = (QAccessible::installFactory(AccessibleForm1), true);
  static_cast<void>(accessible);
  QCoreApplication::setApplicationName(QString::fromLatin1(kApplicationTitle));
  QCoreApplication::setApplicationVersion(QString::fromStdString(Version()));
  QGuiApplication::setDesktopFileName(QStringLiteral("org.example.tessaplan"));
  QGuiApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/org.example.tessaplan.svg")));
  if (QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/LiberationSans-Regular.ttf")) < 0) {
    std::fputs("tessaplan: the built-in font cannot be loaded; captions may not fit\n", stderr);
  }
}

int AnswerWithoutDisplay() {
  for (const char* variable : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
    if (const char* value = std::getenv(variable); value && *value) {
      return -1;
    }
  }
  std::fputs(
      "tessaplan: no display to open the window on; tessaplan-grid writes grids without one\n",
      stderr);
  return 1;
}

int AnswerCommandLine(int argc, char** argv) {
  const CommandLineAnswer answer =
      window::AnswerCommandLine(std::vector<std::string>(argv, argv + argc));
  std::fputs(answer.output.c_str(), stdout);
  std::fputs(answer.error.c_str(), stderr);
  return answer.status;
}

}  // namespace window
