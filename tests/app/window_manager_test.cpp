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
    // The manager reports the new size and the move back to the middle as separate events.
    const QRect area = form.screen()->availableGeometry();
    auto gapsAcross = [&] { return form.frameGeometry().left() - area.left() - (area.right() - form.frameGeometry().right()); };
    auto gapsDown = [&] { return form.frameGeometry().top() - area.top() - (area.bottom() - form.frameGeometry().bottom()); };
    QTRY_VERIFY2(std::abs(gapsAcross()) <= 1, "centred across");
    QTRY_VERIFY2(std::abs(gapsDown()) <= 1, "centred down");
    QCOMPARE(form.frameGeometry().size(), QSize(674, 509));

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
