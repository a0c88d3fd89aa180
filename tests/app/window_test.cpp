// The real main window on the offscreen platform: start-up, hints, menus, sliders, commands, the
// output area's painting and size drag, and errors raised inside handlers.
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>

#include "app/Unit1.h"
#include "app/application.h"
#include "app/messages.h"
#include "app/hints.h"
#include "app/track_bar.h"
#include "tests/app/form_controls.h"
#include "tests/app/recording_dialogs.h"
#include "tests/app/suites.h"
#include "tests/support/pixel_checks.h"
#include "toolkit/errors.h"

namespace {

TBGRA Pixel(const TBitmap& image, int x, int y) { return reinterpret_cast<const TBGRA*>(image.ScanLine(y))[x]; }

// Counts the paints of one widget.
class TPaintCounter : public QObject {
 public:
  explicit TPaintCounter(QWidget* widget) { widget->installEventFilter(this); }
  int Count = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++Count;
    return false;
  }
};

// The menu's items as text: "-" for a separator, "hidden:" before an item that is not shown.
QStringList Items(const QMenu* menu) {
  QStringList items;
  for (const QAction* a : menu->actions()) {
    items << (a->isSeparator() ? QStringLiteral("-") : (a->isVisible() ? QString() : QStringLiteral("hidden:")) + a->text());
  }
  return items;
}

QMenu* MenuOf(QMenuBar* bar, const QString& title) {
  for (QAction* a : bar->actions()) {
    if (a->text() == title) return a->menu();
  }
  return nullptr;
}

QRect HandleRect(const QSlider* slider) {
  QStyleOptionSlider option;
  option.initFrom(slider);
  option.orientation = slider->orientation();
  option.state |= QStyle::State_Horizontal;
  option.minimum = slider->minimum();
  option.maximum = slider->maximum();
  option.sliderPosition = slider->sliderPosition();
  option.sliderValue = slider->value();
  option.singleStep = slider->singleStep();
  option.pageStep = slider->pageStep();
  option.tickPosition = slider->tickPosition();
  option.tickInterval = slider->tickInterval();
  return slider->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider);
}

class TWindowTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TForm1> form;
  std::unique_ptr<TForm1Controls> ui;
  TRecordingDialogs* dialogs = nullptr;

  int Renders() const { return TForm1TestSeam::PreviewRenders(*form); }

  // Opens `menu` as the user would and clicks `item` in it.
  void ChooseFromMenu(QMenu* menu, QAction* item) {
    if (QAction* title = menu->menuAction(); ui->MainMenu1->actions().contains(title)) {
      QTest::mouseClick(ui->MainMenu1, Qt::LeftButton, {}, ui->MainMenu1->actionGeometry(title).center());
    } else {
      menu->popup(form->mapToGlobal(QPoint(100, 100)));
    }
    QVERIFY(QTest::qWaitForWindowExposed(menu));
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
    QTRY_VERIFY(!menu->isVisible());
  }

  // Makes the output area (left of the control column, above the status bar) this wide.
  void SetOutputAreaWidth(int width) {
    form->resize(form->width() + width + ui->ScrollBox1->width() - ui->ClientArea->width(), form->height());
    QTRY_COMPARE(ui->ClientArea->width() - ui->ScrollBox1->width(), width);
  }

  int MidY() const {
    const TRect r = form->OutputRect();
    return (r.Top + r.Bottom) / 2;
  }

 private slots:
  void init() {
    form = std::make_unique<TForm1>();
    ui = std::make_unique<TForm1Controls>(*form);
    auto recording = std::make_unique<TRecordingDialogs>();
    dialogs = recording.get();
    form->SetDialogs(std::move(recording));
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
  }

  void cleanup() {
    ui.reset();
    form.reset();
  }

  void StartsWithTheWhiteSquareAndItsReflection() {
    QCOMPARE(form->windowTitle(), QStringLiteral("ルフレミナ"));
    QCOMPARE(Hint(ui->actExit), QStringLiteral("|ルフレミナを終了します。"));
    QCOMPARE(Hint(ui->actAbout), QStringLiteral("|ルフレミナのバージョン情報を表示します。"));
    QVERIFY(ui->StatusBar1->currentMessage().isEmpty());

    QCOMPARE(form->State().SourceImage.Width(), 1);
    QCOMPARE(Pixel(form->State().SourceImage, 0, 0), (TBGRA{255, 255, 255, 255}));
    const TBitmap& out = form->State().OutputImage;
    QCOMPARE(out.PixelFormat(), pf32bit);
    QCOMPARE(out.Width(), 256);
    QCOMPARE(out.Height(), 256);
    QCOMPARE(Pixel(out, 128, 80), (TBGRA{255, 255, 255, 255}));  // the picture
    const TBGRA reflection = Pixel(out, 128, 140);                // fading below the floor line
    QVERIFY(reflection.Alpha > 0 && reflection.Alpha < 255);
    // The reflection keeps the picture's colour and carries its fade in alpha, as in the rendering.
    QCOMPARE(reflection, (TBGRA{255, 255, 255, reflection.Alpha}));
    QCOMPARE(Pixel(out, 10, 10), TBGRA{});
    QCOMPARE(Pixel(out, 128, 250), TBGRA{});
    QVERIFY(form->State().Scene.GradientEnabled);
    QVERIFY(ui->actGradient->isChecked());
    QCOMPARE(form->State().Scene.CameraDistance, 96);
    QCOMPARE(Renders(), 1);

    struct Row {
      TTrackBar* slider;
      int minimum, maximum, position;
    };
    for (const Row& row : {Row{ui->trcCameraZ, 1, 10, 3}, Row{ui->trcCameraY, -5, 5, 0}, Row{ui->trcYaw, -5, 5, 0},
                           Row{ui->trcOpacity, 0, 10, 8}, Row{ui->trcLength, 0, 10, 7},
                           Row{ui->trcMargin, 0, 10, 0}}) {
      QCOMPARE(row.slider->minimum(), row.minimum);
      QCOMPARE(row.slider->maximum(), row.maximum);
      QCOMPARE(row.slider->Position(), row.position);
    }
  }

  void CaptionAndHintsFollowTheApplicationTitle() {
    SetApplicationTitle(QStringLiteral("別名"));
    TForm1 other;
    SetApplicationTitle(QStringLiteral("ルフレミナ"));
    QCOMPARE(other.windowTitle(), QStringLiteral("別名"));
    const TForm1Controls otherUi(other);
    QCOMPARE(Hint(otherUi.actExit), QStringLiteral("|別名を終了します。"));
    QCOMPARE(Hint(otherUi.actAbout), QStringLiteral("|別名のバージョン情報を表示します。"));
  }

  void StatusBarShowsTheHintUnderThePointer() {
    const QString windowHint = QStringLiteral("出力画像の縁をドラッグすることで出力サイズを変更できます。");
    QTest::mouseMove(ui->ClientArea, QPoint(20, 20));
    QTRY_COMPARE(ui->StatusBar1->currentMessage(), windowHint);
    QTest::mouseMove(ui->trcYaw, ui->trcYaw->rect().center());
    QTRY_COMPARE(ui->StatusBar1->currentMessage(), QStringLiteral("画像の傾きを調節します。"));
    // A group box has no hint of its own, and the control column's blank hint stops the window's.
    QTest::mouseMove(ui->GroupBox2, QPoint(ui->GroupBox2->width() - 4, 30));
    QTRY_VERIFY(ui->StatusBar1->currentMessage().isEmpty());
    QTest::mouseMove(ui->Button1, ui->Button1->rect().center());
    QTRY_COMPARE(ui->StatusBar1->currentMessage(), QStringLiteral("出力用のレンダリングをプレビューします。"));
    QTest::mouseMove(ui->ClientArea, QPoint(20, 20));
    QTRY_COMPARE(ui->StatusBar1->currentMessage(), windowHint);

    // Leaving the window from a slider delivers leave events up the whole chain of its parents;
    // the status bar keeps the slider's hint instead of showing the output area's.
    QTest::mouseMove(ui->trcYaw, ui->trcYaw->rect().center());
    QTRY_COMPARE(ui->StatusBar1->currentMessage(), QStringLiteral("画像の傾きを調節します。"));
    QCursor::setPos(form->mapToGlobal(QPoint(-500, -500)));
    for (QWidget* w = ui->trcYaw; w; w = w->parentWidget()) {
      QEvent leave(QEvent::Leave);
      QCoreApplication::sendEvent(w, &leave);
    }
    QCOMPARE(ui->StatusBar1->currentMessage(), QStringLiteral("画像の傾きを調節します。"));
    QTest::mouseMove(ui->ClientArea, QPoint(20, 20));
    QTRY_COMPARE(ui->StatusBar1->currentMessage(), windowHint);

    // A highlighted menu item shows its command's hint; the menu closing blanks it.
    QMenu* menu = ui->PopupMenu1;
    menu->popup(form->mapToGlobal(QPoint(50, 50)));
    QVERIFY(QTest::qWaitForWindowExposed(menu));
    QTest::mouseMove(menu, menu->actionGeometry(ui->actResetYaw).center());
    QTRY_COMPARE(ui->StatusBar1->currentMessage(), QStringLiteral("画像の傾きを0に戻します。"));
    menu->hide();
    QTRY_VERIFY(ui->StatusBar1->currentMessage().isEmpty());
  }

  void MenusListTheirCommands() {
    const QString site = QString::fromUtf8(AuthorSiteName);
    QMenuBar* bar = ui->MainMenu1;
    QCOMPARE(bar->actions().size(), 4);
    QCOMPARE(Items(MenuOf(bar, QStringLiteral("ファイル(&F)"))),
             (QStringList{"画像を読み込む(&O)...", "貼り付け(&V)", "-", "終了(&X)"}));
    QCOMPARE(Items(MenuOf(bar, QStringLiteral("出力(&E)"))),
             (QStringList{"レンダリング(&R)", "-", "BMP形式で書き出し(&B)...", "hidden:アルファ付きBMP形式で書き出し(&A)...",
                          "PNG形式で書き出し(&P)...", "-", "クリップボードにコピー(&C)",
                          "hidden:アルファ付きでクリップボードにコピー(&O)"}));
    QCOMPARE(Items(MenuOf(bar, QStringLiteral("設定(&C)"))), (QStringList{"グラデーション(&G)", "傾きをリセット(&R)"}));
    QMenu* help = MenuOf(bar, QStringLiteral("ヘルプ(&H)"));
    QCOMPARE(Items(help), (QStringList{"バージョン情報(&A)...", "&" + site + " ホームページ"}));
    QCOMPARE(Items(ui->PopupMenu1),
             (QStringList{"画像を読み込む(&O)...", "貼り付け(&V)", "-", "グラデーション(&G)", "傾きをリセット(&R)", "-", "レンダリング(&R)", "-",
                          "BMP形式で書き出し(&B)...", "hidden:アルファ付きBMP形式で書き出し(&A)...", "-",
                          "クリップボードにコピー(&C)"}));
    QCOMPARE(ui->actWebsite->text(), "&" + site + "へ");
    QCOMPARE(ui->Button1->text(), QStringLiteral("レンダリング(&R)"));
    QCOMPARE(ui->actOpen->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
    QCOMPARE(ui->actCopy->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_C));
    QCOMPARE(ui->actPaste->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_V));
    QCOMPARE(Hint(ui->actPaste), QStringLiteral("|クリップボードの画像を読み込みます。"));
    QCOMPARE(ui->actAbout->shortcut(), QKeySequence(Qt::Key_F1));

    // The help menu's differently named site item runs the website command.
    QSignalSpy website(ui->actWebsite, &QAction::triggered);
    help->actions().last()->trigger();
    QCOMPARE(website.count(), 1);
    // The shortcuts reach their commands from anywhere in the window.
    QSignalSpy open(ui->actOpen, &QAction::triggered), copy(ui->actCopy, &QAction::triggered);
    ui->trcOpacity->setFocus();
    QTest::keyClick(ui->trcOpacity, Qt::Key_O, Qt::ControlModifier);
    QTest::keyClick(ui->trcOpacity, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(open.count(), 1);
    QCOMPARE(copy.count(), 1);
  }

  void EverySliderStepRenders() {
    TPaintCounter paints(ui->ClientArea);
    int renders = Renders();
    TTrackBar* opacity = ui->trcOpacity;
    opacity->setFocus();
    QTest::keyClick(opacity, Qt::Key_Right);
    QCOMPARE(opacity->Position(), 9);
    QCOMPARE(Renders(), ++renders);
    QCOMPARE(paints.Count, 1);  // painted at once, inside the handler
    QTest::keyClick(opacity, Qt::Key_Right);
    QTest::keyClick(opacity, Qt::Key_Right);  // already at the end: renders all the same
    QCOMPARE(opacity->Position(), 10);
    QCOMPARE(Renders(), renders += 2);

    // Dragging the size thumb from 3 to 10: one render per step, and one more on release.
    TTrackBar* size = ui->trcCameraZ;
    const QPoint grab = HandleRect(size).center();
    QTest::mousePress(size, Qt::LeftButton, {}, grab);
    for (int x = grab.x(); x <= size->width() + 20; x += 3) QTest::mouseMove(size, QPoint(x, grab.y()));
    QCOMPARE(size->Position(), 10);
    QCOMPARE(Renders(), renders += 7);
    QTest::mouseRelease(size, Qt::LeftButton, {}, QPoint(size->width() + 20, grab.y()));
    QCOMPARE(Renders(), ++renders);
    QCOMPARE(form->State().Scene.CameraDistance, 320);

    // From code, only a real change raises the change event.
    ui->trcMargin->SetPosition(0);
    QCOMPARE(Renders(), renders);
    ui->trcMargin->SetPosition(4);
    QCOMPARE(Renders(), ++renders);

    // The wheel turns only the focused slider; over another it leaves the picture alone.
    const auto wheel = [](TTrackBar* bar, int delta) {
      const QPointF at = bar->rect().center();
      QWheelEvent event(at, bar->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                        Qt::NoScrollPhase, false);
      QCoreApplication::sendEvent(bar, &event);
    };
    ui->trcLength->clearFocus();
    opacity->setFocus();
    wheel(ui->trcLength, 120);
    QCOMPARE(ui->trcLength->Position(), 7);
    QCOMPARE(Renders(), renders);
    wheel(opacity, -120);
    QCOMPARE(opacity->Position(), 9);
    QCOMPARE(Renders(), ++renders);
  }

  void ResetYawActsOnlyWhenTilted() {
    TPaintCounter paints(ui->ClientArea);
    const int renders = Renders();
    ui->actResetYaw->trigger();
    QCOMPARE(Renders(), renders);
    QCOMPARE(paints.Count, 0);
    ui->trcYaw->SetPosition(3);
    QCOMPARE(Renders(), renders + 1);
    ui->actResetYaw->trigger();
    QCOMPARE(ui->trcYaw->Position(), 0);
    QCOMPARE(Renders(), renders + 2);
  }

  void GradientStaysInStepAcrossBothMenus() {
    // At 0.85 of the reflection's length the fade has ended; without it, opacity 8 of 10 holds.
    const auto farReflection = [&] { return Pixel(form->State().OutputImage, 128, 210).Alpha; };
    QCOMPARE(farReflection(), 0);
    const int renders = Renders();
    ChooseFromMenu(ui->PopupMenu1, ui->actGradient);
    QVERIFY(!ui->actGradient->isChecked());
    QVERIFY(!form->State().Scene.GradientEnabled);
    QCOMPARE(Renders(), renders + 1);
    QCOMPARE(farReflection(), 204);

    QMenu* settings = MenuOf(ui->MainMenu1, QStringLiteral("設定(&C)"));
    QVERIFY(settings->actions().contains(ui->actGradient));
    ChooseFromMenu(settings, ui->actGradient);
    QVERIFY(ui->actGradient->isChecked());
    QVERIFY(form->State().Scene.GradientEnabled);
    QCOMPARE(Renders(), renders + 2);
    QCOMPARE(farReflection(), 0);
  }

  void RenderingKeepsTheFinalImageUntilTheNextPreview() {
    const TBitmap preview = form->State().OutputImage;
    const int renders = Renders();
    QTest::mouseClick(ui->Button1, Qt::LeftButton);
    QCOMPARE(Renders(), renders);
    QCOMPARE(form->State().OutputImage.Width(), 256);
    QCOMPARE(form->State().OutputImage.Height(), 256);
    // The final rendering keeps the reflection's colour and carries its fade in alpha alone.
    TBGRA reflection = Pixel(form->State().OutputImage, 128, 140);
    QCOMPARE(reflection.Red, 255);
    QVERIFY(reflection.Alpha > 0 && reflection.Alpha < 255);
    QCOMPARE(Pixel(form->State().OutputImage, 128, 80), (TBGRA{255, 255, 255, 255}));

    QVERIFY2(!SamePixels(form->State().OutputImage, preview), "the rendering's edges are smooth");

    // The next preview replaces it: back at the same length, the preview's own pixels return.
    ui->trcLength->setFocus();
    QTest::keyClick(ui->trcLength, Qt::Key_Left);
    QTest::keyClick(ui->trcLength, Qt::Key_Right);
    QCOMPARE(Renders(), renders + 2);
    QVERIFY(SamePixels(form->State().OutputImage, preview));
  }

  void PaintsTheImageFramedOnBlackWithItsSize() {
    const TRect r = form->OutputRect();
    const QImage shot = ui->ClientArea->grab().toImage();
    QCOMPARE(shot.pixelColor(r.Left - 1, r.Top - 1), QColor(Qt::white));
    QCOMPARE(shot.pixelColor(r.Right, r.Bottom), QColor(Qt::white));
    QCOMPARE(shot.pixelColor(r.Left - 1, (r.Top + r.Bottom) / 2), QColor(Qt::white));
    QCOMPARE(shot.pixelColor(r.Left - 2, r.Top - 2), QColor(Qt::black));
    QCOMPARE(shot.pixelColor(r.Left, r.Top), QColor(Qt::black));         // transparent over black
    QCOMPARE(shot.pixelColor(r.Left + 128, r.Top + 80), QColor(Qt::white));  // the picture
    const QColor reflection = shot.pixelColor(r.Left + 128, r.Top + 140);
    QVERIFY(reflection.red() > 0 && reflection.red() < 255);
    // The size text, white on black, starts just below the frame.
    int textPixels = 0;
    for (int y = r.Bottom + 5; y < r.Bottom + 20; ++y) {
      for (int x = r.Left - 1; x < r.Left + 120; ++x) textPixels += shot.pixelColor(x, y).lightness() > 128;
    }
    QVERIFY(textPixels > 50);
    QCOMPARE(shot.pixelColor(r.Left - 1, r.Bottom + 3), QColor(Qt::black));
  }

  void ResizingRecentresWithoutRendering() {
    const int renders = Renders();
    const TRect before = form->OutputRect();
    form->resize(form->width() + 100, form->height() + 60);
    QTRY_COMPARE(form->OutputRect().Left, before.Left + 50);
    QCOMPARE(form->OutputRect().Top, before.Top + 30);
    QCOMPARE(Renders(), renders);
    // The control column keeps its width at the right; its contents stretch to its client width.
    QCOMPARE(ui->ScrollBox1->width(), 201);
    QCOMPARE(ui->ScrollBox1->geometry().right(), ui->ClientArea->width() - 1);
    QCOMPARE(ui->ScrollBox1->height(), ui->ClientArea->height() - 19);
    QCOMPARE(ui->StatusBar1->geometry(), QRect(0, ui->ClientArea->height() - 19, ui->ClientArea->width(), 19));
    QCOMPARE(ui->Panel1->width(), ui->ScrollBox1->viewport()->width());
    QCOMPARE(ui->GroupBox2->geometry(), QRect(8, 0, ui->Panel1->width() - 16, 169));
    QCOMPARE(ui->GroupBox3->geometry(), QRect(8, 176, ui->Panel1->width() - 16, 169));
    QCOMPARE(ui->trcMargin->geometry(), QRect(8, 136, ui->GroupBox3->width() - 16, 25));
    QCOMPARE(ui->Button1->geometry(), QRect(8, 352, 145, 25));
  }

  void DraggingAnEdgeFollowsThePointer() {
    SetOutputAreaWidth(400);
    QWidget* area = ui->ClientArea;
    const TRect r = form->OutputRect();
    QCOMPARE(r.Left, 72);
    QCOMPARE(r.Right, 328);
    const int y = MidY();
    QTest::mouseMove(area, QPoint(330, y));
    QCOMPARE(area->cursor().shape(), Qt::SizeHorCursor);
    const int renders = Renders();
    QTest::mousePress(area, Qt::LeftButton, {}, QPoint(330, y));
    QVERIFY(form->State().Drag.Dragging);
    QTest::mouseMove(area, QPoint(340, y));
    QCOMPARE(form->State().OutputImage.Width(), 276);
    QCOMPARE(form->State().OutputImage.Height(), 256);
    QCOMPARE(form->OutputRect().Right, 338);
    QCOMPARE(Renders(), renders + 1);
    QTest::mouseMove(area, QPoint(340, y));  // no change in size, rendered all the same
    QCOMPARE(Renders(), renders + 2);
    // Far beyond the window, and back past the centre: clamped, the height untouched.
    QTest::mouseMove(area, QPoint(2000, y + 300));
    QCOMPARE(form->State().OutputImage.Width(), 512);
    QTest::mouseMove(area, QPoint(199, y));
    QCOMPARE(form->State().OutputImage.Width(), 32);
    QCOMPARE(form->State().OutputImage.Height(), 256);
    QCOMPARE(area->cursor().shape(), Qt::SizeHorCursor);
    QTest::mouseRelease(area, Qt::LeftButton, {}, QPoint(199, y));
    QVERIFY(!form->State().Drag.Dragging);
    QTest::mouseMove(area, QPoint(10, y));
    QCOMPARE(form->State().OutputImage.Width(), 32);
    QCOMPARE(area->cursor().shape(), Qt::ArrowCursor);
  }

  void OnlyTheEdgeBandsStartADrag() {
    SetOutputAreaWidth(400);
    QWidget* area = ui->ClientArea;
    const TRect r = form->OutputRect();
    const int y = MidY();
    const auto pressAt = [&](int x, int py) {
      QTest::mouseMove(area, QPoint(x, py));
      QTest::mousePress(area, Qt::LeftButton, {}, QPoint(x, py));
      const bool dragging = form->State().Drag.Dragging;
      QTest::mouseRelease(area, Qt::LeftButton, {}, QPoint(x, py));
      return dragging;
    };
    QVERIFY(!pressAt(r.Left + 1, y));                // strictly inside
    QVERIFY(!pressAt(r.Left - 11, y));               // beyond the band
    QVERIFY(!pressAt(r.Right + 11, r.Top - 11));     // beyond a corner
    QVERIFY(pressAt(r.Left, y));                     // the image's first column
    QVERIFY(pressAt((r.Left + r.Right) / 2, r.Top)); // its first row
    QCOMPARE(form->State().OutputImage.Width(), 256);        // presses alone change nothing

    const std::pair<QPoint, Qt::CursorShape> bands[] = {
        {{r.Left - 5, r.Top - 5}, Qt::SizeFDiagCursor}, {{r.Right + 5, r.Top - 5}, Qt::SizeBDiagCursor},
        {{r.Left - 5, r.Bottom + 5}, Qt::SizeBDiagCursor}, {{r.Right + 5, r.Bottom + 5}, Qt::SizeFDiagCursor},
        {{r.Left + 50, r.Top - 5}, Qt::SizeVerCursor},  {{r.Left + 50, r.Bottom + 5}, Qt::SizeVerCursor},
        {{r.Left - 5, y}, Qt::SizeHorCursor},           {{r.Right + 5, y}, Qt::SizeHorCursor}};
    for (const auto& [point, shape] : bands) {
      QTest::mouseMove(area, point);
      QCOMPARE(area->cursor().shape(), shape);
    }
  }

  void CornerAndSideDragsChangeTheirDirections() {
    SetOutputAreaWidth(400);
    QWidget* area = ui->ClientArea;
    TRect r = form->OutputRect();
    QTest::mouseMove(area, QPoint(r.Left - 3, r.Top - 3));
    QTest::mousePress(area, Qt::LeftButton, {}, QPoint(r.Left - 3, r.Top - 3));
    QTest::mouseMove(area, QPoint(r.Left - 13, r.Top - 23));
    QTest::mouseRelease(area, Qt::LeftButton, {}, QPoint(r.Left - 13, r.Top - 23));
    QCOMPARE(form->State().OutputImage.Width(), 276);
    QCOMPARE(form->State().OutputImage.Height(), 296);

    r = form->OutputRect();
    const int x = (r.Left + r.Right) / 2;
    QTest::mouseMove(area, QPoint(x, r.Bottom + 2));
    QTest::mousePress(area, Qt::LeftButton, {}, QPoint(x, r.Bottom + 2));
    QTest::mouseMove(area, QPoint(x + 40, r.Bottom - 18));
    QTest::mouseRelease(area, Qt::LeftButton, {}, QPoint(x + 40, r.Bottom - 18));
    QCOMPARE(form->State().OutputImage.Width(), 276);
    QCOMPARE(form->State().OutputImage.Height(), 256);
  }

  void ADragNeedsItsButtonHeld() {
    SetOutputAreaWidth(400);
    QWidget* area = ui->ClientArea;
    const TRect r = form->OutputRect();
    const int y = MidY();
    // A menu that opens during a drag for another reason (the keyboard's menu key) takes the
    // release that would end it: the drag ends there.
    QTest::mouseMove(area, QPoint(r.Right + 2, y));
    const QPoint edge(r.Right + 2, y);
    QTest::mousePress(area, Qt::LeftButton, {}, edge);
    QContextMenuEvent menuRequest(QContextMenuEvent::Keyboard, edge, area->mapToGlobal(edge));
    QApplication::sendEvent(area, &menuRequest);
    QVERIFY(ui->PopupMenu1->isVisible());
    QVERIFY(!form->State().Drag.Dragging);
    ui->PopupMenu1->hide();
    QTest::mouseRelease(area, Qt::LeftButton, {}, edge);
    // A drag whose release went elsewhere ends at the next move without a button. The press goes
    // straight to the output area, so that the test's pointer holds no button for the move.
    QTest::mouseMove(area, edge);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(edge), area->mapToGlobal(QPointF(edge)), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(area, &press);
    QVERIFY(form->State().Drag.Dragging);
    QTest::mouseMove(area, QPoint(r.Right + 40, y));
    QVERIFY(!form->State().Drag.Dragging);
    QCOMPARE(form->State().OutputImage.Width(), 256);
  }

  // The secondary button on an edge drags like any other; its context menu waits for the release
  // and opens there only when the pointer has not moved. Elsewhere it opens at the press.
  void ASecondaryPressOnAnEdgeDragsOrClicks() {
    SetOutputAreaWidth(400);
    QWidget* area = ui->ClientArea;
    QMenu* menu = ui->PopupMenu1;
    const auto pressRight = [&](QPoint at) {
      QTest::mouseMove(area, at);
      QTest::mousePress(area, Qt::RightButton, {}, at);
      QContextMenuEvent request(QContextMenuEvent::Mouse, at, area->mapToGlobal(at));
      QApplication::sendEvent(area, &request);  // what the desktop sends after the press
    };
    const QPoint edge(form->OutputRect().Right + 2, MidY());
    pressRight(edge);
    QVERIFY(!menu->isVisible());
    QTest::mouseMove(area, edge + QPoint(10, 0));
    QCOMPARE(form->State().OutputImage.Width(), 276);
    QTest::mouseRelease(area, Qt::RightButton, {}, edge + QPoint(10, 0));
    QVERIFY(!menu->isVisible());
    QVERIFY(!form->State().Drag.Dragging);

    const QPoint click(form->OutputRect().Right + 2, MidY());
    pressRight(click);
    QVERIFY(!menu->isVisible());
    QTest::mouseRelease(area, Qt::RightButton, {}, click);
    QVERIFY(menu->isVisible());
    QCOMPARE(menu->pos(), area->mapToGlobal(click));
    QVERIFY(!form->State().Drag.Dragging);
    QCOMPARE(form->State().OutputImage.Width(), 276);
    menu->hide();

    pressRight(QPoint(10, 10));
    QVERIFY(menu->isVisible());
    QVERIFY(!form->State().Drag.Dragging);
    menu->hide();
    QTest::mouseRelease(area, Qt::RightButton, {}, QPoint(10, 10));
  }

  // Dragging the bottom edge up in small steps far past the centre: the height falls to 32 and
  // stays there until the pointer comes back.
  void DraggingInwardPastTheCentreKeepsTheMinimum() {
    QWidget* area = ui->ClientArea;
    const TRect r = form->OutputRect();
    const QPoint press((r.Left + r.Right) / 2, r.Bottom + 2);
    QTest::mouseMove(area, press);
    QTest::mousePress(area, Qt::LeftButton, {}, press);
    int least = 256;
    for (int y = press.y(); y >= 0; y -= 3) {
      QTest::mouseMove(area, QPoint(press.x(), y));
      const int height = form->State().OutputImage.Height();
      QVERIFY2(height <= least, qPrintable(QStringLiteral("grew to %1 at y = %2").arg(height).arg(y)));
      least = height;
    }
    QCOMPARE(least, 32);
    QTest::mouseMove(area, press);
    QCOMPARE(form->State().OutputImage.Height(), 256);
    QTest::mouseRelease(area, Qt::LeftButton, {}, press);
  }

  void FirstMoveMakesAnOddWidthEven() {
    SetOutputAreaWidth(400);
    TForm1TestSeam::SetOutputSize(*form, 257, 256);
    const TRect r = form->OutputRect();
    const int y = MidY();
    QTest::mouseMove(ui->ClientArea, QPoint(r.Left, y));
    QTest::mousePress(ui->ClientArea, Qt::LeftButton, {}, QPoint(r.Left, y));
    QTest::mouseMove(ui->ClientArea, QPoint(r.Left, y));
    QTest::mouseRelease(ui->ClientArea, Qt::LeftButton, {}, QPoint(r.Left, y));
    QCOMPARE(form->State().OutputImage.Width(), 256);
  }

  void AnErrorInAHandlerIsShownAndTheWindowGoesOn() {
    // A handler that fails the way loading a bad file does, reached through the keyboard.
    connect(ui->actOpen, &QAction::triggered, form.get(), [] { throw EReadError(SReadError); });
    QTest::keyClick(form.get(), Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(dialogs->Messages.size(), std::size_t(1));
    QCOMPARE(dialogs->Messages[0].Caption, QStringLiteral("ルフレミナ"));
    QCOMPARE(dialogs->Messages[0].Text, QStringLiteral("ストリームからの読み込みエラー."));
    QCOMPARE(dialogs->Messages[0].Icon, TMessageIcon::Error);
    QVERIFY(form->isVisible());

    const int renders = Renders();
    ui->trcOpacity->setFocus();
    QTest::keyClick(ui->trcOpacity, Qt::Key_Left);
    QCOMPARE(Renders(), renders + 1);
    QCOMPARE(dialogs->Messages.size(), std::size_t(1));
  }

  void ExitClosesTheWindow() {
    ui->actExit->trigger();
    QVERIFY(!form->isVisible());
  }
};

}  // namespace

std::unique_ptr<QObject> MakeWindowTests() { return std::make_unique<TWindowTest>(); }

#include "window_test.moc"
