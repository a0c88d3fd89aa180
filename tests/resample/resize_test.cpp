#include "resample/resize.h"

#include <gtest/gtest.h>

#include "resample/sampling.h"
#include "tests/resample/resample_test_images.h"

namespace {

using namespace resample_test;

TEST(ResizeBitmap, UnchangedSizeCopiesWhateverTheModeOrFormat) {
  TBitmap indexed = Pattern(6, 4, pf8bit);
  indexed.Palette()[3] = {1, 2, 3, 0};  // a table of its own, which the copy must keep
  TBitmap packed(5, 3, pf16bit);        // a format no sampling mode handles
  packed.ScanLine(1)[2] = 0xAB;
  const TBitmap wide = Pattern(7, 2, pf32bit);
  for (const TBitmap* source : std::vector<const TBitmap*>{&indexed, &packed, &wide}) {
    for (int mode : {0, 1, 2, 3, 4, 5, 9, 255}) {
      SCOPED_TRACE(mode);
      const auto copy = ResizeBitmap(*source, source->Width(), source->Height(), TResizeMode(mode));
      ASSERT_NE(copy, nullptr);
      EXPECT_NE(copy.get(), source);
      EXPECT_TRUE(SamePixels(*copy, *source));
      EXPECT_EQ(copy->Palette(), source->Palette());
    }
  }
}

TEST(ResizeBitmap, AutoAveragesOnlyWhenNoSideGrows) {
  // 24-bit: the height grows, so bilinear; the width shrinks and the height stays, so average.
  const TBitmap colour = Pattern(100, 50, pf24bit);
  const auto grown = ResizeBitmap(colour, 80, 60, rmAuto);
  ASSERT_NE(grown, nullptr);
  EXPECT_TRUE(SamePixels(*grown, *ResizeBitmap(colour, 80, 60, rmBilinear)));
  EXPECT_FALSE(SamePixels(*grown, *ResizeBitmap(colour, 80, 60, rmAverage)));
  const auto narrowed = ResizeBitmap(colour, 80, 50, rmAuto);
  ASSERT_NE(narrowed, nullptr);
  EXPECT_TRUE(SamePixels(*narrowed, *ResizeBitmap(colour, 80, 50, rmAverage)));
  EXPECT_FALSE(SamePixels(*narrowed, *ResizeBitmap(colour, 80, 50, rmBilinear)));

  // Bilinear handles 24-bit only: growing 8- and 32-bit sources get nothing, a shrinking 32-bit
  // source is averaged.
  EXPECT_EQ(ResizeBitmap(Pattern(10, 10, pf8bit), 20, 20, rmAuto), nullptr);
  EXPECT_EQ(ResizeBitmap(Pattern(10, 10, pf8bit), 5, 5, rmAuto), nullptr);
  EXPECT_EQ(ResizeBitmap(Pattern(100, 100, pf32bit), 120, 80, rmAuto), nullptr);
  EXPECT_EQ(ResizeBitmap(Pattern(100, 100, pf32bit), 80, 120, rmAuto), nullptr);
  const TBitmap wide = Pattern(100, 100, pf32bit);
  const auto shrunk = ResizeBitmap(wide, 30, 20, rmAuto);
  ASSERT_NE(shrunk, nullptr);
  EXPECT_TRUE(SamePixels(*shrunk, *ResizeBitmap(wide, 30, 20, rmAverage)));
}

TEST(ResizeBitmap, UnknownModesAndUnhandledFormatsGiveNoResult) {
  const TBitmap colour = Pattern(8, 8, pf24bit);
  for (int mode : {5, 9, 200, 255}) EXPECT_EQ(ResizeBitmap(colour, 4, 4, TResizeMode(mode)), nullptr) << mode;
  EXPECT_EQ(ResizeBitmap(Pattern(8, 8, pf32bit), 4, 4, rmBilinear), nullptr);
  EXPECT_EQ(ResizeBitmap(Pattern(8, 8, pf8bit), 4, 4, rmBilinear), nullptr);
  EXPECT_EQ(ResizeBitmap(Pattern(8, 8, pf8bit), 4, 4, rmAverage), nullptr);
  const TBitmap packed(8, 8, pf16bit), device(8, 8, pfDevice);
  for (TResizeMode mode : {rmNearest, rmBilinear, rmAverage}) {
    EXPECT_EQ(ResizeBitmap(packed, 4, 4, mode), nullptr);
    EXPECT_EQ(ResizeBitmap(device, 4, 4, mode), nullptr);
  }
}

TEST(ResizeStretch, RepeatsAndDropsPixelsInAnyFormatAndNeverThrows) {
  const auto grown = ResizeBitmap(GreyRow({10, 200}), 4, 2, rmStretch);
  ASSERT_NE(grown, nullptr);
  EXPECT_EQ(grown->PixelFormat(), pf24bit);
  for (int y = 0; y < 2; ++y) EXPECT_EQ(GreyValues(*grown, y, 3), (std::vector<int>{10, 10, 200, 200}));
  const auto shrunk = ResizeBitmap(GreyRow({1, 2, 3, 4}), 2, 1, rmStretch);
  EXPECT_EQ(GreyValues(*shrunk, 0, 3), (std::vector<int>{1, 3}));

  // Alpha travels with 32-bit pixels.
  TBitmap wide(1, 1, pf32bit);
  wide.ScanLine(0)[3] = 77;
  EXPECT_EQ(ResizeBitmap(wide, 3, 2, rmStretch)->ScanLine(1)[2 * 4 + 3], 77);

  // Indices keep their colours: the stretched image carries the source's own table.
  TBitmap indexed(2, 1, pf8bit);
  indexed.Palette()[0] = {9, 8, 7, 0};
  indexed.ScanLine(0)[1] = 0;
  indexed.ScanLine(0)[0] = 5;
  const auto stretchedIndexed = ResizeBitmap(indexed, 4, 1, rmStretch);
  ASSERT_NE(stretchedIndexed, nullptr);
  EXPECT_EQ(RowBytes(*stretchedIndexed, 0, 1), (std::vector<std::uint8_t>{5, 5, 0, 0}));
  EXPECT_EQ(stretchedIndexed->Palette(), indexed.Palette());

  // A size the image class refuses is a failure, not an error.
  std::unique_ptr<TBitmap> refused;
  EXPECT_NO_THROW(refused = ResizeStretch(GreyRow({1, 2}), -3, 4));
  EXPECT_EQ(refused, nullptr);
  EXPECT_EQ(ResizeStretch(GreyRow({1}), 70000, 70000), nullptr);
}

}  // namespace
