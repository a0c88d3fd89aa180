// The main window under a real window manager, on a virtual X display (see
// under_window_manager.sh): the frame the manager adds is part of the window's starting size, and
// the framed window stands in the middle of the screen; so does the framed About box, wherever the
// window stands.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include "app/Unit1.h"
#include "app/application.h"

namespace {

// How far the middle of `inner` lies from the middle of `outer`, across and down, in half pixels.
QPoint OffCentre(const QRect& inner, const QRect& outer) {
  return {inner.left() + inner.right() - outer.left() - outer.right(),
          inner.top() + inner.bottom() - outer.top() - outer.bottom()};
}

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

  void TheFramedAboutBoxStandsInTheMiddleOfTheScreen() {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) QSKIP("needs an X display with a window manager");
    TForm1 form;
    form.SetDialogs(std::make_unique<TQtDialogs>());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const QRect area = form.screen()->availableGeometry();
    QTRY_VERIFY2(std::abs(OffCentre(form.frameGeometry(), area).x()) <= 2, "the window has taken its place");
    form.move(area.topLeft());
    QTRY_COMPARE(form.frameGeometry().topLeft(), area.topLeft());

    QRect box;
    bool framed = false;
    QTimer::singleShot(0, qApp, [&] {
      QWidget* widget = QApplication::activeModalWidget();
      auto* message = qobject_cast<QMessageBox*>(widget);
      if (message == nullptr) {
        if (widget != nullptr) widget->close();
        return;
      }
      framed = QTest::qWaitForWindowExposed(message) &&
               QTest::qWaitFor([&] { return !message->windowHandle()->frameMargins().isNull(); }, 5000);
      // The manager may report the frame and the place as separate events.
      static_cast<void>(
          QTest::qWaitFor([&] { return std::abs(OffCentre(message->frameGeometry(), area).y()) <= 2; }, 2000));
      box = message->frameGeometry();
      message->button(QMessageBox::Ok)->click();
    });
    form.findChild<QAction*>(QStringLiteral("actAbout"))->trigger();
    QVERIFY2(framed, "the manager framed the box");
    const QPoint off = OffCentre(box, area);
    QVERIFY2(std::abs(off.x()) <= 2 && std::abs(off.y()) <= 2,
             qPrintable(QStringLiteral("the framed box stands at %1, %2 (%3 x %4) on %5 x %6")
                            .arg(box.left()).arg(box.top()).arg(box.width()).arg(box.height())
                            .arg(area.width()).arg(area.height())));
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
