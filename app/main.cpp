// Program entry: the application, its title, the main window and the message loop.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QApplication::setApplicationDisplayName(QString());
  QMainWindow window;
  window.setWindowTitle(QStringLiteral("ルフレミナ"));
  window.resize(674, 509);
  window.show();
  return application.exec();
}
