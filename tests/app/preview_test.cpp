// The preview on screen against the final rendering on screen: what the user judges by eye while
// moving the sliders is what the rendering (and so every export) shows.
#include <QAction>
#include <QImage>
#include <QTest>
#include <cstdlib>
#include <zlib.h>

#include "app/Unit1.h"
#include "tests/app/form_controls.h"
#include "tests/app/recording_dialogs.h"
#include "tests/app/suites.h"
#include "tests/picture/bmp_builder.h"
#include "tests/picture/png/png_test_support.h"
#include "tests/support/pixel_checks.h"
#include "tests/support/recording_clipboard.h"
#include "tests/support/temp_dir.h"

namespace {

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

class TPreviewTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TempDir> dir;
  std::unique_ptr<TForm1> form;
  std::unique_ptr<TForm1Controls> ui;
  TRecordingDialogs* dialogs = nullptr;

  QImage Screen() const { return ui->ClientArea->grab().toImage(); }

  void LoadFlatPicture(TBGRA colour) {
    PutFile(*dir / "flat.bmp", FlatBmp(40, 30, colour));
    dialogs->FileAnswers.push_back(QString::fromStdString(*dir / "flat.bmp"));
    ui->actOpen->trigger();
    QCOMPARE(PixelOf(form->State().SourceImage, 5, 5), colour);
  }

 private slots:
  void init() {
    dir = std::make_unique<TempDir>();
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
    dir.reset();
  }

  // A preview that scaled the reflection's colour by its opacity, and was then composited by that
  // opacity again, showed the reflection far darker than the rendering saves it.
  void TheScreenShowsTheReflectionAsTheRenderingWill() {
    LoadFlatPicture({60, 150, 230, 255});

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
      const QImage previewScreen = Screen();
      ui->actRendering->trigger();
      const QImage finalScreen = Screen();

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
    auto recordingClipboard = std::make_unique<TRecordingClipboard>();
    TRecordingClipboard* clipboard = recordingClipboard.get();
    form->SetClipboard(std::move(recordingClipboard));
    LoadFlatPicture({60, 150, 230, 255});
    ui->trcYaw->SetPosition(2);
    ui->trcMargin->SetPosition(1);
    dialogs->FileAnswers.push_back(QString::fromStdString(*dir / "a.bmp"));
    ui->actExportBMP24->trigger();
    dialogs->FileAnswers.push_back(QString::fromStdString(*dir / "b.bmp"));
    ui->actExportBMP32->trigger();
    ui->actCopy->trigger();
    const std::uint32_t copy = Checksum(Rows(clipboard->Bitmap));
    dialogs->FileAnswers.push_back(QString::fromStdString(*dir / "c.png"));
    ui->actExportPNG->trigger();
    QCOMPARE(Checksum(FileBytes(*dir / "a.bmp")), 0xa2ec616bu);
    QCOMPARE(Checksum(FileBytes(*dir / "b.bmp")), 0x1ed3e479u);
    QCOMPARE(copy, 0xd67b67feu);
    // A PNG file carries the time of its writing; its pixels are what stays.
    QCOMPARE(Checksum(DecodeWithLibpng(FileBytes(*dir / "c.png")).Samples), 0x5e5be3f4u);
  }
};

}  // namespace

std::unique_ptr<QObject> MakePreviewTests() { return std::make_unique<TPreviewTest>(); }

#include "preview_test.moc"
