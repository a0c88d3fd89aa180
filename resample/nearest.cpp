#include <algorithm>
#include <cmath>
#include <cstring>

#include "numeric/extended.h"
#include "resample/sampling.h"

namespace {

int NearestBytesPerPixel(TPixelFormat format) {
  switch (format) {
    case pf8bit: return 1;
    case pf24bit: return 3;
    case pf32bit: return 4;
    default: return 0;
  }
}

// The source index nearest to i * sourceLength / newLength (the cell's leading edge, not its
// centre), the quotient taken first, ties to even, kept inside the source.
int NearestIndex(int i, int newLength, int sourceLength) {
  const Extended position = (Extended(i) / newLength) * sourceLength;
  const long long index = static_cast<long long>(ExtRint(position));
  return static_cast<int>(std::clamp<long long>(index, 0, sourceLength - 1));
}

}  // namespace

std::unique_ptr<TBitmap> ResizeNearest(const TBitmap& Source, int Width, int Height, ResizeProgressInfo Info) {
  const int bytes = NearestBytesPerPixel(Source.PixelFormat());
  if (bytes == 0) return nullptr;
  // A new 8-bit image comes with the halftone table; the indices are copied as they are.
  auto result = MakeResizeTarget(Source.PixelFormat(), Width, Height);
  const TRowTable rows = MakeRowTable(Source);
  if (Source.Empty() && !result->Empty()) return nullptr;  // nothing to take the new pixels from

  std::vector<int> columns(static_cast<std::size_t>(Width));
  for (int x = 0; x < Width; ++x) columns[std::size_t(x)] = NearestIndex(x, Width, Source.Width());
  for (int y = 0; y < Height; ++y) {
    if (Width > 0) {
      const std::uint8_t* in = rows[std::size_t(NearestIndex(y, Height, Source.Height()))];
      std::uint8_t* out = result->ScanLine(y);
      for (int x = 0; x < Width; ++x)
        std::memcpy(out + std::size_t(x) * bytes, in + std::size_t(columns[std::size_t(x)]) * bytes, bytes);
    }
    ReportResizeProgress(Info, RowPercent(y, Height));
  }
  return result;
}
