// Program entry: the application and its title, the main window, and the message loop until the
// main window closes.
#include "app/Unit1.h"
#include "app/application.h"
#include "app/window_font.h"

int main(int argc, char* argv[]) {
  TApplication application(argc, argv);
  SetApplicationTitle(QStringLiteral("ルフレミナ"));
  TApplication::setFont(WindowFont());  // message boxes and dialogs speak in the window's font
  TForm1 form;
  form.show();
  return TApplication::exec();
}
