#include "resample/five_fold.h"

#include <algorithm>

void AverageFiveFoldRow(const std::uint8_t* const rows[FiveFold], int count, std::uint8_t* out) {
  // The five rows are summed down first, a chunk of pixels at a time into a small buffer that stays
  // in the cache; the loop over plain bytes is one the compiler runs many bytes a step. Each new
  // byte then adds five of those column sums.
  constexpr int ChunkPixels = 64;
  constexpr int BytesPerPixel = 4;
  std::uint16_t columns[ChunkPixels * FiveFold * BytesPerPixel];
  for (int first = 0; first < count; first += ChunkPixels) {
    const int pixels = std::min(ChunkPixels, count - first);
    const std::size_t offset = std::size_t(first) * FiveFold * BytesPerPixel;
    const int bytes = pixels * FiveFold * BytesPerPixel;
    const std::uint8_t *r0 = rows[0] + offset, *r1 = rows[1] + offset, *r2 = rows[2] + offset,
                       *r3 = rows[3] + offset, *r4 = rows[4] + offset;
    for (int j = 0; j < bytes; ++j) columns[j] = std::uint16_t(r0[j] + r1[j] + r2[j] + r3[j] + r4[j]);
    std::uint8_t* o = out + std::size_t(first) * BytesPerPixel;
    for (int i = 0; i < pixels; ++i) {
      const std::uint16_t* c = columns + i * FiveFold * BytesPerPixel;
      for (int channel = 0; channel < BytesPerPixel; ++channel)
        o[BytesPerPixel * i + channel] =
            FiveFoldMean(unsigned(c[channel]) + c[channel + 4] + c[channel + 8] + c[channel + 12] + c[channel + 16]);
    }
  }
}
