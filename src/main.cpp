#include <QApplication>

#include "window/form1.h"
#include "window/messages.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  window::DescribeApplication();
  window::Form1 form;
  form.show();
  return QApplication::exec();
}
