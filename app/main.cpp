// Program entry: the application and its title, the main window, and the message loop until the
// main window closes.
#include "app/Unit1.h"
#include "app/application.h"
#include "app/window_font.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

int main(int argc, char* argv[]) {
  TApplication application(argc, argv);
  SetApplicationTitle(QStringLiteral("ルフレミナ"));
  TApplication::setFont(WindowFont());  // message boxes and dialogs speak in the window's font
  // Qt's own texts (file dialogs, message-box buttons, context menus of text fields) in Japanese,
  // so that the whole window speaks one language whatever the desktop's locale.
  QTranslator qtTexts;
  if (qtTexts.load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"), QStringLiteral("_"),
                   QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    TApplication::installTranslator(&qtTexts);
  TForm1 form;
  form.show();
  return TApplication::exec();
}
