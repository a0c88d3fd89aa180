// The real main window's paste command on the offscreen platform, over the application's own
// clipboard as the test fills it: which contents enable it, and what each one loads.
#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QTest>
#include <functional>

#include "app/Unit1.h"
#include "app/application.h"
#include "tests/app/form_controls.h"
#include "tests/app/recording_dialogs.h"
#include "tests/app/suites.h"
#include "tests/picture/bmp_builder.h"
#include "tests/support/jpeg_writer.h"
#include "tests/support/pixel_checks.h"
#include "tests/support/temp_dir.h"

namespace {

// A 3 x 2 image whose pixels all differ, one of them fully transparent and one half so.
QImage SmallImage() {
  QImage image(3, 2, QImage::Format_ARGB32);
  const QRgb pixels[] = {qRgba(200, 10, 20, 255), qRgba(30, 220, 40, 0),   qRgba(50, 60, 230, 128),
                         qRgba(1, 2, 3, 255),     qRgba(250, 240, 5, 255), qRgba(90, 90, 90, 255)};
  for (int i = 0; i < 6; ++i) image.setPixel(i % 3, i / 3, pixels[i]);
  return image;
}

QMimeData* Urls(const QList<QUrl>& urls) {
  auto* data = new QMimeData;
  data->setUrls(urls);
  return data;
}

class TPasteTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TForm1> form;
  std::unique_ptr<TForm1Controls> ui;
  TRecordingDialogs* dialogs = nullptr;
  std::unique_ptr<TempDir> dir;

  static QClipboard& System() { return *QGuiApplication::clipboard(); }
  int Renders() const { return TForm1TestSeam::PreviewRenders(*form); }
  QString Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    PutFile(*dir / name, bytes);
    return QString::fromStdString(*dir / name);
  }
  QStringList Messages() const {
    QStringList out;
    for (const auto& m : dialogs->Messages) out << m.Caption + QLatin1Char('|') + m.Text;
    return out;
  }
  // Ctrl+V where the user's focus is, as the user pastes.
  void PasteByKey() { QTest::keyClick(ui->trcOpacity, Qt::Key_V, Qt::ControlModifier); }

 private slots:
  void init() {
    System().clear();
    dir = std::make_unique<TempDir>();
    form = std::make_unique<TForm1>();  // with the system clipboard
    ui = std::make_unique<TForm1Controls>(*form);
    auto recording = std::make_unique<TRecordingDialogs>();
    dialogs = recording.get();
    form->SetDialogs(std::move(recording));
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    ui->trcOpacity->setFocus();
  }

  void cleanup() {
    ui.reset();
    form.reset();
    dir.reset();
    System().clear();
  }

  // The command is enabled exactly while the clipboard holds something a paste loads, and follows
  // each change at once; disabled, its shortcut does nothing.
  void TheCommandFollowsTheClipboard() {
    const QString file = Write("one.bmp", BmpBuilder().Bytes());
    const struct {
      const char* name;
      std::function<void()> fill;
      bool enabled;
    } cases[] = {
        {"empty", [] { System().clear(); }, false},
        {"text", [] { System().setText(QStringLiteral("photo.bmp")); }, false},
        {"one local file", [&] { System().setMimeData(Urls({QUrl::fromLocalFile(file)})); }, true},
        {"two local files",
         [&] { System().setMimeData(Urls({QUrl::fromLocalFile(file), QUrl::fromLocalFile(file)})); }, false},
        {"a web address", [] { System().setMimeData(Urls({QUrl(QStringLiteral("https://example.org/a.bmp"))})); },
         false},
        {"an image", [] { System().setImage(SmallImage()); }, true},
        {"cleared again", [] { System().clear(); }, false},
    };
    for (const auto& c : cases) {
      c.fill();
      QVERIFY2(ui->actPaste->isEnabled() == c.enabled, c.name);
      if (c.enabled) continue;
      const int renders = Renders();
      PasteByKey();
      QVERIFY2(Renders() == renders && dialogs->Messages.empty(), c.name);
    }
  }

  // What each content loads, by Ctrl+V or either menu: a file as the file, an image made opaque.
  // Whatever fails keeps the picture shown before.
  void PasteLoadsAsADropWould() {
    BmpBuilder bmp;  // 3 x 2, 24 bits, rows bottom-up
    bmp.pixels = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0, 11, 12, 13, 14, 15, 16, 17, 18, 19, 0, 0, 0};
    const QString bmpFile = Write("a.BMP", bmp.Bytes());
    const QString jpegFile = Write("photo.jpg", EncodeJPEG(QuadrantSamples(40, 20, 20, 10)));
    const QString textFile = Write("note.txt", {'x'});
    const QString damaged = Write("photo.bmp", EncodeJPEG(QuadrantSamples(16, 16, 8, 8)));
    const QString title = ApplicationTitle();
    const struct {
      const char* name;
      std::function<QMimeData*()> data;
      int width;          // of the picture loaded, 0 when the paste fails
      TBGRA topLeft;      // its top-left pixel
      QString message;    // the box shown, if any
    } cases[] = {
        {"a local BMP file", [&] { return Urls({QUrl::fromLocalFile(bmpFile)}); }, 3, {11, 12, 13, 255}, {}},
        {"an image, made opaque",
         [] {
           auto* data = new QMimeData;
           data->setImageData(SmallImage());
           return data;
         },
         3, {20, 10, 200, 255}, {}},
        {"a local JPEG file beside an image: the file",
         [&] {
           QMimeData* data = Urls({QUrl::fromLocalFile(jpegFile)});
           data->setImageData(SmallImage());
           return data;
         },
         40, {}, {}},
        {"a file of another kind", [&] { return Urls({QUrl::fromLocalFile(textFile)}); }, 0, {},
         QStringLiteral("エラー|読み込めるのはBMPファイルとJPEGファイルです。\rnote.txt は読み込めません。")},
        {"a file of another kind than its name says", [&] { return Urls({QUrl::fromLocalFile(damaged)}); }, 0, {},
         title + QStringLiteral("|ビットマップイメージが不正です.")},
        {"a file gone since it was copied",
         [&] { return Urls({QUrl::fromLocalFile(QString::fromStdString(*dir / "gone.bmp"))}); }, 0, {},
         title + QStringLiteral("|ファイル %1 は開けません.").arg(QString::fromStdString(*dir / "gone.bmp"))},
    };
    int way = 0;
    for (const auto& c : cases) {
      // The start-up picture first, so that each case shows what it changed.
      System().setMimeData(Urls({QUrl::fromLocalFile(Write("white.bmp", BmpBuilder().Bytes()))}));
      PasteByKey();
      const TBitmap before = form->State().SourceImage;
      dialogs->Messages.clear();
      const int renders = Renders();

      System().setMimeData(c.data());
      QVERIFY2(ui->actPaste->isEnabled(), c.name);
      switch (way++ % 3) {
        case 0: PasteByKey(); break;
        case 1: ui->PopupMenu1->actions().at(1)->trigger(); break;
        default: ui->MainMenu1->actions().at(0)->menu()->actions().at(1)->trigger(); break;
      }
      const TBitmap& source = form->State().SourceImage;
      if (c.width == 0) {
        QVERIFY2(SamePixels(source, before), c.name);
        QVERIFY2(Renders() == renders, c.name);
        QCOMPARE(Messages(), QStringList{c.message});
        continue;
      }
      QVERIFY2(dialogs->Messages.empty(), c.name);
      QVERIFY2(source.Width() == c.width && source.PixelFormat() == pf32bit, c.name);
      QVERIFY2(Renders() == renders + 1, c.name);
      if (c.width == 3) QVERIFY2(PixelOf(source, 0, 0) == c.topLeft, c.name);
      for (int y = 0; y < source.Height(); ++y)
        for (int x = 0; x < source.Width(); ++x) QVERIFY2(PixelOf(source, x, y).Alpha == 255, c.name);
    }
    // The image's other pixels, the transparent one's colour kept under its new alpha.
    System().setImage(SmallImage());
    PasteByKey();
    QCOMPARE(PixelOf(form->State().SourceImage, 1, 0), (TBGRA{40, 220, 30, 255}));
    QCOMPARE(PixelOf(form->State().SourceImage, 2, 1), (TBGRA{90, 90, 90, 255}));
  }
};

}  // namespace

std::unique_ptr<QObject> MakePasteTests() { return std::make_unique<TPasteTest>(); }

#include "paste_test.moc"
