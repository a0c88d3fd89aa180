// Runs every window test suite inside the program's own application object, so that errors that
// escape a handler meet the same general error handler as in the program.
#include <QTest>

#include "app/application.h"
#include "tests/app/suites.h"
#include "tests/support/temp_dir.h"

int main(int argc, char* argv[]) {
  // Qt's file dialog keeps its column widths and last folders in the user's settings; the tests
  // start from none and leave none behind.
  const TempDir settings;
  qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(settings.Path().string()));
  TApplication application(argc, argv);
  SetApplicationTitle(QStringLiteral("ルフレミナ"));
  int failures = 0;
  for (auto make : {MakeOutputAreaTests, MakeErrorHandlerTests, MakeWindowTests, MakeFileCommandTests,
                    MakeQtDialogTests}) {
    const std::unique_ptr<QObject> suite = make();
    failures += QTest::qExec(suite.get(), argc, argv);
  }
  return failures == 0 ? 0 : 1;
}
