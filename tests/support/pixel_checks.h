#pragma once
// Pixel reads for checks on 24-bit and 32-bit images, and the expected blend over black, worked out
// independently of the program's compositing.
#include <cmath>
#include <cstdint>

#include "toolkit/bitmap.h"

// Pixel (x, y) of a 24-bit or 32-bit image; a 24-bit pixel reads as opaque.
inline TBGRA PixelOf(const TBitmap& image, int x, int y) {
  const std::uint8_t* p = image.ScanLine(y) + x * image.BitCount() / 8;
  return {p[0], p[1], p[2], image.BitCount() == 32 ? p[3] : std::uint8_t(255)};
}

// A straight-alpha pixel over black, each channel rounded to nearest.
inline TBGRA OverBlack(TBGRA p) {
  const float a = p.Alpha / 255.0f;
  auto c = [&](std::uint8_t v) { return std::uint8_t(std::lrint(a * v)); };
  return {c(p.Blue), c(p.Green), c(p.Red), 255};
}

// The same size and the same pixels, read as PixelOf reads them.
inline bool SamePixels(const TBitmap& a, const TBitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x)
      if (!(PixelOf(a, x, y) == PixelOf(b, x, y))) return false;
  return true;
}
