#include "picture/bmp_rle.h"

#include <algorithm>
#include <array>

#include "toolkit/errors.h"

namespace {

// The escape codes that follow a zero count.
constexpr std::uint8_t kEndOfLine = 0;
constexpr std::uint8_t kEndOfBitmap = 1;
constexpr std::uint8_t kDelta = 2;

[[noreturn]] void Invalid() { throw EInvalidGraphic(SInvalidBitmap); }

// Index `i` of a row of packed indices: whole bytes at 8 bits, high nibble first at 4 bits.
std::uint8_t IndexAt(const std::uint8_t* packed, int i, int bits) {
  if (bits == 8) return packed[i];
  const std::uint8_t pair = packed[i >> 1];
  return (i & 1) ? pair & 0x0F : pair >> 4;
}

}  // namespace

TBitmap DecodeRunLength(std::span<const std::uint8_t> data, int bitsPerIndex, int width, int height,
                        const std::vector<TRGBQuad>& palette) {
  TBitmap image;
  image.Create(width, height, pfDevice);
  image.Palette() = palette;

  std::array<TBGRA, 256> colours{};
  for (std::size_t i = 0; i < std::min<std::size_t>(palette.size(), colours.size()); ++i)
    colours[i] = {palette[i].rgbBlue, palette[i].rgbGreen, palette[i].rgbRed, 0};

  const std::size_t size = data.size();
  std::size_t at = 0;
  int x = 0;
  int y = 0;  // counted from the bottom row, which is also the first row in storage
  // Encoders may code a row's fill bytes as indices too, so a row holds as many indices as its
  // stored width; those beyond the picture's width are dropped.
  const int capacity = int(RowStride(width, bitsPerIndex) * 8 / std::uint64_t(bitsPerIndex));
  auto visible = [&](int count) { return std::max(0, std::min(count, width - x)); };

  auto row = [&] { return reinterpret_cast<TBGRA*>(image.Bits() + std::size_t(y) * image.Stride()); };

  while (y < height && size - at >= 2) {
    const int count = data[at];
    const std::uint8_t code = data[at + 1];
    at += 2;

    if (count > 0) {  // an encoded run: one index, or two alternating at 4 bits
      if (count > capacity - x) Invalid();
      TBGRA* out = row() + std::min(x, width);
      if (bitsPerIndex == 8) {
        std::fill_n(out, visible(count), colours[code]);
      } else {
        const TBGRA pair[2] = {colours[code >> 4], colours[code & 0x0F]};
        for (int i = 0; i < visible(count); ++i) out[i] = pair[i & 1];
      }
      x += count;
      continue;
    }

    switch (code) {
      case kEndOfLine:
        x = 0;
        ++y;
        break;
      case kEndOfBitmap:
        return image;
      case kDelta: {
        if (size - at < 2) return image;
        const int dx = data[at];
        const int dy = data[at + 1];
        at += 2;
        if (dx > capacity - x || dy > height - y) Invalid();
        x += dx;
        y += dy;
        break;
      }
      default: {  // an absolute run of `code` indices, padded to a whole 16-bit word
        const int run = code;
        if (run > capacity - x) Invalid();
        const std::size_t bytes = bitsPerIndex == 8 ? std::size_t(run) : (std::size_t(run) + 1) / 2;
        const bool complete = size - at >= bytes;
        // Of a run cut short by the end of the data, the indices that are there still count.
        const int present = std::min(visible(run), complete ? run : int(bitsPerIndex == 8 ? size - at : (size - at) * 2));
        TBGRA* out = row() + std::min(x, width);
        for (int i = 0; i < present; ++i) out[i] = colours[IndexAt(data.data() + at, i, bitsPerIndex)];
        if (!complete) return image;
        at += std::min(size - at, (bytes + 1) & ~std::size_t(1));
        x += run;
        break;
      }
    }
  }
  return image;
}
