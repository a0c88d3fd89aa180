#include "toolkit/alpha_image.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "toolkit/errors.h"

namespace {

TEST(ExtractAlphaMask, TakesAlphaPlainOrInvertedFromTheTopRowDown) {
  TBitmap image(3, 2, pf32bit);
  const std::uint8_t alphas[2][3] = {{0, 128, 255}, {7, 200, 1}};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) {
      image.ScanLine(y)[4 * x] = 99;  // colour must not leak into the mask
      image.ScanLine(y)[4 * x + 3] = alphas[y][x];
    }
  const auto plain = ExtractAlphaMask(image, false);
  const auto inverted = ExtractAlphaMask(image, true);
  ASSERT_EQ(plain->PixelFormat(), pf8bit);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) {
      EXPECT_EQ(plain->ScanLine(y)[x], alphas[y][x]);
      EXPECT_EQ(inverted->ScanLine(y)[x], 255 - alphas[y][x]);
    }
  EXPECT_THROW(ExtractAlphaMask(TBitmap(2, 2, pf24bit), false), Exception);
}

TEST(CompositeOnColor, BlendsStraightAlphaOverTheColourAtThePosition) {
  TBitmap image(3, 1, pf32bit);
  const TBGRA pixels[3] = {{10, 20, 30, 0}, {10, 20, 30, 255}, {255, 255, 255, 128}};
  std::memcpy(image.ScanLine(0), pixels, sizeof pixels);

  TBitmap target(5, 3, pf24bit);
  std::memset(target.Bits(), 77, target.BitsSize());
  TBitmapCanvas canvas(target);
  CompositeOnColor(canvas, 1, 2, image, clBlack);
  const std::uint8_t expected[5 * 3] = {77, 77, 77, 0, 0, 0, 10, 20, 30, 128, 128, 128, 77, 77, 77};
  EXPECT_EQ(std::memcmp(target.ScanLine(2), expected, sizeof expected), 0);
  EXPECT_EQ(target.ScanLine(1)[3], 77);  // rows above untouched

  // Over another colour the transparent pixel takes the colour, red in its own byte.
  CompositeOnColor(canvas, 0, 0, image, RGB(200, 100, 0));
  const std::uint8_t overColour[3 * 3] = {0, 100, 200, 10, 20, 30, 128, 178, 228};
  EXPECT_EQ(std::memcmp(target.ScanLine(0), overColour, sizeof overColour), 0);
  EXPECT_THROW(CompositeOnColor(canvas, 0, 0, TBitmap(1, 1, pf24bit), clBlack), Exception);
}

// Every alpha, background channel and image channel against the blend in floating point that
// the integers replace: a = alpha / 255 held as a single, round((1 - a) x fill + a x value) in
// extended precision, halves to even. The three channels carry different values, so a channel
// taken for another shows too.
TEST(BlendOnColor, EqualsTheFloatingPointBlendForEveryAlphaBackgroundAndValue) {
  TBitmap image(256, 256, pf32bit);
  auto green = [](int v) { return 255 - v; };
  auto red = [](int v) { return v ^ 0xA5; };
  for (int alpha = 0; alpha < 256; ++alpha)
    for (int v = 0; v < 256; ++v) {
      std::uint8_t* p = image.ScanLine(alpha) + 4 * v;
      p[0] = std::uint8_t(v), p[1] = std::uint8_t(green(v)), p[2] = std::uint8_t(red(v)), p[3] = std::uint8_t(alpha);
    }
  std::vector<std::uint8_t> expected(256 * 256);
  for (int fill = 0; fill < 256; ++fill) {
    for (int alpha = 0; alpha < 256; ++alpha) {
      const long double a = static_cast<float>(alpha / 255.0L);
      for (int v = 0; v < 256; ++v) expected[std::size_t(alpha * 256 + v)] = std::uint8_t(std::rint((1 - a) * fill + a * v));
    }
    const TBitmap blended = BlendOnColor(image, RGB(std::uint8_t(fill), std::uint8_t(fill), std::uint8_t(fill)));
    for (int alpha = 0; alpha < 256; ++alpha)
      for (int v = 0; v < 256; ++v) {
        const std::uint8_t* p = blended.ScanLine(alpha) + 3 * v;
        const std::uint8_t* e = &expected[std::size_t(alpha * 256)];
        ASSERT_TRUE(p[0] == e[v] && p[1] == e[green(v)] && p[2] == e[red(v)])
            << "fill " << fill << " alpha " << alpha << " value " << v;
      }
  }
}

}  // namespace
