#include "picture/export.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <random>

#include "picture/bmp_file.h"
#include "picture/png/RFLPNG.h"
#include "tests/support/recording_clipboard.h"
#include "tests/support/temp_dir.h"
#include "toolkit/alpha_image.h"
#include "toolkit/canvas.h"
#include "toolkit/errors.h"

namespace {

class Export : public testing::Test {
 protected:
  std::string File(const std::string& name) const { return folder_ / name; }

  TRenderingSource Source() {
    return [this] {
      ++renders_;
      return std::make_unique<TBitmap>(5, 3, pf32bit);
    };
  }

  TempDir folder_;
  int renders_ = 0;  // final renderings asked for
  TRecordingClipboard clipboard_;
};

// The PNG bytes with the time chunk's data and checksum blanked: they follow the clock.
std::vector<std::uint8_t> WithoutTime(std::vector<std::uint8_t> png) {
  const char type[] = "tIME";
  const auto at = std::search(png.begin(), png.end(), type, type + 4);
  if (at != png.end() && png.end() - at >= 4 + 7 + 4) std::fill(at + 4, at + 4 + 7 + 4, std::uint8_t(0));
  return png;
}

}  // namespace

// The exports hand the rendering, its mask and its composite on without copying them: the files
// and the clipboard get what copies of them gave, byte for byte. An odd width gives the 24-bit rows
// padding.
TEST_F(Export, WritesWhatCopiesOfTheRenderingGive) {
  TBitmap rendering(7, 5, pf32bit);
  std::mt19937 random(7);
  for (std::size_t i = 0; i < rendering.BitsSize(); ++i) rendering.Bits()[i] = std::uint8_t(random());
  const TRenderingSource source = [&] { return std::make_unique<TBitmap>(rendering); };

  ExportPNG(source, File("a.png"), clipboard_);
  TRFLPNG copied;
  copied.AssignPicture(rendering);
  copied.UseAlpha = true;
  copied.SetAlphaMask(*ExtractAlphaMask(rendering, true));
  TMemoryStream expected;
  copied.SavePngToStream(expected);
  EXPECT_EQ(WithoutTime(FileBytes(File("a.png"))), WithoutTime(expected.Data()));
  ASSERT_EQ(clipboard_.Stores, 1);
  EXPECT_EQ(clipboard_.Bitmap.PixelFormat(), pf32bit);
  EXPECT_EQ(clipboard_.Palette, rendering.Palette());
  ASSERT_EQ(clipboard_.Bitmap.BitsSize(), rendering.BitsSize());
  EXPECT_EQ(std::memcmp(clipboard_.Bitmap.Bits(), rendering.Bits(), rendering.BitsSize()), 0);

  // Over black: the blend drawn on a new 24-bit image of the rendering's size.
  TBitmap drawn(7, 5, pf24bit);
  TBitmapCanvas canvas(drawn);
  CompositeOnColor(canvas, 0, 0, rendering, clBlack);
  WriteBitmapFile(drawn, File("expected.bmp"));
  ExportBMP24(source, File("b.bmp"));
  EXPECT_EQ(FileBytes(File("b.bmp")), FileBytes(File("expected.bmp")));
  CopyToClipboard(source, clipboard_);
  ASSERT_EQ(clipboard_.Bitmap.BitsSize(), drawn.BitsSize());
  EXPECT_EQ(std::memcmp(clipboard_.Bitmap.Bits(), drawn.Bits(), drawn.BitsSize()), 0);
}

TEST_F(Export, FailuresPassThroughAndStopTheLaterSteps) {
  // A folder that does not exist: the writer's error, and the PNG never reaches the clipboard.
  const std::string nowhere = File("missing/out");
  EXPECT_THROW(ExportBMP24(Source(), nowhere + ".bmp"), EFCreateError);
  EXPECT_THROW(ExportBMP32(Source(), nowhere + ".bmp"), EFCreateError);
  EXPECT_THROW(ExportPNG(Source(), nowhere + ".png", clipboard_), Exception);
  EXPECT_EQ(clipboard_.Stores, 0);
  EXPECT_EQ(renders_, 3) << "the rendering comes first, so the window shows it whatever fails after";

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

// The PNG of a rendering whose rows are made only as the writer reaches them (each row is still
// blank until its awaitRow call, which paints it) is WriteRendering's PNG of the finished rendering,
// byte for byte: rows of every kind of alpha, an odd width, and a height of one row. Every row is
// awaited once, in order.
TEST(WriteRenderingPNGAsRowsArrive, EqualsThePNGOfTheFinishedRendering) {
  const TUtcClock clock = [] { return PngTime{2026, 12, 8, 6, 30, 0}; };
  std::mt19937 random(8);
  for (const auto& [width, height] : {std::pair{37, 29}, std::pair{512, 3}, std::pair{1, 1}, std::pair{6, 1}}) {
    TBitmap finished(width, height, pf32bit);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        const std::uint8_t alpha[] = {0, 255, std::uint8_t(random())};
        const std::uint8_t pixel[4] = {std::uint8_t(random()), std::uint8_t(random()), std::uint8_t(random()),
                                       alpha[random() % 3]};
        std::memcpy(finished.ScanLine(y) + 4 * x, pixel, 4);
      }
    TMemoryStream expected;
    WriteRendering(finished, TExportFormat::PNG, expected, clock);

    TBitmap arriving(width, height, pf32bit);
    std::vector<int> awaited;
    TMemoryStream written;
    WriteRenderingPNGAsRowsArrive(
        arriving,
        [&](int y) {
          awaited.push_back(y);
          std::memcpy(arriving.ScanLine(y), finished.ScanLine(y), std::size_t(width) * 4);
        },
        written, clock);
    EXPECT_EQ(written.Data(), expected.Data()) << width << "x" << height;
    std::vector<int> inOrder(static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) inOrder[std::size_t(y)] = y;
    EXPECT_EQ(awaited, inOrder);
  }
}

// What awaiting a row raises (a failed band of the rendering) stops the writing and comes out.
TEST(WriteRenderingPNGAsRowsArrive, AFailureWhileAwaitingARowComesOut) {
  const TBitmap rendering(16, 16, pf32bit);
  TMemoryStream stream;
  int awaited = 0;
  EXPECT_THROW(WriteRenderingPNGAsRowsArrive(
                   rendering,
                   [&](int y) {
                     ++awaited;
                     if (y == 9) throw EOutOfResources("band");
                   },
                   stream),
               EOutOfResources);
  EXPECT_EQ(awaited, 10);
}
