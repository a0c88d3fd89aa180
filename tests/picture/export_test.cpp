#include "picture/export.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "picture/bmp_file.h"
#include "tests/picture/png/png_test_support.h"
#include "tests/support/recording_clipboard.h"
#include "tests/support/pixel_checks.h"
#include "tests/support/temp_dir.h"
#include "toolkit/errors.h"

namespace {

// A 5 x 3 rendering: opaque colours, a transparent pixel that carries colour (as the renderer's
// edge pixels do), half-transparent white, and a fading row.
TBitmap Rendering() {
  TBitmap image(5, 3, pf32bit);
  const TBGRA rows[3][5] = {
      {{0, 0, 255, 255}, {0, 255, 0, 255}, {255, 0, 0, 255}, {10, 20, 30, 0}, {255, 255, 255, 128}},
      {{40, 80, 120, 255}, {40, 80, 120, 200}, {40, 80, 120, 100}, {40, 80, 120, 1}, {0, 0, 0, 0}},
      {{255, 255, 255, 255}, {0, 0, 0, 255}, {1, 2, 3, 4}, {200, 100, 50, 64}, {9, 9, 9, 0}},
  };
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) reinterpret_cast<TBGRA*>(image.ScanLine(y))[x] = rows[y][x];
  return image;
}

class Export : public testing::Test {
 protected:
  std::string File(const std::string& name) const { return folder_ / name; }

  TRenderingSource Source() {
    return [this] {
      ++renders_;
      return std::make_unique<TBitmap>(Rendering());
    };
  }

  TempDir folder_;
  int renders_ = 0;
  TRecordingClipboard clipboard_;
};

}  // namespace

TEST_F(Export, BitmapFilesHoldTheCompositeOrTheAlphaAndLeaveTheClipboardAlone) {
  const TBitmap rendering = Rendering();
  ExportBMP24(Source(), File("a.bmp"));
  ExportBMP32(Source(), File("b.bmp"));
  EXPECT_EQ(renders_, 2);
  EXPECT_EQ(clipboard_.Stores, 0);

  TBitmap opaque;
  ReadBitmapFile(File("a.bmp"), opaque);
  ASSERT_EQ(opaque.PixelFormat(), pf24bit);
  TBitmap alpha;
  ReadBitmapFile(File("b.bmp"), alpha);
  ASSERT_EQ(alpha.PixelFormat(), pf32bit);
  ASSERT_EQ(opaque.Width(), 5);
  ASSERT_EQ(alpha.Height(), 3);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 5; ++x) {
      EXPECT_EQ(PixelOf(opaque, x, y), OverBlack(PixelOf(rendering, x, y))) << x << "," << y;
      EXPECT_EQ(PixelOf(alpha, x, y), PixelOf(rendering, x, y)) << x << "," << y;
    }
  }
  EXPECT_EQ(PixelOf(opaque, 4, 0), (TBGRA{128, 128, 128, 255})) << "white at half alpha";
  EXPECT_EQ(PixelOf(opaque, 3, 0), (TBGRA{0, 0, 0, 255})) << "transparent is black";
}

TEST_F(Export, PngCarriesAlphaAndPutsTheRenderingAsStoredOnTheClipboard) {
  const TBitmap rendering = Rendering();
  ExportPNG(Source(), File("c.png"), clipboard_);

  const DecodedPng png = DecodeWithLibpng(FileBytes(File("c.png")));
  ASSERT_TRUE(png.Ok);
  ASSERT_EQ(png.Channels, 4);
  ASSERT_EQ(png.Width, 5);
  ASSERT_EQ(png.Height, 3);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 5; ++x) {
      const std::uint8_t* s = &png.Samples[std::size_t((y * 5 + x) * 4)];
      const TBGRA expected = PixelOf(rendering, x, y);
      EXPECT_EQ(s[3], expected.Alpha) << x << "," << y;
      EXPECT_EQ((TBGRA{s[2], s[1], s[0], s[3]}), expected) << x << "," << y;
    }
  }

  ASSERT_EQ(clipboard_.Stores, 1);
  EXPECT_EQ(clipboard_.Bitmap.PixelFormat(), pf32bit);
  EXPECT_TRUE(clipboard_.Palette.empty());
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(PixelOf(clipboard_.Bitmap, x, y), PixelOf(rendering, x, y));
}

TEST_F(Export, CopyPutsTheCompositeOverBlackOnTheClipboard) {
  const TBitmap rendering = Rendering();
  CopyToClipboard(Source(), clipboard_);
  ASSERT_EQ(clipboard_.Stores, 1);
  ASSERT_EQ(clipboard_.Bitmap.PixelFormat(), pf24bit);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(PixelOf(clipboard_.Bitmap, x, y), OverBlack(PixelOf(rendering, x, y)));
}

TEST_F(Export, FailuresPassThroughAndStopTheLaterSteps) {
  // A folder that does not exist: the writer's error, and the PNG never reaches the clipboard.
  const std::string nowhere = File("missing/out");
  EXPECT_THROW(ExportBMP24(Source(), nowhere + ".bmp"), EFCreateError);
  EXPECT_THROW(ExportBMP32(Source(), nowhere + ".bmp"), EFCreateError);
  EXPECT_THROW(ExportPNG(Source(), nowhere + ".png", clipboard_), Exception);
  EXPECT_EQ(clipboard_.Stores, 0);

  // A clipboard held elsewhere: the PNG file is already written when the copy fails.
  clipboard_.Refuse = true;
  try {
    ExportPNG(Source(), File("d.png"), clipboard_);
    ADD_FAILURE() << "no clipboard error";
  } catch (const EClipboardException& e) {
    EXPECT_EQ(e.Message(), "クリップボードを開くことができません");
  }
  EXPECT_TRUE(std::filesystem::exists(File("d.png")));
  EXPECT_THROW(CopyToClipboard(Source(), clipboard_), EClipboardException);

  // A rendering that fails: nothing is written.
  const TRenderingSource failing = [] () -> std::unique_ptr<TBitmap> { throw EOutOfResources("画像が大きすぎます"); };
  EXPECT_THROW(ExportBMP24(failing, File("e.bmp")), EOutOfResources);
  EXPECT_FALSE(std::filesystem::exists(File("e.bmp")));
}
