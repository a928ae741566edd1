// The desktop program: the main window, started and left to the user.
#include <QApplication>

#include "ui/form1.h"
#include "ui/qt_user_interface.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  dialsift::ui::QtUserInterface ui;
  dialsift::ui::Form1 form(ui, QCoreApplication::applicationDirPath().toStdString());
  ui.SetOwner(&form);
  form.Load();
  form.show();
  return QApplication::exec();
}
