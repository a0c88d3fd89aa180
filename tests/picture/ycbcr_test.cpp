#include "picture/ycbcr.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

// Over seeded random samples of every matrix, range and depth, each channel is the exact real
// conversion, 255 times its value rounded half up and clamped, except where the exact value lies
// within 1/1000 of a half level (where the fixed point may round either way).
TEST(YCbCr, ConversionIsTheExactFormulaRounded) {
  const struct {
    TYCbCrMatrix matrix;
    long double kr, kb;
  } matrices[] = {{TYCbCrMatrix::BT601, 0.299L, 0.114L},
                  {TYCbCrMatrix::BT709, 0.2126L, 0.0722L},
                  {TYCbCrMatrix::BT2020, 0.2627L, 0.0593L},
                  {TYCbCrMatrix::FCC, 0.30L, 0.11L},
                  {TYCbCrMatrix::SMPTE240, 0.212L, 0.087L}};
  std::mt19937 random(42);
  long checked = 0;
  for (const auto& m : matrices)
    for (bool full : {true, false})
      for (int bits : {8, 10, 12}) {
        const TYCbCrConversion c = YCbCrConversion(m.matrix, full, bits);
        const long double top = (1 << bits) - 1, step = 1 << (bits - 8);
        std::uniform_int_distribution<int> sample(0, int(top));
        for (int i = 0; i < 20000; ++i) {
          const int y = sample(random), cb = sample(random), cr = sample(random);
          const long double yn = full ? y / top : (y - 16 * step) / (219 * step);
          const long double u = full ? (cb - (1 << (bits - 1))) / top : (cb - (1 << (bits - 1))) / (224 * step);
          const long double v = full ? (cr - (1 << (bits - 1))) / top : (cr - (1 << (bits - 1))) / (224 * step);
          const long double kg = 1 - m.kr - m.kb;
          const long double exact[3] = {yn + 2 * (1 - m.kb) * u,
                                        yn - 2 * m.kb * (1 - m.kb) / kg * u - 2 * m.kr * (1 - m.kr) / kg * v,
                                        yn + 2 * (1 - m.kr) * v};
          std::uint8_t out[3];
          YCbCrToBGR(c, std::uint32_t(y), std::uint32_t(cb), std::uint32_t(cr), out);
          for (int k = 0; k < 3; ++k) {
            const long double level = 255 * exact[k];
            if (std::fabs(level - std::floor(level) - 0.5L) < 1e-3L) continue;
            const long double expected = std::clamp(std::floor(level + 0.5L), 0.0L, 255.0L);
            ASSERT_EQ(out[k], int(expected)) << "matrix " << int(m.matrix) << (full ? " full" : " limited") << " " << bits
                                             << " bits, Y " << y << " Cb " << cb << " Cr " << cr << " channel " << k;
            ++checked;
          }
        }
      }
  EXPECT_GT(checked, 1780000);
}

// The fixed points of the ranges and the identity matrix's plane order, exactly.
TEST(YCbCr, BlackWhiteGreyAndIdentityAreExact) {
  const struct {
    TYCbCrMatrix matrix;
    bool full;
    int bits;
    std::uint32_t y, cb, cr;
    std::uint8_t b, g, r;
  } cases[] = {
      {TYCbCrMatrix::BT601, true, 8, 255, 128, 128, 255, 255, 255},
      {TYCbCrMatrix::BT601, true, 8, 0, 128, 128, 0, 0, 0},
      {TYCbCrMatrix::BT709, false, 8, 16, 128, 128, 0, 0, 0},
      {TYCbCrMatrix::BT709, false, 8, 235, 128, 128, 255, 255, 255},
      {TYCbCrMatrix::BT2020, false, 10, 940, 512, 512, 255, 255, 255},
      {TYCbCrMatrix::BT2020, false, 10, 64, 512, 512, 0, 0, 0},
      {TYCbCrMatrix::BT601, false, 8, 0, 128, 128, 0, 0, 0},      // below black clamps
      {TYCbCrMatrix::BT601, true, 8, 128, 255, 128, 255, 84, 128},  // strong blue difference
      {TYCbCrMatrix::Identity, true, 8, 10, 20, 30, 20, 10, 30},   // G, B, R planes
      {TYCbCrMatrix::Identity, true, 10, 1023, 512, 0, 128, 255, 0},
  };
  for (const auto& c : cases) {
    std::uint8_t out[3];
    YCbCrToBGR(YCbCrConversion(c.matrix, c.full, c.bits), c.y, c.cb, c.cr, out);
    EXPECT_EQ(out[0], c.b) << c.y << " " << c.cb << " " << c.cr;
    EXPECT_EQ(out[1], c.g) << c.y << " " << c.cb << " " << c.cr;
    EXPECT_EQ(out[2], c.r) << c.y << " " << c.cb << " " << c.cr;
  }
  // Deeper samples to the nearest level; a half level (never reached by 255 / m) cannot occur.
  EXPECT_EQ(ScaleTo8Bits(1023, 10), 255);
  EXPECT_EQ(ScaleTo8Bits(2, 10), 0);
  EXPECT_EQ(ScaleTo8Bits(3, 10), 1);
  EXPECT_EQ(ScaleTo8Bits(2047, 12), 127);
  EXPECT_EQ(ScaleTo8Bits(2056, 12), 128);
  EXPECT_EQ(LumaTo8Bits(YCbCrConversion(TYCbCrMatrix::BT601, false, 8), 126), 128);
}
