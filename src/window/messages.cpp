#include "window/messages.h"

#include <QCoreApplication>
#include <QMessageBox>

namespace window {

void DescribeApplication() {
  QCoreApplication::setApplicationName(QString::fromLatin1(kApplicationTitle));
  QCoreApplication::setApplicationVersion(QStringLiteral(TESSAPLAN_VERSION));
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
