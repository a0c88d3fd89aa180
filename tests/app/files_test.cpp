// The real main window's file commands on the offscreen platform: opening and dropping pictures
// (and naming one on the command line), the exports and the copy with the screen they follow, the
// About box and the website command. Dialogs are answered through the window's dialog interface;
// files are made by the tests.
#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QDropEvent>
#include <QGuiApplication>
#include <QMimeData>
#include <QTest>
#include <cmath>
#include <filesystem>
#include <zlib.h>

#include "app/Unit1.h"
#include "app/application.h"
#include "app/messages.h"
#include "app/qt_clipboard.h"
#include "picture/bmp_file.h"
#include "picture/loading.h"
#include "tests/app/form_controls.h"
#include "tests/app/recording_dialogs.h"
#include "tests/app/suites.h"
#include "tests/picture/bmp_builder.h"
#include "tests/picture/png/png_test_support.h"
#include "tests/support/cutout_files.h"
#include "tests/support/elf_writer.h"
#include "tests/support/jpeg_writer.h"
#include "tests/support/recording_clipboard.h"
#include "tests/support/pixel_checks.h"
#include "tests/support/temp_dir.h"
#include "tests/support/waiting_pipe.h"
#include "toolkit/version_info.h"

namespace {

const QString LegalLine = QStringLiteral("Copyright (C) 2026 ルフレミナ・プロジェクト");
const QString HomePage = QString::fromUtf8(AuthorHomePage);

// The box of the fully opaque pixels: the picture itself (its reflection is never fully opaque).
QRect OpaqueBox(const TBitmap& image) {
  QRect box;
  for (int y = 0; y < image.Height(); ++y)
    for (int x = 0; x < image.Width(); ++x)
      if (PixelOf(image, x, y).Alpha == 255) box |= QRect(x, y, 1, 1);
  return box;
}

int MaxAlpha(const TBitmap& image) {
  int most = 0;
  for (int y = 0; y < image.Height(); ++y)
    for (int x = 0; x < image.Width(); ++x) most = std::max(most, int(PixelOf(image, x, y).Alpha));
  return most;
}

QMimeData* Urls(const QList<QUrl>& urls) {
  auto* data = new QMimeData;
  data->setUrls(urls);
  return data;
}

// Two 32-bit pixels whose fourth bytes are 0.
BmpBuilder TransparentBmp(bool withMasks) {
  BmpBuilder b;
  b.width = 2;
  b.height = 1;
  b.bitCount = 32;
  b.pixels = {200, 100, 50, 0, 200, 100, 50, 0};
  if (withMasks) {
    b.compression = 3;
    b.masks = {0x00FF0000, 0x0000FF00, 0x000000FF};
  }
  return b;
}

// A 24-bit BMP of one colour.
std::vector<std::uint8_t> FlatBmp(int width, int height, TBGRA colour) {
  BmpBuilder b;
  b.width = width;
  b.height = height;
  const int rowBytes = (width * 3 + 3) / 4 * 4;
  b.pixels.assign(std::size_t(rowBytes * height), 0);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      std::uint8_t* p = &b.pixels[std::size_t(y * rowBytes + x * 3)];
      p[0] = colour.Blue, p[1] = colour.Green, p[2] = colour.Red;
    }
  return b.Bytes();
}

// The zlib checksum of a file's or an image's bytes.
std::uint32_t Checksum(const std::vector<std::uint8_t>& bytes) {
  return std::uint32_t(crc32(0, bytes.data(), uInt(bytes.size())));
}

// The pixel rows of an image, top row first, as they are stored.
std::vector<std::uint8_t> Rows(const TBitmap& image) {
  std::vector<std::uint8_t> bytes;
  const std::size_t rowBytes = std::size_t(image.Width()) * std::size_t(image.BitCount() / 8);
  for (int y = 0; y < image.Height(); ++y) bytes.insert(bytes.end(), image.ScanLine(y), image.ScanLine(y) + rowBytes);
  return bytes;
}

// Pixels of the output image within one pixel of an edge: between two neighbours of which one
// shows something and the other nothing, or whose alpha jumps (the picture's and the reflection's
// sides, the floor line, the reflection's far end). There one ray per pixel and the rendering's 25
// see different parts of the scene by nature.
std::vector<bool> NearEdges(const TBitmap& image) {
  const int w = image.Width(), h = image.Height();
  std::vector<bool> edge(std::size_t(w * h), false), near(std::size_t(w * h), false);
  const auto alpha = [&](int x, int y) { return int(PixelOf(image, x, y).Alpha); };
  const auto between = [](int a, int b) { return (a == 0) != (b == 0) || std::abs(a - b) > 8; };
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const bool right = x + 1 < w && between(alpha(x, y), alpha(x + 1, y));
      const bool down = y + 1 < h && between(alpha(x, y), alpha(x, y + 1));
      if (right) edge[std::size_t(y * w + x)] = edge[std::size_t(y * w + x + 1)] = true;
      if (down) edge[std::size_t(y * w + x)] = edge[std::size_t((y + 1) * w + x)] = true;
    }
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      if (!edge[std::size_t(y * w + x)]) continue;
      for (int ny = std::max(0, y - 1); ny <= std::min(h - 1, y + 1); ++ny)
        for (int nx = std::max(0, x - 1); nx <= std::min(w - 1, x + 1); ++nx) near[std::size_t(ny * w + nx)] = true;
    }
  return near;
}

class TFilesTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TForm1> form;
  std::unique_ptr<TForm1Controls> ui;
  TRecordingDialogs* dialogs = nullptr;
  TRecordingClipboard* clipboard = nullptr;
  std::unique_ptr<TempDir> dir;

  int Renders() const { return TForm1TestSeam::PreviewRenders(*form); }
  QString Path(const std::string& name) const { return QString::fromStdString(*dir / name); }
  QString Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    PutFile(*dir / name, bytes);
    return Path(name);
  }

  void Open(const QString& fileName) {
    dialogs->FileAnswers.push_back(fileName);
    ui->actOpen->trigger();
  }
  void LoadFlat(TBGRA colour) {
    Open(Write("flat.bmp", FlatBmp(40, 30, colour)));
    QCOMPARE(PixelOf(form->State().SourceImage, 5, 5), colour);
  }
  void Export(QAction* action, const QString& fileName) {
    dialogs->FileAnswers.push_back(fileName);
    action->trigger();
  }
  // As a drag from the desktop arrives: it enters the window, then drops. Answers whether the drop
  // returned to the desktop before anything was loaded or shown.
  bool Drop(const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(60, 60), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(form.get(), &enter);
    QDropEvent drop(QPointF(60, 60), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    const int renders = Renders();
    const std::size_t messages = dialogs->Messages.size();
    QCoreApplication::sendEvent(form.get(), &drop);
    const bool returnedFirst = Renders() == renders && dialogs->Messages.size() == messages;
    QCoreApplication::sendPostedEvents();
    return returnedFirst;
  }
  // The message boxes shown so far, as "caption|text".
  QStringList Messages() const {
    QStringList out;
    for (const auto& m : dialogs->Messages) out << m.Caption + QLatin1Char('|') + m.Text;
    return out;
  }

 private slots:
  void init() {
    dir = std::make_unique<TempDir>();
    form = std::make_unique<TForm1>();
    ui = std::make_unique<TForm1Controls>(*form);
    auto recording = std::make_unique<TRecordingDialogs>();
    dialogs = recording.get();
    form->SetDialogs(std::move(recording));
    auto recordingClipboard = std::make_unique<TRecordingClipboard>();
    clipboard = recordingClipboard.get();
    form->SetClipboard(std::move(recordingClipboard));
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
  }

  void cleanup() {
    ui.reset();
    form.reset();
    dir.reset();
  }

  void OpenDialogOffersTheReadableKindsAndCancelChangesNothing() {
    const int renders = Renders();
    ui->actOpen->trigger();
    QCOMPARE(dialogs->FileRequests.size(), std::size_t(1));
    const TFileDialogRequest& request = dialogs->FileRequests[0].Request;
    QVERIFY(!dialogs->FileRequests[0].Save);
    QCOMPARE(request.FilterIndex, 1);
    const std::vector<TFileFilter> expected = {
        {QStringLiteral("対応形式 (*.bmp; *.jpg; *.jpeg; *.png; *.webp; *.heic; *.heif; *.avif)"),
         QStringLiteral("*.bmp;*.jpg;*.jpeg;*.png;*.webp;*.heic;*.heif;*.avif")},
        {QStringLiteral("ビットマップ (*.bmp)"), QStringLiteral("*.bmp")},
        {QStringLiteral("すべてのファイル (*.jpg;*.jpeg)"), QStringLiteral("*.jpg;*.jpeg")},
        {QStringLiteral("JPEG イメージファイル (*.jpg)"), QStringLiteral("*.jpg")},
        {QStringLiteral("JPEG イメージファイル (*.jpeg)"), QStringLiteral("*.jpeg")},
        {QStringLiteral("PNG イメージファイル (*.png)"), QStringLiteral("*.png")},
        {QStringLiteral("WebP イメージファイル (*.webp)"), QStringLiteral("*.webp")},
        {QStringLiteral("HEIF イメージファイル (*.heic;*.heif)"), QStringLiteral("*.heic;*.heif")},
        {QStringLiteral("AVIF イメージファイル (*.avif)"), QStringLiteral("*.avif")},
    };
    QVERIFY(ParseFilter(request.Filter) == expected);
    QCOMPARE(form->State().SourceImage.Width(), 1);
    QCOMPARE(Renders(), renders);
    QVERIFY(dialogs->Messages.empty());
  }

  // Extensions in any letter case choose the reader; the quad takes each picture's proportions
  // at once.
  void PicturesLoadByExtensionAndReshapeTheQuad() {
    Open(Write("PHOTO.JPG", EncodeJPEG(QuadrantSamples(64, 32, 32, 16))));
    QCOMPARE(form->State().SourceImage.Width(), 64);
    QCOMPARE(form->State().SourceImage.PixelFormat(), pf32bit);
    const TBGRA topLeft = PixelOf(form->State().SourceImage, 8, 8);
    QVERIFY(topLeft.Red > 245 && topLeft.Green < 10 && topLeft.Blue < 10 && topLeft.Alpha == 255);
    const QRect landscape = OpaqueBox(form->State().OutputImage);
    QVERIFY2(landscape.width() > 3 * landscape.height() / 2, "a wide picture stands as a wide quad");

    TJPEGSamples grey{32, 64, 1, std::vector<std::uint8_t>(32 * 64, 90)};
    Open(Write("photo.Jpeg", EncodeJPEG(grey)));
    QCOMPARE(form->State().SourceImage.Height(), 64);
    const TBGRA g = PixelOf(form->State().SourceImage, 10, 10);
    QVERIFY(std::abs(g.Red - 90) <= 4 && g.Red == g.Green && g.Green == g.Blue && g.Alpha == 255);
    const QRect portrait = OpaqueBox(form->State().OutputImage);
    QVERIFY2(portrait.height() > 3 * portrait.width() / 2, "a tall picture stands as a tall quad");

    BmpBuilder bmp;
    bmp.pixels = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0, 11, 12, 13, 14, 15, 16, 17, 18, 19, 0, 0, 0};
    Open(Write("a.BMP", bmp.Bytes()));
    QCOMPARE(form->State().SourceImage.Width(), 3);
    QCOMPARE(PixelOf(form->State().SourceImage, 0, 1), (TBGRA{1, 2, 3, 255}));
    QVERIFY(dialogs->Messages.empty());
  }

  // Every kind the decoding libraries read loads by the open dialog and as a file copied in a file
  // manager, in any letter case, with its transparency: only the cut-out's opaque half stands.
  void EveryKindLoadsByDialogAndPasteWithItsAlpha() {
    form->SetClipboard(std::make_unique<TQtClipboard>());
    Open(Write("opaque.bmp", FlatBmp(CutoutWidth, CutoutHeight, CutoutOpaque)));
    const int wholeWidth = OpaqueBox(form->State().OutputImage).width();
    for (const TCutoutKind& kind : CutoutKinds) {
      const std::string name = std::string("cutout") + kind.Extension;
      QVERIFY2(WriteCutout(kind, *dir / name), kind.Name);
      Open(Path(name));
      QVERIFY2(IsCutout(form->State().SourceImage, kind), kind.Name);
      QVERIFY2(std::abs(2 * OpaqueBox(form->State().OutputImage).width() - wholeWidth) <= 4, kind.Name);
      Open(Path("opaque.bmp"));
      QGuiApplication::clipboard()->setMimeData(Urls({QUrl::fromLocalFile(Path(name))}));
      QTest::keyClick(ui->trcOpacity, Qt::Key_V, Qt::ControlModifier);
      QVERIFY2(IsCutout(form->State().SourceImage, kind), kind.Name);
    }
    QVERIFY2(dialogs->Messages.empty(), qPrintable(Messages().join(QLatin1Char('\n'))));
  }

  // The paste command is enabled exactly while the clipboard holds a picture, following each
  // change. A paste loads as a drop would: a copied local file as that file, a PNG through the PNG
  // reader with its alpha (before the bitmap a browser puts beside it), any other image opaque.
  // What fails keeps the picture.
  void PasteLoadsWhatTheClipboardHolds() {
    form->SetClipboard(std::make_unique<TQtClipboard>());
    const QString bmp = Write("one.bmp", BmpBuilder().Bytes()), note = Write("note.txt", {'x'});
    QVERIFY(WriteCutout(CutoutKinds[0], *dir / "cut.png"));
    const std::vector<std::uint8_t> png = FileBytes(*dir / "cut.png");
    const auto image = [](const QByteArray& pngBytes) {
      auto* data = new QMimeData;
      QImage bitmap(5, 4, QImage::Format_ARGB32);
      bitmap.fill(qRgba(200, 10, 20, 0));
      data->setImageData(bitmap);
      if (!pngBytes.isEmpty()) data->setData(QStringLiteral("image/png"), pngBytes);
      return data;
    };
    auto* text = new QMimeData;
    text->setText(bmp);
    const struct {
      const char* name;
      QMimeData* data;
      bool enabled;
      int width;       // of the picture loaded; 0 when nothing is loaded
      QString shown;   // the start of the box shown, if any
    } cases[] = {
        {"nothing", new QMimeData, false, 0, {}},
        {"text", text, false, 0, {}},
        {"two files", Urls({QUrl::fromLocalFile(bmp), QUrl::fromLocalFile(bmp)}), false, 0, {}},
        {"a web address", Urls({QUrl(QStringLiteral("https://example.org/a.bmp"))}), false, 0, {}},
        {"a local file", Urls({QUrl::fromLocalFile(bmp)}), true, 3, {}},
        {"an image", image({}), true, 5, {}},
        {"a PNG", image(QByteArray(reinterpret_cast<const char*>(png.data()), qsizetype(png.size()))), true,
         CutoutWidth, {}},
        {"a file of another kind", Urls({QUrl::fromLocalFile(note)}), true, 0, QStringLiteral("エラー|読み込めるのは")},
        {"damaged PNG bytes", image(QByteArray("\x89PNG\r\n\x1a\n", 8)), true, 0,
         ApplicationTitle() + QStringLiteral("|PNG ファイルが壊れています")},
    };
    for (const auto& c : cases) {
      dialogs->Messages.clear();
      const TBitmap before = form->State().SourceImage;
      const int renders = Renders();
      QGuiApplication::clipboard()->setMimeData(c.data);
      QVERIFY2(ui->actPaste->isEnabled() == c.enabled, c.name);
      QTest::keyClick(ui->trcOpacity, Qt::Key_V, Qt::ControlModifier);
      const TBitmap& now = form->State().SourceImage;
      QVERIFY2(Messages().join(QString()).startsWith(c.shown) && (c.shown.isEmpty() == dialogs->Messages.empty()),
               c.name);
      if (c.width == 0) {
        QVERIFY2(SamePixels(now, before) && Renders() == renders, c.name);
      } else if (c.width == CutoutWidth) {
        QVERIFY2(IsCutout(now, CutoutKinds[0]) && SamePixels(now, ReadSourcePicture(*dir / "cut.png", TPictureKind::Png)),
                 c.name);
      } else {
        QVERIFY2(now.Width() == c.width && PixelOf(now, c.width - 1, 0).Alpha == 255, c.name);
        if (c.width == 5) QCOMPARE(PixelOf(now, 0, 0), (TBGRA{20, 10, 200, 255}));  // its colour, opaque
      }
    }
  }

  void OtherExtensionsAreRefusedWithTheErrorBox() {
    Write("picture.gif", {0x89, 'P', 'N', 'G'});
    Write("noext", EncodeJPEG(QuadrantSamples(16, 16, 8, 8)));
    const int renders = Renders();
    Open(Path("picture.gif"));
    Open(Path("noext"));
    QCOMPARE(Messages(), (QStringList{
                             QStringLiteral("エラー|読み込めるのはBMP、JPEG、PNG、WebP、HEIC、AVIFファイルです。\rpicture.gif は読み込めません。"),
                             QStringLiteral("エラー|読み込めるのはBMP、JPEG、PNG、WebP、HEIC、AVIFファイルです。\rnoext は読み込めません。"),
                         }));
    QVERIFY(dialogs->Messages[0].Icon == TMessageIcon::Error);
    QCOMPARE(form->State().SourceImage.Width(), 1);
    QCOMPARE(Renders(), renders);
  }

  // The content is never sniffed: the reader the extension chose reports the error through the
  // general handler, and the current picture stays.
  void ReaderErrorsKeepTheCurrentPicture() {
    Open(Write("keep.bmp", BmpBuilder().Bytes()));
    QCOMPARE(form->State().SourceImage.Width(), 3);
    const TBitmap before = form->State().SourceImage;
    const int renders = Renders();

    Open(Write("photo.bmp", EncodeJPEG(QuadrantSamples(16, 16, 8, 8))));
    Open(Write("bitmap.jpg", BmpBuilder().Bytes()));
    Open(Write("empty.bmp", {}));
    Open(Path("missing.jpeg"));
    // Too large at 32 bits, refused before decoding starts, which would fail at its first step.
    Open(Write("huge.jpg", WithDeclaredSize(EncodeJPEG(QuadrantSamples(16, 16, 8, 8)), 18000, 18000, true)));
    const QString title = ApplicationTitle();
    QCOMPARE(Messages(), (QStringList{
                             title + QStringLiteral("|ビットマップイメージが不正です."),
                             title + QStringLiteral("|JPEG ファイルではありません."),
                             title + QStringLiteral("|ビットマップイメージが不正です."),
                             title + QStringLiteral("|ファイル %1 は開けません.").arg(Path("missing.jpeg")),
                             title + QStringLiteral("|画像が大きすぎます (18000 x 18000)"),
                         }));
    QVERIFY(SamePixels(form->State().SourceImage, before));
    QCOMPARE(Renders(), renders);
  }

  // Opened or dropped, a pipe or a device named like a picture gives the error box at once (opening
  // a pipe would wait for a writer and freeze the window); so does a JPEG whose scans would keep
  // the window busy far longer than its picture takes.
  void PipesDevicesAndEndlessScansGiveTheErrorBoxAtOnce() {
    Open(Write("keep.bmp", BmpBuilder().Bytes()));
    const TBitmap before = form->State().SourceImage;
    const TWaitingPipe pipe(*dir / "pipe.jpg");
    const int renders = Renders();
    Open(Path("pipe.jpg"));
    QVERIFY(Drop({QUrl::fromLocalFile(Path("pipe.jpg"))}));
    if (std::filesystem::exists("/dev/zero")) {
      std::error_code ignored;
      std::filesystem::create_symlink("/dev/zero", *dir / "zero.bmp", ignored);
      Open(Path("zero.bmp"));
    }
    TJPEGSamples grey{16, 16, 1, std::vector<std::uint8_t>(256, 90)};
    Open(Write("scans.jpg", WithEmptyScans(EncodeJPEG(grey, 90, true), 20000)));
    const QString title = ApplicationTitle();
    QCOMPARE(Messages(), (QStringList{
                             title + QStringLiteral("|ファイル %1 は通常のファイルではありません.").arg(Path("pipe.jpg")),
                             title + QStringLiteral("|ファイル %1 は通常のファイルではありません.").arg(Path("pipe.jpg")),
                             title + QStringLiteral("|ファイル %1 は通常のファイルではありません.").arg(Path("zero.bmp")),
                             title + QStringLiteral("|JPEG のスキャン数が多すぎます."),
                         }));
    QVERIFY(SamePixels(form->State().SourceImage, before));
    QCOMPARE(Renders(), renders);
  }

  // A phone photo held upright stands upright in the window too: its EXIF orientation turns it
  // on load, and the quad takes the turned proportions.
  void PhotosStandAsTheirOrientationSays() {
    Open(Write("side.jpg", WithMarker(EncodeJPEG(QuadrantSamples(64, 32, 32, 16)), 0xE1, ExifBlock(6))));
    QCOMPARE(form->State().SourceImage.Width(), 32);
    QCOMPARE(form->State().SourceImage.Height(), 64);
    // Stored red top-left quadrant: turned a quarter clockwise it is the top right.
    const TBGRA topRight = PixelOf(form->State().SourceImage, 28, 4);
    QVERIFY(topRight.Red > 245 && topRight.Green < 10 && topRight.Blue < 10);
    const QRect portrait = OpaqueBox(form->State().OutputImage);
    QVERIFY2(portrait.height() > 3 * portrait.width() / 2, "the upright photo stands as a tall quad");
    QVERIFY(dialogs->Messages.empty());
  }

  void PlainThirtyTwoBitBmpKeepsItsAlpha() {
    Open(Write("clear.bmp", TransparentBmp(false).Bytes()));
    QCOMPARE(PixelOf(form->State().SourceImage, 0, 0), (TBGRA{200, 100, 50, 0}));
    QCOMPARE(MaxAlpha(form->State().OutputImage), 0);

    Open(Write("masked.bmp", TransparentBmp(true).Bytes()));
    QCOMPARE(PixelOf(form->State().SourceImage, 0, 0), (TBGRA{200, 100, 50, 255}));
    QVERIFY(!OpaqueBox(form->State().OutputImage).isEmpty());
  }

  void DroppingExactlyOneFileLoadsIt() {
    const QString one = Write("one.bmp", BmpBuilder().Bytes());
    const QString two = Write("two.bmp", TransparentBmp(false).Bytes());
    Drop({QUrl::fromLocalFile(one), QUrl::fromLocalFile(two)});
    Drop({QUrl::fromLocalFile(QString::fromStdString(dir->Path().string())), QUrl::fromLocalFile(one)});
    QCOMPARE(form->State().SourceImage.Width(), 1);
    QVERIFY(dialogs->Messages.empty());

    // The desktop waits for the drop to return; a picture that takes long to read or an error box
    // must not hold it (and the file manager) until then.
    QVERIFY(Drop({QUrl::fromLocalFile(one)}));
    QCOMPARE(form->State().SourceImage.Width(), 3);
    QVERIFY(Drop({QUrl::fromLocalFile(Write("drop.txt", {'x'}))}));
    QCOMPARE(Messages(), QStringList{QStringLiteral("エラー|読み込めるのはBMP、JPEG、PNG、WebP、HEIC、AVIFファイルです。\rdrop.txt は読み込めません。")});
  }

  // A picture named on the command line opens as if it had been dropped, once the window is shown:
  // refused or unreadable, it gets the usual box over the start-up picture. Anything else on the
  // command line changes nothing.
  void AFileOnTheCommandLineOpensAtStart() {
    const QString program = QStringLiteral("rufuremina");
    const QString picture = Write("one.bmp", BmpBuilder().Bytes());
    const int renders = Renders();
    for (const QStringList& arguments :
         {QStringList{program}, QStringList{program, picture, picture}, QStringList{program, QStringLiteral("--help")},
          QStringList{program, QStringLiteral("-")}, QStringList{program, QString()},
          QStringList{program, QString::fromStdString(dir->Path().string())}}) {
      form->OpenFromCommandLine(arguments);
      QCoreApplication::sendPostedEvents();
    }
    QCOMPARE(Renders(), renders);
    QVERIFY(dialogs->Messages.empty());

    form->OpenFromCommandLine({program, Write("note.txt", {'x'})});
    form->OpenFromCommandLine({program, Path("missing.jpg")});
    QVERIFY(dialogs->Messages.empty());  // nothing before the event loop runs
    QCoreApplication::sendPostedEvents();
    QCOMPARE(Messages(), (QStringList{
                             QStringLiteral("エラー|読み込めるのはBMP、JPEG、PNG、WebP、HEIC、AVIFファイルです。\rnote.txt は読み込めません。"),
                             ApplicationTitle() + QStringLiteral("|ファイル %1 は開けません.").arg(Path("missing.jpg")),
                         }));
    QCOMPARE(form->State().SourceImage.Width(), 1);
    QCOMPARE(Renders(), renders);

    // A name relative to the folder the program was started in.
    const QString started = QDir::currentPath();
    QDir::setCurrent(QString::fromStdString(dir->Path().string()));
    form->OpenFromCommandLine({program, QStringLiteral("one.bmp")});
    QDir::setCurrent(started);
    QCoreApplication::sendPostedEvents();
    QCOMPARE(form->State().SourceImage.Width(), 3);
    QCOMPARE(Renders(), renders + 1);
    QCOMPARE(dialogs->Messages.size(), std::size_t(2));
  }

  void CancelledSaveDialogsRenderNothing() {
    const TBitmap preview = form->State().OutputImage;
    for (QAction* action : {ui->actExportBMP24, ui->actExportBMP32, ui->actExportPNG}) action->trigger();
    QCOMPARE(dialogs->FileRequests.size(), std::size_t(3));
    QVERIFY(SamePixels(form->State().OutputImage, preview));
    QVERIFY(dir->Names().empty());
    QCOMPARE(clipboard->Stores, 0);

    ui->actRendering->trigger();
    QVERIFY2(!SamePixels(form->State().OutputImage, preview), "the final rendering differs from the preview");
  }

  void SaveDialogsShowEachExportsTitleFilterAndLastName() {
    Export(ui->actExportBMP24, Path("first.bmp"));
    Export(ui->actExportBMP32, Path("second.bmp"));
    Export(ui->actExportPNG, Path("third"));
    ui->actExportBMP24->trigger();  // cancelled
    const auto& r = dialogs->FileRequests;
    QCOMPARE(r.size(), std::size_t(4));
    const QString bmpFilter = QStringLiteral("ビットマップ (*.bmp)|*.bmp|すべてのファイル|*.*");
    QCOMPARE(r[0].Request.Title, QStringLiteral("BMP形式で書き出し"));
    QCOMPARE(r[0].Request.Filter, bmpFilter);
    QCOMPARE(r[0].Request.DefaultExt, QStringLiteral("bmp"));
    QVERIFY(r[0].Request.FileName.isEmpty());
    QCOMPARE(r[1].Request.Title, QStringLiteral("アルファチャンネル付きBMP形式で書き出し"));
    QCOMPARE(r[1].Request.Filter, bmpFilter);
    QCOMPARE(r[1].Request.FileName, Path("first.bmp"));
    QCOMPARE(r[2].Request.Title, QStringLiteral("PNG形式で書き出し"));
    QCOMPARE(r[2].Request.Filter, QStringLiteral("PNG Format (*.png)|*.png|すべてのファイル|*.*"));
    QCOMPARE(r[2].Request.DefaultExt, QStringLiteral("png"));
    QCOMPARE(r[3].Request.FileName, Path("third.bmp"));  // the last name, with this export's extension
    for (const auto& request : r) QVERIFY(request.Save && request.Request.FilterIndex == 1);
    QVERIFY(std::filesystem::exists(*dir / "third.png"));
    QVERIFY(!std::filesystem::exists(*dir / "third"));
  }

  // Confirming the offered name writes a PNG export into a .png file, not into the last BMP export.
  void TheOfferedNameTakesTheExportsExtension() {
    Export(ui->actExportBMP24, Path("trap.bmp"));
    ui->actExportPNG->trigger();  // cancelled
    const QString offered = dialogs->FileRequests.back().Request.FileName;
    QCOMPARE(offered, Path("trap.png"));
    Export(ui->actExportPNG, offered);
    QVERIFY(DecodeWithLibpng(FileBytes(*dir / "trap.png")).Ok);
    TBitmap kept;
    ReadBitmapFile(*dir / "trap.bmp", kept);
    QCOMPARE(kept.PixelFormat(), pf24bit);
    ui->actExportBMP32->trigger();  // cancelled
    QCOMPARE(dialogs->FileRequests.back().Request.FileName, Path("trap.bmp"));
  }

  // Every export shows and writes the final rendering; transparent pixels are black in the 24-bit
  // file and keep alpha 0 in the others.
  void ExportsWriteTheFinalRendering() {
    Open(Write("photo.jpg", EncodeJPEG(QuadrantSamples(48, 32, 16, 16))));
    const TBitmap preview = form->State().OutputImage;

    Export(ui->actExportBMP24, Path("a.bmp"));
    const TBitmap final = form->State().OutputImage;
    QVERIFY(!SamePixels(final, preview));
    QCOMPARE(PixelOf(final, 0, 0).Alpha, std::uint8_t(0));
    TBitmap opaque;
    ReadBitmapFile(*dir / "a.bmp", opaque);
    QCOMPARE(opaque.PixelFormat(), pf24bit);
    QCOMPARE(opaque.Width(), final.Width());
    for (int y = 0; y < final.Height(); ++y)
      for (int x = 0; x < final.Width(); ++x) QCOMPARE(PixelOf(opaque, x, y), OverBlack(PixelOf(final, x, y)));

    Export(ui->actExportBMP32, Path("b.bmp"));
    TBitmap alpha;
    ReadBitmapFile(*dir / "b.bmp", alpha);
    QCOMPARE(alpha.PixelFormat(), pf32bit);
    QVERIFY(SamePixels(alpha, form->State().OutputImage));
    QCOMPARE(clipboard->Stores, 0);

    Export(ui->actExportPNG, Path("c.png"));
    const DecodedPng png = DecodeWithLibpng(FileBytes(*dir / "c.png"));
    QVERIFY(png.Ok);
    QCOMPARE(png.Channels, 4);
    QCOMPARE(png.Width, final.Width());
    QCOMPARE(png.Height, final.Height());
    for (int y = 0; y < final.Height(); ++y) {
      for (int x = 0; x < final.Width(); ++x) {
        const std::uint8_t* s = &png.Samples[std::size_t((y * png.Width + x) * 4)];
        QCOMPARE((TBGRA{s[2], s[1], s[0], s[3]}), PixelOf(final, x, y));
      }
    }
    QCOMPARE(clipboard->Stores, 1);
    QCOMPARE(clipboard->Bitmap.PixelFormat(), pf32bit);
    QVERIFY(SamePixels(clipboard->Bitmap, final));
  }

  void BothCopyCommandsPutTheCompositeOverBlack() {
    ui->actCopy->trigger();
    QCOMPARE(clipboard->Stores, 1);
    const TBitmap copied = clipboard->Bitmap;
    QCOMPARE(copied.PixelFormat(), pf24bit);
    const TBitmap& final = form->State().OutputImage;
    for (int y = 0; y < final.Height(); ++y)
      for (int x = 0; x < final.Width(); ++x) QCOMPARE(PixelOf(copied, x, y), OverBlack(PixelOf(final, x, y)));
    ui->actCopy32->trigger();
    QCOMPARE(clipboard->Stores, 2);
    QVERIFY(SamePixels(clipboard->Bitmap, copied));
  }

  void AClipboardThatCannotBeUsedIsReported() {
    clipboard->Refuse = true;
    ui->actCopy->trigger();
    Export(ui->actExportPNG, Path("kept.png"));
    const QString text = ApplicationTitle() + QStringLiteral("|クリップボードを開くことができません.");
    QCOMPARE(Messages(), (QStringList{text, text}));
    QVERIFY(std::filesystem::exists(*dir / "kept.png"));
  }

  // The system clipboard receives exactly the bytes: the composite for a copy, the rendering with
  // its alpha as stored after a PNG export.
  void TheSystemClipboardGetsTheExactPixels() {
    form->SetClipboard(std::make_unique<TQtClipboard>());
    QClipboard* system = QGuiApplication::clipboard();
    ui->actCopy->trigger();
    const TBitmap& final = form->State().OutputImage;
    QImage copied = system->image();
    QCOMPARE(copied.size(), QSize(final.Width(), final.Height()));
    QVERIFY(!copied.hasAlphaChannel());
    for (int y = 0; y < final.Height(); y += 7) {
      for (int x = 0; x < final.Width(); x += 7) {
        const TBGRA e = OverBlack(PixelOf(final, x, y));
        QCOMPARE(copied.pixel(x, y), qRgb(e.Red, e.Green, e.Blue));
      }
    }
    Export(ui->actExportPNG, Path("c.png"));
    const QImage withAlpha = system->image().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < final.Height(); y += 7) {
      for (int x = 0; x < final.Width(); x += 7) {
        const TBGRA e = PixelOf(final, x, y);
        QCOMPARE(withAlpha.pixel(x, y), qRgba(e.Red, e.Green, e.Blue, e.Alpha));
      }
    }
  }

  void AboutShowsTheEmbeddedVersionStrings() {
    const QString about = QStringLiteral("ルフレミナ Version1.06\r") + LegalLine + QLatin1Char('\r') + HomePage;
    ui->actAbout->trigger();  // this test program carries the program's table
    form->SetVersionFile(QStringLiteral(RFL_PROGRAM_FILE));
    ui->actAbout->trigger();
    SetApplicationTitle(QStringLiteral("別の題"));
    ui->actAbout->trigger();
    SetApplicationTitle(QStringLiteral("ルフレミナ"));
    QCOMPARE(Messages(), (QStringList{QStringLiteral("ルフレミナ|") + about, QStringLiteral("ルフレミナ|") + about,
                                      QStringLiteral("別の題|") + about}));
    QVERIFY(dialogs->Messages[0].Icon == TMessageIcon::None);
    QVERIFY(dialogs->Messages[0].Place == TMessagePlace::ScreenCentre);
  }

  void AboutFollowsWhatTheProgramFileHolds() {
    static constexpr TVersionTranslation english[] = {{0x0409, 0x04B0}};
    static constexpr TVersionString englishStrings[] = {{"ProductName", "Rufuremina"}, {"ProductVersion", "2.0"}};
    static constexpr TVersionStringTable tables[] = {{{0x0409, 0x04B0}, englishStrings}};
    const TVersionResource other{{}, english, tables};
    const TVersionResource noTranslation{{}, {}, tables};

    form->SetVersionFile(Write("plain.txt", {'n', 'o'}));
    ui->actAbout->trigger();
    form->SetVersionFile(Write("english", MakeElf({{VersionSectionName, VersionTableBytes(other)}}, true, false)));
    ui->actAbout->trigger();
    form->SetVersionFile(
        Write("broken", MakeElf({{VersionSectionName, VersionTableBytes(noTranslation)}}, true, false)));
    ui->actAbout->trigger();
    const QString title = ApplicationTitle();
    QCOMPARE(Messages(), (QStringList{
                             title + QStringLiteral("| Version\r\r") + HomePage,
                             title + QStringLiteral("|Rufuremina Version2.0\r\r") + HomePage,
                             title + QStringLiteral("|情報の取得に失敗しました."),
                         }));
    QVERIFY(dialogs->Messages[2].Icon == TMessageIcon::Error);
  }

  void WebsiteOpensTheHomePage() {
    QList<QUrl> opened;
    form->SetAddressOpener([&](const QUrl& address) { opened << address; });
    ui->actWebsite->trigger();
    QCOMPARE(opened, QList<QUrl>{QUrl(HomePage)});
    QVERIFY(dialogs->Messages.empty());
  }

  // A preview that scaled the reflection's colour by its opacity, and was then composited by that
  // opacity again, showed the reflection far darker than the rendering saves it.
  void TheScreenShowsTheReflectionAsTheRenderingWill() {
    LoadFlat({60, 150, 230, 255});

    struct Setting {
      bool gradient;
      int opacity, length, size;
    };
    // A preview casts one ray at each pixel's corner; the rendering's 25 rays lie 0.4 pixel further
    // on in the mean. Where the fade is steep (about 2.7 x opacity / length levels a row at the
    // picture's size 3) that alone changes a pixel by more than 2 levels, so the fades here keep
    // opacity / length at 1.5 or below.
    for (const Setting s : {Setting{true, 8, 7, 3}, Setting{true, 10, 10, 3}, Setting{true, 5, 4, 4},
                            Setting{true, 3, 2, 6}, Setting{true, 10, 7, 5}, Setting{false, 8, 7, 3},
                            Setting{false, 3, 1, 3}, Setting{false, 9, 5, 2}}) {
      const QString name = QStringLiteral("gradient %1, opacity %2, length %3, size %4")
                               .arg(s.gradient)
                               .arg(s.opacity)
                               .arg(s.length)
                               .arg(s.size);
      if (ui->actGradient->isChecked() != s.gradient) ui->actGradient->trigger();
      ui->trcOpacity->SetPosition(s.opacity);
      ui->trcLength->SetPosition(s.length);
      ui->trcCameraZ->SetPosition(s.size);
      TForm1TestSeam::SetOutputSize(*form, 256, 200);  // a preview of exactly this setting
      const TBitmap preview = form->State().OutputImage;
      const QImage previewScreen = ui->ClientArea->grab().toImage();
      ui->actRendering->trigger();
      const QImage finalScreen = ui->ClientArea->grab().toImage();

      const TRect r = form->OutputRect();
      const std::vector<bool> nearEdge = NearEdges(preview);
      int compared = 0, worst = 0;
      QString worstAt;
      for (int y = 0; y < preview.Height(); ++y) {
        for (int x = 0; x < preview.Width(); ++x) {
          const TBGRA p = PixelOf(preview, x, y);
          const bool reflection = p.Alpha > 0 && p.Alpha < 255;
          if (nearEdge[std::size_t(y * preview.Width() + x)]) continue;
          compared += reflection;
          const QColor a = previewScreen.pixelColor(r.Left + x, r.Top + y);
          const QColor b = finalScreen.pixelColor(r.Left + x, r.Top + y);
          const int difference = std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                                           std::abs(a.blue() - b.blue())});
          if (difference > worst) {
            worst = difference;
            worstAt = QStringLiteral("(%1, %2): preview %3, rendering %4").arg(x).arg(y).arg(a.name(), b.name());
          }
        }
      }
      QVERIFY2(worst <= 2, qPrintable(name + QStringLiteral(": ") + worstAt));
      // Enough of the reflection lies away from its edges for the comparison to mean something.
      QVERIFY2(compared > 500, qPrintable(name + QStringLiteral(": %1 reflection pixels").arg(compared)));
    }
  }

  // The preview is the window's own: the exports and the copy write the bytes they always wrote,
  // whichever previews came before them. The checksums are those of the files written before the
  // preview took the rendering's blend.
  void ExportsKeepTheirBytes() {
    LoadFlat({60, 150, 230, 255});
    ui->trcYaw->SetPosition(2);
    ui->trcMargin->SetPosition(1);
    Export(ui->actExportBMP24, Path("a.bmp"));
    Export(ui->actExportBMP32, Path("b.bmp"));
    ui->actCopy->trigger();
    const std::uint32_t copy = Checksum(Rows(clipboard->Bitmap));
    Export(ui->actExportPNG, Path("c.png"));
    QCOMPARE(Checksum(FileBytes(*dir / "a.bmp")), 0xa2ec616bu);
    QCOMPARE(Checksum(FileBytes(*dir / "b.bmp")), 0x1ed3e479u);
    QCOMPARE(copy, 0xd67b67feu);
    // A PNG file carries the time of its writing; its pixels are what stays.
    QCOMPARE(Checksum(DecodeWithLibpng(FileBytes(*dir / "c.png")).Samples), 0x5e5be3f4u);
  }
};

}  // namespace

std::unique_ptr<QObject> MakeFileCommandTests() { return std::make_unique<TFilesTest>(); }

#include "files_test.moc"
