#include "app/application.h"

#include <QLibraryInfo>
#include <QLocale>

#include "app/error_handler.h"
#include "app/window_font.h"

QString ApplicationTitle() { return QCoreApplication::applicationName(); }

void SetApplicationTitle(const QString& title) { QCoreApplication::setApplicationName(title); }

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
  setFont(WindowFont());  // message boxes and dialogs speak in the window's font
  QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
  if (qtTexts_.load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                    QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    installTranslator(&qtTexts_);
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  bool handled = false;
  Guarded([&] { handled = QApplication::notify(receiver, event); });
  return handled;
}
