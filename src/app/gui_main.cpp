// The desktop program. The main window arrives with the window work; until
// then this opens an empty window so the build has its second binary.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget window;
  window.setWindowTitle("Dialsift");
  window.show();
  return app.exec();
}
