#pragma once
// Small images for the resampler tests, built byte by byte so each test shows its pixels.
#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "toolkit/bitmap.h"

namespace resample_test {

// One row of grey 24-bit pixels (blue = green = red = value).
inline TBitmap GreyRow(std::initializer_list<std::uint8_t> values) {
  TBitmap image(static_cast<int>(values.size()), 1, pf24bit);
  std::uint8_t* row = image.ScanLine(0);
  for (std::uint8_t v : values) {
    row[0] = row[1] = row[2] = v;
    row += 3;
  }
  return image;
}

// An image of the format whose every byte of pixel (x, y) is derived from x and y, so that a
// misplaced pixel is told apart.
inline TBitmap Pattern(int width, int height, TPixelFormat format) {
  TBitmap image(width, height, format);
  const int bytes = PixelFormatBits(format) / 8;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (int b = 0; b < bytes; ++b) image.ScanLine(y)[x * bytes + b] = std::uint8_t(x * 16 + y * 3 + b * 50 + 1);
  return image;
}

// The bytes of one row's pixels, `bytes` per pixel.
inline std::vector<std::uint8_t> RowBytes(const TBitmap& image, int row, int bytes) {
  const std::uint8_t* p = image.ScanLine(row);
  return std::vector<std::uint8_t>(p, p + std::size_t(image.Width()) * bytes);
}

// The first byte of every pixel of a grey row.
inline std::vector<int> GreyValues(const TBitmap& image, int row, int bytes) {
  std::vector<int> values;
  for (int x = 0; x < image.Width(); ++x) values.push_back(image.ScanLine(row)[x * bytes]);
  return values;
}

inline bool SamePixels(const TBitmap& a, const TBitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height() || a.PixelFormat() != b.PixelFormat()) return false;
  const int rowBytes = int(RowStride(a.Width(), a.BitCount()));
  for (int y = 0; y < a.Height(); ++y)
    if (!std::equal(a.ScanLine(y), a.ScanLine(y) + rowBytes, b.ScanLine(y))) return false;
  return true;
}

}  // namespace resample_test
