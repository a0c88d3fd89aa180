#include "toolkit/alpha_image.h"

#include <cmath>
#include <cstdint>

#include "toolkit/errors.h"

namespace {

void RequireAlphaImage(const TBitmap& image) {
  if (image.PixelFormat() != pf32bit) throw Exception(SAlphaImageRequired);
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

void CompositeOnColor(TCanvas& Canvas, int X, int Y, const TBitmap& Image, TColor Colour) {
  RequireAlphaImage(Image);
  TBitmap blended(Image.Width(), Image.Height(), pf24bit);
  const std::uint8_t fill[3] = {GetBValue(Colour), GetGValue(Colour), GetRValue(Colour)};
  for (int y = 0; y < Image.Height(); ++y) {
    const std::uint8_t* in = Image.ScanLine(y);
    std::uint8_t* out = blended.ScanLine(y);
    for (int x = 0; x < Image.Width(); ++x, in += 4, out += 3) {
      // The straight-alpha over-blend onto an opaque background; red, then green, then blue.
      const long double a = static_cast<float>(in[3] / 255.0L);
      for (int channel = 2; channel >= 0; --channel)
        out[channel] = static_cast<std::uint8_t>(std::rint((1 - a) * fill[channel] + a * in[channel]));
    }
  }
  Canvas.Draw(X, Y, blended);
}

std::unique_ptr<TBitmap> CompositeOverBlack(const TBitmap& rendering) {
  auto target = std::make_unique<TBitmap>(rendering.Width(), rendering.Height(), pf24bit);
  TBitmapCanvas canvas(*target);
  CompositeOnColor(canvas, 0, 0, rendering, clBlack);
  return target;
}
