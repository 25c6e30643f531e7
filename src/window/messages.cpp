#include "window/messages.h"

#include <QCommandLineParser>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QIcon>
#include <QMessageBox>
#include <QStringList>
#include <cstdio>

namespace window {

void DescribeApplication() {
  QCoreApplication::setApplicationName(QString::fromLatin1(kApplicationTitle));
  QCoreApplication::setApplicationVersion(QStringLiteral(TESSAPLAN_VERSION));
  QGuiApplication::setDesktopFileName(QStringLiteral("org.example.tessaplan"));
  QGuiApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/org.example.tessaplan.svg")));
  if (QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/LiberationSans-Regular.ttf")) < 0) {
    std::fputs("tessaplan: the built-in font cannot be loaded; captions may not fit\n", stderr);
  }
}

int AnswerCommandLine(int argc, char** argv) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) {
    arguments << QString::fromLocal8Bit(argv[i]);
  }
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral(
      "Writes a regular, square grid of points to newgrid.txt in the current folder.\n"
      "The extent and the spacing are typed into its window; there is no other command line."));
  const QCommandLineOption help = parser.addHelpOption();
  const QCommandLineOption version = parser.addVersionOption();
  if (!parser.parse(arguments)) {
    std::fprintf(stderr, "tessaplan: %s (see tessaplan --help)\n", qPrintable(parser.errorText()));
    return 2;
  }
  if (!parser.positionalArguments().isEmpty()) {
    std::fprintf(stderr, "tessaplan: takes no arguments, not '%s' (see tessaplan --help)\n",
                 qPrintable(parser.positionalArguments().front()));
    return 2;
  }
  if (parser.isSet(help)) {
    std::printf("Usage: tessaplan [--help] [--version]\n\n%s\n",
                qPrintable(parser.applicationDescription()));
    return 0;
  }
  if (parser.isSet(version)) {
    std::printf("tessaplan %s\n", TESSAPLAN_VERSION);
    return 0;
  }
  return -1;
}

QString HelpText() {
  return QStringLiteral(
      "This code will generate a regularly spaced point grid that is based on the user's inputs: "
      "min/max x,y values and the grid spacing. It is designed to generate the grid based upon "
      "UTM or State Plane coordinates.  If tried with latitude/longitude, the grid will not be "
      "regular (lat/long is a spherical coordinate system and the distance between degrees "
      "varies depending on the position on the globe).  As a quick example, you might need a "
      "200m grid of points over a certain area of the world.  First, get the min/max UTM "
      "coordinates for that area, type them into the text boxes on the main form, type in '200' "
      "as the spacing, and hit 'run'.  The output will be a text file containing all your points "
      "(x,y, and a unique identifier).  This file is named 'newgrid.txt' and can be found in the "
      "same subdirectory as this code. This code compiled on 4 September, 2002.");
}

QString ContactText() {
  return QStringLiteral(
      "For more information, contact the tessaplan developers at tessaplan@example.org or "
      "https://www.example.org/tessaplan");
}

namespace {

void ShowBox(QWidget* parent, QMessageBox::Icon icon, const QString& text) {
  QMessageBox box(icon, QString::fromLatin1(kApplicationTitle), text, QMessageBox::Ok, parent);
  box.setTextFormat(Qt::PlainText);  // the texts hold quotes and '<' from user input
  if (parent) {
    box.setFont(parent->font());  // a box looks like the window it belongs to
  }
  box.exec();
}

}  // namespace

void ShowMessage(QWidget* parent, const QString& text) {
  ShowBox(parent, QMessageBox::NoIcon, text);
}

void ShowRunError(QWidget* parent, int number, const QString& description) {
  ShowBox(parent, QMessageBox::Critical,
          QStringLiteral("Run-time error %1:\n\n%2").arg(number).arg(description));
}

}  // namespace window
