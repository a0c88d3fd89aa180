// Program entry: the application and its title, the main window, and the message loop until the
// main window closes.
#include "app/Unit1.h"
#include "app/application.h"
#include "app/window_font.h"

#include <QDirIterator>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace {

// Every size of the icon that the program carries, so that the desktop picks a sharp one.
QIcon ProgramIcon() {
  QIcon icon;
  for (QDirIterator it(QStringLiteral(":/icons"), {QStringLiteral("*.png")}, QDir::Files, QDirIterator::Subdirectories);
       it.hasNext();)
    icon.addFile(it.next());
  return icon;
}

}  // namespace

int main(int argc, char* argv[]) {
  TApplication application(argc, argv);
  SetApplicationTitle(QStringLiteral("ルフレミナ"));
  // The desktop matches the window to its menu entry by this name, and shows the icon with it.
  TApplication::setDesktopFileName(QStringLiteral(RFL_APP_ID));
  TApplication::setWindowIcon(ProgramIcon());
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
