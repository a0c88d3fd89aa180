#include "toolkit/bitmap.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "toolkit/byte_order.h"
#include "toolkit/errors.h"

TPixelBlock::TPixelBlock(std::size_t size) {
  if (size == 0) return;
  data_ = static_cast<std::uint8_t*>(std::calloc(size, 1));
  if (data_ == nullptr) throw std::bad_alloc();
  size_ = size;
}

TPixelBlock::TPixelBlock(const TPixelBlock& other) {
  if (other.size_ == 0) return;
  data_ = static_cast<std::uint8_t*>(std::malloc(other.size_));
  if (data_ == nullptr) throw std::bad_alloc();
  std::memcpy(data_, other.data_, other.size_);
  size_ = other.size_;
}

TPixelBlock& TPixelBlock::operator=(const TPixelBlock& other) {
  if (this != &other) {
    TPixelBlock copy(other);
    swap(copy);
  }
  return *this;
}

TPixelBlock::~TPixelBlock() { std::free(data_); }

int PixelFormatBits(TPixelFormat format) {
  switch (format) {
    case pf1bit: return 1;
    case pf4bit: return 4;
    case pf8bit: return 8;
    case pf15bit:
    case pf16bit: return 16;
    case pf24bit: return 24;
    case pfDevice:
    case pf32bit: return 32;
    case pfCustom: return 0;
  }
  return 0;
}

std::uint64_t RowStride(std::int64_t width, int bitsPerPixel) {
  return ((std::uint64_t(width) * std::uint64_t(bitsPerPixel) + 31) / 32) * 4;
}

namespace {

std::vector<TRGBQuad> MakeHalftonePalette() {
  std::vector<TRGBQuad> table;
  table.reserve(256);
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 6; ++g)
      for (int b = 0; b < 6; ++b)
        table.push_back({std::uint8_t(b * 51), std::uint8_t(g * 51), std::uint8_t(r * 51), 0});
  for (int i = 0; i < 40; ++i) {
    const auto v = std::uint8_t((i + 1) * 255 / 41);
    table.push_back({v, v, v, 0});
  }
  return table;
}

const std::vector<TRGBQuad>& StandardPalette16() {
  static const std::vector<TRGBQuad> table = {
      {0, 0, 0, 0},       {0, 0, 128, 0},     {0, 128, 0, 0},     {0, 128, 128, 0},
      {128, 0, 0, 0},     {128, 0, 128, 0},   {128, 128, 0, 0},   {192, 192, 192, 0},
      {128, 128, 128, 0}, {0, 0, 255, 0},     {0, 255, 0, 0},     {0, 255, 255, 0},
      {255, 0, 0, 0},     {255, 0, 255, 0},   {255, 255, 0, 0},   {255, 255, 255, 0}};
  return table;
}

// Widens the channel that `mask` selects to 8 bits, repeating its high bits into the low bits so
// that a full channel becomes 255.
std::uint8_t WidenChannel(std::uint32_t pixel, std::uint32_t mask) {
  if (mask == 0) return 0;
  const int shift = std::countr_zero(mask);
  const int bits = std::popcount(mask >> shift);  // masks are contiguous; stray bits only widen less
  const std::uint32_t value = (pixel & mask) >> shift;
  std::uint32_t out = 0;
  int pos = 8;
  while (pos > 0) {
    pos -= bits;
    out |= pos >= 0 ? value << pos : value >> -pos;
  }
  return std::uint8_t(out & 0xFF);
}

TBGRA FromQuad(const std::vector<TRGBQuad>& palette, unsigned index) {
  if (index >= palette.size()) return {0, 0, 0, 0};
  const TRGBQuad& q = palette[index];
  return {q.rgbBlue, q.rgbGreen, q.rgbRed, 0};
}

}  // namespace

void ConvertRowTo32Bit(const TBitmap& source, const std::uint8_t* in, TBGRA* out) {
  const int width = source.Width();
  switch (source.PixelFormat()) {
    case pf1bit:
      for (int x = 0; x < width; ++x) out[x] = FromQuad(source.Palette(), (in[x >> 3] >> (7 - (x & 7))) & 1);
      return;
    case pf4bit:
      for (int x = 0; x < width; ++x) out[x] = FromQuad(source.Palette(), (in[x >> 1] >> ((x & 1) ? 0 : 4)) & 15);
      return;
    case pf8bit:
      for (int x = 0; x < width; ++x) out[x] = FromQuad(source.Palette(), in[x]);
      return;
    case pf24bit:
      for (int x = 0; x < width; ++x) out[x] = {in[3 * x], in[3 * x + 1], in[3 * x + 2], 0};
      return;
    case pf32bit:
      std::memcpy(out, in, std::size_t(width) * 4);
      return;
    case pfDevice:
      for (int x = 0; x < width; ++x) out[x] = {in[4 * x], in[4 * x + 1], in[4 * x + 2], 0};
      return;
    case pf15bit:
    case pf16bit:
    case pfCustom: {
      const bool wide = source.BitCount() == 32;
      for (int x = 0; x < width; ++x) {
        const std::uint32_t p = wide ? LoadLE32(in + 4 * x) : LoadLE16(in + 2 * x);
        out[x] = {WidenChannel(p, source.BlueMask()), WidenChannel(p, source.GreenMask()),
                  WidenChannel(p, source.RedMask()), 0};
      }
      return;
    }
  }
}

const std::vector<TRGBQuad>& HalftonePalette() {
  static const std::vector<TRGBQuad> table = MakeHalftonePalette();
  return table;
}

TBitmap::TBitmap(int width, int height, TPixelFormat format) { Create(width, height, format); }

void TBitmap::ResetFormatState() {
  bitCount_ = PixelFormatBits(format_);
  palette_.clear();
  redMask_ = greenMask_ = blueMask_ = 0;
  switch (format_) {
    case pf1bit: palette_ = {{0, 0, 0, 0}, {255, 255, 255, 0}}; break;
    case pf4bit: palette_ = StandardPalette16(); break;
    case pf8bit: palette_ = HalftonePalette(); break;
    case pf15bit: SetMasks(0x7C00, 0x03E0, 0x001F); break;
    case pf16bit: SetMasks(0xF800, 0x07E0, 0x001F); break;
    default: break;
  }
}

void TBitmap::Create(int width, int height, TPixelFormat format, bool topDown, int customBitCount) {
  if (format == pfCustom && customBitCount != 16 && customBitCount != 32)
    throw EInvalidGraphic(SInvalidBitmap);
  TBitmap fresh;
  fresh.format_ = format;
  fresh.ResetFormatState();
  if (format == pfCustom) fresh.bitCount_ = customBitCount;
  fresh.topDown_ = topDown;
  fresh.Allocate(width, height);
  *this = std::move(fresh);
}

void CheckImageSize(int width, int height, int bitsPerPixel) {
  if (width < 0 || height < 0)
    throw EOutOfResources(std::string(SNegativeImageSize) + " (" + std::to_string(width) + " x " +
                          std::to_string(height) + ")");
  if (RowStride(width, bitsPerPixel) * std::uint64_t(height) > MaxPixelBlockBytes)
    throw EOutOfResources(std::string(SImageTooLarge) + " (" + std::to_string(width) + " x " +
                          std::to_string(height) + ")");
}

void TBitmap::Allocate(int width, int height) {
  CheckImageSize(width, height, bitCount_);
  const std::uint64_t stride = RowStride(width, bitCount_);
  const std::uint64_t bytes = stride * std::uint64_t(height);
  TPixelBlock block(static_cast<std::size_t>(bytes));
  bits_.swap(block);
  infoHeader_ = TBitmapInfoHeader();
  width_ = width;
  height_ = height;
  stride_ = static_cast<std::size_t>(stride);
}

void TBitmap::SetWidth(int width) { SetSize(width, height_); }
void TBitmap::SetHeight(int height) { SetSize(width_, height); }
void TBitmap::SetSize(int width, int height) {
  if (width == width_ && height == height_) return;
  Allocate(width, height);
}

void TBitmap::SetMasks(std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
  redMask_ = red;
  greenMask_ = green;
  blueMask_ = blue;
}

std::uint8_t* TBitmap::ScanLine(int row) {
  return const_cast<std::uint8_t*>(static_cast<const TBitmap*>(this)->ScanLine(row));
}

const std::uint8_t* TBitmap::ScanLine(int row) const {
  if (row < 0 || row >= height_)
    throw Exception(FormatMessage(SRowOutOfRange, std::to_string(row)));
  const std::size_t stored = topDown_ ? std::size_t(row) : std::size_t(height_ - 1 - row);
  return bits_.data() + stored * stride_;
}

void TBitmap::SetPixelFormat(TPixelFormat format) {
  if (format == format_) return;
  if (Empty()) {
    TBitmap fresh;
    fresh.format_ = format;
    fresh.ResetFormatState();
    if (format == pfCustom) fresh.bitCount_ = 32;
    fresh.Allocate(width_, height_);
    *this = std::move(fresh);
    return;
  }
  if (format == pf32bit && format_ == pfDevice && !topDown_) {
    // The screen's format already is four bytes a pixel, bottom-up: only the fourth bytes change,
    // in place, so that a picture as large as memory allows is never held twice.
    for (std::size_t i = 3; i < bits_.size(); i += 4) bits_.data()[i] = 0;
    format_ = pf32bit;
    ResetFormatState();
    infoHeader_ = TBitmapInfoHeader();
    return;
  }
  if (format == pf32bit) {
    *this = ConvertTo32Bit(*this);
    return;
  }
  if (format == pf24bit) {
    TBitmap converted;
    const TBitmap* wide = this;
    if (format_ != pf32bit) {
      converted = ConvertTo32Bit(*this);
      wide = &converted;
    }
    TBitmap narrow(width_, height_, pf24bit);
    for (int y = 0; y < height_; ++y) {
      const std::uint8_t* in = wide->ScanLine(y);
      std::uint8_t* out = narrow.ScanLine(y);
      for (int x = 0; x < width_; ++x) {
        out[3 * x] = in[4 * x];
        out[3 * x + 1] = in[4 * x + 1];
        out[3 * x + 2] = in[4 * x + 2];
      }
    }
    *this = std::move(narrow);
    return;
  }
  throw Exception(SCannotConvertPixelFormat);
}

TBitmap ConvertTo32Bit(const TBitmap& source) {
  TBitmap out(source.Width(), source.Height(), pf32bit);
  for (int y = 0; y < source.Height(); ++y)
    ConvertRowTo32Bit(source, source.ScanLine(y), reinterpret_cast<TBGRA*>(out.ScanLine(y)));
  return out;
}
