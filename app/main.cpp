// Program entry: the application and its title, the main window with the picture the command line
// names, and the message loop until the main window closes.
#include "app/Unit1.h"
#include "app/application.h"
#include "app/messages.h"

#include <QDirIterator>
#include <QIcon>

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
  SetApplicationTitle(QString::fromUtf8(SApplicationTitle));
  // The desktop matches the window to its menu entry by this name, and shows the icon with it.
  TApplication::setDesktopFileName(QStringLiteral(RFL_APP_ID));
  TApplication::setWindowIcon(ProgramIcon());
  TForm1 form;
  form.show();
  // Qt has taken its own options out of the arguments by now.
  form.OpenFromCommandLine(TApplication::arguments());
  return TApplication::exec();
}
