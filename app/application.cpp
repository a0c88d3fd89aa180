#include "app/application.h"

#include "app/error_handler.h"

QString ApplicationTitle() { return QCoreApplication::applicationName(); }

void SetApplicationTitle(const QString& title) { QCoreApplication::setApplicationName(title); }

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  bool handled = false;
  Guarded([&] { handled = QApplication::notify(receiver, event); });
  return handled;
}
