#include "toolkit/canvas.h"

#include <algorithm>
#include <cstring>

#include "toolkit/errors.h"

namespace {

// Bytes per pixel of a target that takes colours directly; 0 for the packed and indexed formats.
int ColourTargetBytes(const TBitmap& image) {
  switch (image.PixelFormat()) {
    case pf24bit: return 3;
    case pf32bit:
    case pfDevice: return 4;
    default: return 0;
  }
}

int RequireColourTarget(const TBitmap& image) {
  const int bytes = ColourTargetBytes(image);
  if (bytes == 0) throw Exception(SCannotDrawOnPixelFormat);
  return bytes;
}

void PutColour(std::uint8_t* p, int bytes, TColor colour) {
  p[0] = GetBValue(colour);
  p[1] = GetGValue(colour);
  p[2] = GetRValue(colour);
  if (bytes == 4) p[3] = 0;
}

// Copies the bits of pixel `sx` of one row into pixel `dx` of another row of the same depth.
void CopyPixelBits(const std::uint8_t* in, int sx, std::uint8_t* out, int dx, int bits) {
  if (bits >= 8) {
    const int bytes = bits / 8;
    std::memcpy(out + std::size_t(dx) * bytes, in + std::size_t(sx) * bytes, bytes);
    return;
  }
  const int perByte = 8 / bits;
  const unsigned mask = (1u << bits) - 1;
  const int inShift = 8 - bits * (sx % perByte + 1);
  const int outShift = 8 - bits * (dx % perByte + 1);
  const unsigned value = (in[sx / perByte] >> inShift) & mask;
  std::uint8_t& target = out[dx / perByte];
  target = std::uint8_t((target & ~(mask << outShift)) | (value << outShift));
}

}  // namespace

void TCanvas::FrameRect(const TRect& rect, TColor colour) {
  if (rect.Width() <= 0 || rect.Height() <= 0) return;
  FillRect({rect.Left, rect.Top, rect.Right, rect.Top + 1}, colour);
  FillRect({rect.Left, rect.Bottom - 1, rect.Right, rect.Bottom}, colour);
  FillRect({rect.Left, rect.Top, rect.Left + 1, rect.Bottom}, colour);
  FillRect({rect.Right - 1, rect.Top, rect.Right, rect.Bottom}, colour);
}

TBitmapCanvas::TBitmapCanvas(TBitmap& target) : target_(target) {}

void TBitmapCanvas::FillRect(const TRect& rect, TColor colour) {
  const int bytes = RequireColourTarget(target_);
  const int left = std::max(0, rect.Left), right = std::min(target_.Width(), rect.Right);
  const int top = std::max(0, rect.Top), bottom = std::min(target_.Height(), rect.Bottom);
  for (int y = top; y < bottom; ++y) {
    std::uint8_t* row = target_.ScanLine(y);
    for (int x = left; x < right; ++x) PutColour(row + std::size_t(x) * bytes, bytes, colour);
  }
}

void TBitmapCanvas::Draw(int x, int y, const TBitmap& image) {
  const int bytes = RequireColourTarget(target_);
  // 24- and 32-bit images are read in place; any other format is widened to 32 bits first.
  TBitmap converted;
  const TBitmap* source = &image;
  if (image.PixelFormat() != pf32bit && image.PixelFormat() != pf24bit) {
    converted = ConvertTo32Bit(image);
    source = &converted;
  }
  const int sourceBytes = source->PixelFormat() == pf24bit ? 3 : 4;
  const bool keepFourth = bytes == 4 && image.PixelFormat() == pf32bit;
  const int left = std::max(0, x), right = std::min<long long>(target_.Width(), (long long)x + image.Width());
  const int top = std::max(0, y), bottom = std::min<long long>(target_.Height(), (long long)y + image.Height());
  // Rows of the same layout are copied whole.
  const bool sameLayout = sourceBytes == bytes && (bytes == 3 || keepFourth);
  for (int ty = top; ty < bottom; ++ty) {
    const std::uint8_t* in = source->ScanLine(ty - y);
    std::uint8_t* out = target_.ScanLine(ty);
    if (sameLayout) {
      if (right > left)
        std::memcpy(out + std::size_t(left) * bytes, in + std::size_t(left - x) * bytes, std::size_t(right - left) * bytes);
      continue;
    }
    for (int tx = left; tx < right; ++tx) {
      const std::uint8_t* s = in + std::size_t(tx - x) * sourceBytes;
      std::uint8_t* d = out + std::size_t(tx) * bytes;
      d[0] = s[0];
      d[1] = s[1];
      d[2] = s[2];
      if (bytes == 4) d[3] = keepFourth ? s[3] : 0;
    }
  }
}

void TBitmapCanvas::StretchDraw(const TRect& rect, const TBitmap& image) {
  if (rect.Width() <= 0 || rect.Height() <= 0 || image.Empty()) return;
  const bool sameDepth = image.PixelFormat() == target_.PixelFormat() && image.BitCount() == target_.BitCount();
  TBitmap converted;
  const TBitmap* source = &image;
  int bytes = 0;
  if (!sameDepth) {
    bytes = RequireColourTarget(target_);
    if (image.PixelFormat() != pf32bit) {
      converted = ConvertTo32Bit(image);
      source = &converted;
    }
  }
  const int left = std::max(0, rect.Left), right = std::min(target_.Width(), rect.Right);
  const int top = std::max(0, rect.Top), bottom = std::min(target_.Height(), rect.Bottom);
  for (int ty = top; ty < bottom; ++ty) {
    const int sy = int((long long)(ty - rect.Top) * image.Height() / rect.Height());
    const std::uint8_t* in = source->ScanLine(sy);
    std::uint8_t* out = target_.ScanLine(ty);
    for (int tx = left; tx < right; ++tx) {
      const int sx = int((long long)(tx - rect.Left) * image.Width() / rect.Width());
      if (sameDepth) {
        CopyPixelBits(in, sx, out, tx, image.BitCount());
      } else {
        const std::uint8_t* s = in + std::size_t(sx) * 4;
        std::uint8_t* d = out + std::size_t(tx) * bytes;
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
        if (bytes == 4) d[3] = 0;
      }
    }
  }
}

void TBitmapCanvas::SetPixel(int x, int y, TColor colour) {
  const int bytes = RequireColourTarget(target_);
  if (x < 0 || y < 0 || x >= target_.Width() || y >= target_.Height()) return;
  PutColour(target_.ScanLine(y) + std::size_t(x) * bytes, bytes, colour);
}
