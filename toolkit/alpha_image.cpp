#include "toolkit/alpha_image.h"

#include <cstdint>
#include <memory>

#include "toolkit/errors.h"

namespace {

void RequireAlphaImage(const TBitmap& image) {
  if (image.PixelFormat() != pf32bit) throw Exception(SAlphaImageRequired);
}

// One channel of the straight-alpha over-blend of `value` onto the background channel `fill`:
// with a = alpha / 255 held as a single, round((1 - a) x fill + a x value), halves to even. That
// sum is exact in extended precision and lies within 2^-17 of
// (fill x (255 - alpha) + value x alpha) / 255, whose fraction is a multiple of 1/255: never a
// half, never within 1/510 of one. So the rounding always lands on the integer nearest that
// quotient, which integers give exactly (the test compares every alpha, fill and value with the
// floating-point blend).
inline std::uint8_t OverBlend(unsigned fill, unsigned value, unsigned alpha) {
  return std::uint8_t((fill * (255 - alpha) + value * alpha + 127) / 255);
}

}  // namespace

std::unique_ptr<TBitmap> ExtractAlphaMask(const TBitmap& Image, bool Invert) {
  RequireAlphaImage(Image);
  auto mask = std::make_unique<TBitmap>(Image.Width(), Image.Height(), pf8bit);
  for (int y = 0; y < Image.Height(); ++y) {
    const std::uint8_t* in = Image.ScanLine(y);
    std::uint8_t* out = mask->ScanLine(y);
    for (int x = 0; x < Image.Width(); ++x) out[x] = Invert ? std::uint8_t(255 - in[4 * x + 3]) : in[4 * x + 3];
  }
  return mask;
}

TBitmap BlendOnColor(const TBitmap& Image, TColor Colour) {
  RequireAlphaImage(Image);
  TBitmap blended(Image.Width(), Image.Height(), pf24bit);
  const unsigned fill[3] = {GetBValue(Colour), GetGValue(Colour), GetRValue(Colour)};
  for (int y = 0; y < Image.Height(); ++y) {
    const std::uint8_t* in = Image.ScanLine(y);
    std::uint8_t* out = blended.ScanLine(y);
    for (int x = 0; x < Image.Width(); ++x, in += 4, out += 3) {
      // Most pixels of a rendering are fully transparent or opaque; the blend gives them the
      // background or their own colour.
      const unsigned alpha = in[3];
      if (alpha == 0) {
        out[0] = std::uint8_t(fill[0]), out[1] = std::uint8_t(fill[1]), out[2] = std::uint8_t(fill[2]);
      } else if (alpha == 255) {
        out[0] = in[0], out[1] = in[1], out[2] = in[2];
      } else {
        for (int channel = 0; channel < 3; ++channel) out[channel] = OverBlend(fill[channel], in[channel], alpha);
      }
    }
  }
  return blended;
}

void CompositeOnColor(TCanvas& Canvas, int X, int Y, const TBitmap& Image, TColor Colour) {
  Canvas.Draw(X, Y, BlendOnColor(Image, Colour));
}

std::unique_ptr<TBitmap> CompositeOverBlack(const TBitmap& rendering) {
  // The blend covers the whole new image: no canvas and no second image are needed.
  return std::make_unique<TBitmap>(BlendOnColor(rendering, clBlack));
}
