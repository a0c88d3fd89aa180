// The main window under a real window manager, on a virtual X display (see
// under_window_manager.sh): the frame the manager adds is part of the window's starting size, and
// the framed window stands in the middle of the screen.
#include <QScreen>
#include <QTest>
#include <QWindow>

#include "app/Unit1.h"
#include "app/application.h"

namespace {

class TWindowManagerTest : public QObject {
  Q_OBJECT
 private slots:
  void TheFramedWindowTakesTheStartingSizeInTheMiddle() {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) QSKIP("needs an X display with a window manager");
    TForm1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QTRY_VERIFY2(!form.windowHandle()->frameMargins().isNull(), "the manager framed the window");
    QTRY_COMPARE(form.frameGeometry().size(), QSize(674, 509));
    const QRect area = form.screen()->availableGeometry();
    const QRect frame = form.frameGeometry();
    QVERIFY2(std::abs(frame.left() - area.left() - (area.right() - frame.right())) <= 1, "centred across");
    QVERIFY2(std::abs(frame.top() - area.top() - (area.bottom() - frame.bottom())) <= 1, "centred down");

    // A size the user gives afterwards stays.
    form.resize(700, 520);
    QTRY_COMPARE(form.size(), QSize(700, 520));
    QTest::qWait(200);
    QCOMPARE(form.size(), QSize(700, 520));
  }
};

}  // namespace

int main(int argc, char* argv[]) {
  TApplication application(argc, argv);
  SetApplicationTitle(QStringLiteral("ルフレミナ"));
  TWindowManagerTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "window_manager_test.moc"
