#include "resample/sampling.h"

#include <gtest/gtest.h>

#include <array>
#include <random>

#include "resample/resize.h"
#include "toolkit/errors.h"
#include "tests/resample/resample_test_images.h"

namespace {

using namespace resample_test;

const ResizeProgressInfo NoProgress{};

TEST(ResizeNearest, TakesThePixelAtEachCellsLeadingEdge) {
  EXPECT_EQ(GreyValues(*ResizeNearest(GreyRow({10, 20}), 4, 1, NoProgress), 0, 3), (std::vector<int>{10, 10, 20, 20}));
  EXPECT_EQ(GreyValues(*ResizeNearest(GreyRow({1, 2, 3, 4}), 2, 1, NoProgress), 0, 3), (std::vector<int>{1, 3}));

  // Rows follow the same rule, and 32-bit pixels keep their alpha.
  const TBitmap wide = Pattern(2, 4, pf32bit);
  const auto shrunk = ResizeNearest(wide, 4, 2, NoProgress);
  ASSERT_EQ(shrunk->PixelFormat(), pf32bit);
  EXPECT_EQ(RowBytes(*shrunk, 1, 4)[4 * 3 + 3], wide.ScanLine(2)[4 + 3]);
  for (int x = 0; x < 4; ++x)
    EXPECT_TRUE(std::equal(shrunk->ScanLine(1) + 4 * x, shrunk->ScanLine(1) + 4 * x + 4, wide.ScanLine(2) + 4 * (x / 2)));
}

TEST(ResizeNearest, CopiesIndicesButNotTheColourTable) {
  TBitmap indexed(2, 1, pf8bit);
  indexed.Palette()[7] = {1, 2, 3, 0};
  indexed.ScanLine(0)[0] = 7;
  indexed.ScanLine(0)[1] = 200;
  const auto result = ResizeNearest(indexed, 4, 3, NoProgress);
  ASSERT_NE(result, nullptr);
  for (int y = 0; y < 3; ++y) EXPECT_EQ(RowBytes(*result, y, 1), (std::vector<std::uint8_t>{7, 7, 200, 200}));
  EXPECT_EQ(result->Palette(), HalftonePalette());
}

TEST(ResizeBilinear, BlendsTowardTheNextPixelAndRepeatsTheLastOne) {
  EXPECT_EQ(GreyValues(*ResizeBilinear(GreyRow({0, 100}), 4, 1, NoProgress), 0, 3), (std::vector<int>{0, 50, 100, 100}));
  // 0.5 lies halfway between 0 and 1 and goes to the even one.
  EXPECT_EQ(GreyValues(*ResizeBilinear(GreyRow({0, 1}), 4, 1, NoProgress), 0, 3), (std::vector<int>{0, 0, 1, 1}));

  // Both directions at once: a 2 x 2 image of 0, 100 / 200, 40 doubled.
  TBitmap square(2, 2, pf24bit);
  const std::uint8_t values[2][2] = {{0, 100}, {200, 40}};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x) std::fill_n(square.ScanLine(y) + 3 * x, 3, values[y][x]);
  const auto grown = ResizeBilinear(square, 4, 4, NoProgress);
  EXPECT_EQ(GreyValues(*grown, 0, 3), (std::vector<int>{0, 50, 100, 100}));
  EXPECT_EQ(GreyValues(*grown, 1, 3), (std::vector<int>{100, 85, 70, 70}));  // (0+200)/2, mean of 4, (100+40)/2
  EXPECT_EQ(GreyValues(*grown, 3, 3), (std::vector<int>{200, 120, 40, 40}));

  EXPECT_EQ(ResizeBilinear(Pattern(2, 2, pf32bit), 4, 4, NoProgress), nullptr);
}

TEST(ResizeAverage, WeighsEachSourceCellByTheShareItCovers) {
  EXPECT_EQ(GreyValues(*ResizeAverage(GreyRow({0, 0, 255, 255}), 2, 1, NoProgress), 0, 3), (std::vector<int>{0, 255}));
  EXPECT_EQ(GreyValues(*ResizeAverage(GreyRow({0, 90, 180}), 2, 1, NoProgress), 0, 3), (std::vector<int>{30, 150}));

  // The exact mean 127.5 falls just below the half because each cell is shortened.
  TBitmap pair(2, 1, pf32bit);
  std::fill_n(pair.ScanLine(0), 4, 255);
  EXPECT_EQ(RowBytes(*ResizeAverage(pair, 1, 1, NoProgress), 0, 4), (std::vector<std::uint8_t>(4, 127)));

  // A uniform image stays uniform, alpha included.
  const std::array<std::uint8_t, 4> kColour = {10, 20, 30, 255};
  TBitmap uniform(10, 10, pf32bit);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) std::copy_n(kColour.begin(), 4, uniform.ScanLine(y) + 4 * x);
  const auto small = ResizeAverage(uniform, 2, 2, NoProgress);
  for (int y = 0; y < 2; ++y)
    EXPECT_EQ(RowBytes(*small, y, 4), (std::vector<std::uint8_t>{10, 20, 30, 255, 10, 20, 30, 255}));

  // Alpha is averaged like a colour: 12 opaque pixels of 25 give 3060 / 25 = 122.4. The colour of
  // the transparent pixels enters the colour mean too.
  TBitmap block(5, 5, pf32bit);
  for (int i = 0; i < 25; ++i) {
    std::uint8_t* p = block.ScanLine(i / 5) + 4 * (i % 5);
    p[2] = 100;                      // red everywhere, transparent pixels included
    p[3] = i < 12 ? 255 : 0;
  }
  EXPECT_EQ(RowBytes(*ResizeAverage(block, 1, 1, NoProgress), 0, 4), (std::vector<std::uint8_t>{0, 0, 100, 122}));
}

TEST(ResizeAverage, GrowingSidesTakeTheCellsTheirSmallIntervalsTouch) {
  EXPECT_EQ(GreyValues(*ResizeAverage(GreyRow({40, 200}), 4, 1, NoProgress), 0, 3), (std::vector<int>{40, 40, 200, 200}));
  // Three new cells over two source cells: the middle one straddles the boundary.
  EXPECT_EQ(GreyValues(*ResizeAverage(GreyRow({0, 240}), 3, 1, NoProgress), 0, 3), (std::vector<int>{0, 120, 240}));
}

TEST(ResizeAverage, FailuresWhileComputingGiveNoResultButSizeErrorsPassOn) {
  const TBitmap colour = Pattern(6, 6, pf24bit);
  EXPECT_EQ(ResizeAverage(colour, 0, 3, NoProgress), nullptr);
  EXPECT_EQ(ResizeAverage(colour, 3, 0, NoProgress), nullptr);
  EXPECT_EQ(ResizeBitmap(colour, 0, 0, rmAverage), nullptr);
  EXPECT_EQ(ResizeAverage(TBitmap(0, 4, pf32bit), 2, 2, NoProgress), nullptr);
  EXPECT_THROW(ResizeAverage(colour, -1, 3, NoProgress), EOutOfResources);
  EXPECT_THROW(ResizeBitmap(colour, 70000, 70000, rmAverage), EOutOfResources);
  EXPECT_THROW(ResizeBitmap(colour, -2, 3, rmNearest), EOutOfResources);
}

TEST(ResizeModes, KeepAUniformImageUniformAtAnyRatioAndNeverReadOutside) {
  // Run under the address sanitizer, odd ratios in both directions expose any read past an edge;
  // a uniform source shows any weight or index that goes astray.
  const std::array<std::uint8_t, 4> kPixel = {200, 100, 50, 255};
  TBitmap colour(7, 5, pf24bit), wide(7, 5, pf32bit);
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 7; ++x) {
      std::copy_n(kPixel.begin(), 3, colour.ScanLine(y) + 3 * x);
      std::copy_n(kPixel.begin(), 4, wide.ScanLine(y) + 4 * x);
    }
  }
  for (int width : {1, 2, 3, 6, 8, 13, 50})
    for (int height : {1, 4, 9, 31}) {
      for (TResizeMode mode : {rmStretch, rmNearest, rmBilinear, rmAverage}) {
        SCOPED_TRACE(::testing::Message() << width << " x " << height << " mode " << int(mode));
        const auto result = ResizeBitmap(colour, width, height, mode);
        ASSERT_NE(result, nullptr);
        ASSERT_EQ(result->Width(), width);
        ASSERT_EQ(result->Height(), height);
        for (int y = 0; y < height; ++y)
          for (int x = 0; x < width; ++x)
            ASSERT_EQ(result->ScanLine(y)[3 * x] | result->ScanLine(y)[3 * x + 1] << 8 | result->ScanLine(y)[3 * x + 2] << 16,
                      200 | 100 << 8 | 50 << 16);
      }
      const auto averaged = ResizeBitmap(wide, width, height, rmAverage);
      ASSERT_NE(averaged, nullptr);
      EXPECT_EQ(averaged->ScanLine(height - 1)[4 * (width - 1) + 3], 255);
    }

  // Empty sources give no result where there are pixels to fill, and never a read.
  const TBitmap empty(0, 3, pf24bit);
  for (TResizeMode mode : {rmNearest, rmBilinear, rmAverage}) EXPECT_EQ(ResizeBitmap(empty, 4, 4, mode), nullptr);
  EXPECT_EQ(ResizeNearest(empty, 0, 6, NoProgress)->Height(), 6);
}

TEST(ResizeAverage, FiveFoldShrinkIsTheRoundedMeanOfEachBlock) {
  // The final rendering's case: every byte the plain rounded mean of its 5 x 5 block (a mean of 25
  // bytes is never halfway between integers, so there is no tie to settle).
  std::mt19937 random(20261207);
  for (TPixelFormat format : {pf32bit, pf24bit}) {
    const int bytes = format == pf32bit ? 4 : 3;
    TBitmap source(60, 45, format);
    for (int y = 0; y < 45; ++y)
      for (int i = 0; i < 60 * bytes; ++i) source.ScanLine(y)[i] = std::uint8_t(random());
    const auto small = ResizeBitmap(source, 12, 9, rmAverage);
    ASSERT_NE(small, nullptr);
    for (int y = 0; y < 9; ++y)
      for (int x = 0; x < 12; ++x)
        for (int b = 0; b < bytes; ++b) {
          int sum = 0;
          for (int s = 0; s < 5; ++s)
            for (int t = 0; t < 5; ++t) sum += source.ScanLine(5 * y + s)[(5 * x + t) * bytes + b];
          ASSERT_EQ(small->ScanLine(y)[x * bytes + b], (sum + 12) / 25) << x << "," << y << " byte " << b;
        }
  }
}

}  // namespace
