#include "toolkit/bitmap.h"

#include <gtest/gtest.h>

#include "toolkit/canvas.h"
#include "toolkit/errors.h"

namespace {

TEST(TBitmap, StoresRowsBottomUpWithPaddedStrides) {
  TBitmap image(3, 2, pf24bit);
  EXPECT_EQ(image.Stride(), 12u);  // 9 bytes of pixels, padded to 12
  EXPECT_EQ(image.BitsSize(), 24u);
  // Row 0 is the top row of the picture and is stored last.
  EXPECT_EQ(image.ScanLine(1), image.Bits());
  EXPECT_EQ(image.ScanLine(0), image.Bits() + 12);

  TBitmap wide(5, 3, pf32bit);
  EXPECT_EQ(wide.Stride(), 20u);
  EXPECT_EQ(wide.ScanLine(2), wide.Bits());

  TBitmap topDown;
  topDown.Create(2, 2, pf8bit, /*topDown=*/true);
  EXPECT_EQ(topDown.ScanLine(0), topDown.Bits());
  EXPECT_THROW(topDown.ScanLine(2), Exception);
  EXPECT_THROW(topDown.ScanLine(-1), Exception);
}

TEST(TBitmap, RefusesNegativeAndHugeSizesWithoutAllocating) {
  EXPECT_THROW(TBitmap(-1, 5, pf32bit), EOutOfResources);
  EXPECT_THROW(TBitmap(5, -1, pf32bit), EOutOfResources);
  // 16385 x 16385 x 4 bytes passes 1 GiB; so does the largest width at any real height.
  EXPECT_THROW(TBitmap(16385, 16385, pf32bit), EOutOfResources);
  EXPECT_THROW(TBitmap(0x7FFFFFFF, 2, pf32bit), EOutOfResources);
  TBitmap image(4, 4, pf32bit);
  EXPECT_THROW(image.SetSize(0x7FFFFFFF, 0x7FFFFFFF), EOutOfResources);
  EXPECT_EQ(image.Width(), 4);  // a refused size leaves the image as it was
  EXPECT_EQ(image.BitsSize(), 64u);
  EXPECT_NO_THROW(TBitmap(0, 0, pf32bit));
}

TEST(TBitmap, ConvertsTo32BitWithFourthByteZeroAndBackTo24Bit) {
  TBitmap image(2, 2, pf24bit);
  const std::uint8_t top[6] = {1, 2, 3, 4, 5, 6};
  const std::uint8_t bottom[6] = {7, 8, 9, 10, 11, 12};
  std::copy(top, top + 6, image.ScanLine(0));
  std::copy(bottom, bottom + 6, image.ScanLine(1));

  image.SetPixelFormat(pf32bit);
  ASSERT_EQ(image.PixelFormat(), pf32bit);
  const std::uint8_t* row0 = image.ScanLine(0);
  EXPECT_EQ((std::vector<int>(row0, row0 + 8)), (std::vector<int>{1, 2, 3, 0, 4, 5, 6, 0}));
  const std::uint8_t* row1 = image.ScanLine(1);
  EXPECT_EQ((std::vector<int>(row1, row1 + 8)), (std::vector<int>{7, 8, 9, 0, 10, 11, 12, 0}));

  image.ScanLine(0)[3] = 200;  // alpha is dropped on the way back
  image.SetPixelFormat(pf24bit);
  ASSERT_EQ(image.PixelFormat(), pf24bit);
  EXPECT_EQ((std::vector<int>(image.ScanLine(0), image.ScanLine(0) + 6)), (std::vector<int>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ((std::vector<int>(image.ScanLine(1), image.ScanLine(1) + 6)), (std::vector<int>{7, 8, 9, 10, 11, 12}));
}

// A picture in the screen's format (what run-length files decode to) may be as large as memory
// allows: it becomes 32-bit in its own pixel block, with fourth bytes 0 as any conversion gives.
TEST(TBitmap, ScreenFormatBecomes32BitInPlace) {
  TBitmap image(3, 2, pfDevice);
  for (std::size_t i = 0; i < image.BitsSize(); ++i) image.Bits()[i] = std::uint8_t(i + 1);
  image.Palette() = {{1, 2, 3, 0}};
  const std::uint8_t* block = image.Bits();
  image.SetPixelFormat(pf32bit);
  EXPECT_EQ(image.Bits(), block);
  EXPECT_EQ(image.PixelFormat(), pf32bit);
  EXPECT_TRUE(image.Palette().empty());
  EXPECT_EQ((std::vector<int>(image.ScanLine(1), image.ScanLine(1) + 8)), (std::vector<int>{1, 2, 3, 0, 5, 6, 7, 0}));
}

TEST(TBitmap, ConvertsIndexedAndMaskedPixelsThroughTheirTables) {
  TBitmap indexed(3, 1, pf8bit);
  indexed.Palette()[7] = {10, 20, 30, 99};
  indexed.ScanLine(0)[1] = 7;
  const TBitmap wide = ConvertTo32Bit(indexed);
  EXPECT_EQ(reinterpret_cast<const TBGRA*>(wide.ScanLine(0))[1], (TBGRA{10, 20, 30, 0}));

  TBitmap mono(9, 1, pf1bit);
  mono.ScanLine(0)[1] = 0x80;  // pixel 8 is set
  const TBitmap monoWide = ConvertTo32Bit(mono);
  EXPECT_EQ(reinterpret_cast<const TBGRA*>(monoWide.ScanLine(0))[8], (TBGRA{255, 255, 255, 0}));
  EXPECT_EQ(reinterpret_cast<const TBGRA*>(monoWide.ScanLine(0))[7], (TBGRA{0, 0, 0, 0}));

  TBitmap rgb565(2, 1, pf16bit);
  rgb565.ScanLine(0)[0] = 0xFF;  // 0xFFFF: every channel full
  rgb565.ScanLine(0)[1] = 0xFF;
  rgb565.ScanLine(0)[2] = 0x00;  // 0xF800: full red only
  rgb565.ScanLine(0)[3] = 0xF8;
  const TBitmap rgbWide = ConvertTo32Bit(rgb565);
  EXPECT_EQ(reinterpret_cast<const TBGRA*>(rgbWide.ScanLine(0))[0], (TBGRA{255, 255, 255, 0}));
  EXPECT_EQ(reinterpret_cast<const TBGRA*>(rgbWide.ScanLine(0))[1], (TBGRA{0, 0, 255, 0}));
}

TEST(TBitmap, CopiesOwnTheirPixelsAndChangesForgetTheFileHeader) {
  TBitmap image(2, 2, pf32bit);
  TBitmapInfoHeader header;
  header.biSize = 124;
  header.Extra.assign(84, 1);
  image.SetInfoHeader(header);
  image.ScanLine(0)[0] = 5;

  TBitmap copy = image;
  copy.ScanLine(0)[0] = 6;
  EXPECT_EQ(image.ScanLine(0)[0], 5);
  EXPECT_EQ(copy.InfoHeader().Extra.size(), 84u);
  TBitmap moved = std::move(copy);
  EXPECT_EQ(moved.ScanLine(0)[0], 6);
  copy = moved;  // a moved-from image takes a copy again
  EXPECT_EQ(copy.ScanLine(0)[0], 6);

  image.SetSize(3, 2);  // the header no longer describes the pixels
  EXPECT_EQ(image.InfoHeader().biSize, 0u);
  moved.SetPixelFormat(pf24bit);
  EXPECT_EQ(moved.InfoHeader().biSize, 0u);
  EXPECT_EQ(moved.ScanLine(0)[0], 6);
}

TEST(TBitmapCanvas, FillsAndDrawsClippedToTheTarget) {
  TBitmap target(4, 3, pf24bit);
  TBitmapCanvas canvas(target);
  canvas.FillRect({-5, -5, 50, 50}, RGB(1, 2, 3));
  EXPECT_EQ(target.ScanLine(2)[9], 3);  // blue byte of the last pixel
  EXPECT_EQ(target.ScanLine(2)[11], 1);

  TBitmap stamp(2, 2, pf32bit);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x) reinterpret_cast<TBGRA*>(stamp.ScanLine(y))[x] = {std::uint8_t(10 * y + x), 0, 0, 77};
  canvas.Draw(3, -1, stamp);  // only stamp pixel (0, 1) lands, at target (3, 0)
  EXPECT_EQ(target.ScanLine(0)[9], 10);
  EXPECT_EQ(target.ScanLine(1)[9], 3);  // untouched fill below it
  EXPECT_EQ(target.ScanLine(0)[6], 3);  // untouched fill to its left

  // Images of the target's own layout, clipped on the left and at the bottom, or on the top and the
  // right; a 32-bit image keeps its fourth byte on a 32-bit target.
  for (TPixelFormat format : {pf24bit, pf32bit}) {
    const int bytes = format == pf24bit ? 3 : 4;
    TBitmap surface(4, 3, format);
    TBitmapCanvas onSurface(surface);
    onSurface.FillRect({0, 0, 4, 3}, RGB(1, 2, 3));
    TBitmap tile(3, 3, format);
    for (int y = 0; y < 3; ++y)
      for (int i = 0; i < 3 * bytes; ++i) tile.ScanLine(y)[i] = std::uint8_t(100 + 10 * y + i);
    onSurface.Draw(-1, 1, tile);  // tile columns 1..2 of rows 0..1 land at columns 0..1 of rows 1..2
    onSurface.Draw(3, -2, tile);  // tile column 0 of row 2 lands at column 3 of row 0
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 4; ++x)
        for (int b = 0; b < bytes; ++b) {
          int expected = b == 3 ? 0 : 3 - b;
          if (y >= 1 && x <= 1) expected = 100 + 10 * (y - 1) + (x + 1) * bytes + b;
          if (y == 0 && x == 3) expected = 100 + 20 + b;
          ASSERT_EQ(surface.ScanLine(y)[x * bytes + b], expected) << bytes << " bytes, " << x << "," << y << " byte " << b;
        }
  }
}

}  // namespace
