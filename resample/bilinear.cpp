#include <algorithm>
#include <cmath>

#include "numeric/extended.h"
#include "resample/messages.h"
#include "resample/sampling.h"
#include "toolkit/errors.h"

namespace {

// Where a new pixel's leading edge falls in the source, split into the whole cell and the fraction.
struct TBilinearPosition {
  int Index = 0;
  double Fraction = 0;
};

TBilinearPosition BilinearPosition(int i, int newLength, int sourceLength) {
  const double g = static_cast<double>(sourceLength * (Extended(i) / newLength));
  const double whole = std::trunc(g);
  return {static_cast<int>(whole), static_cast<double>(g - whole)};
}

}  // namespace

TRGBTriple FetchPixelClamped(const TBitmap& Source, const TRowTable& Rows, int Column, int Row) {
  const int lastColumn = Source.Width() - 1;
  const int lastRow = static_cast<int>(Rows.size()) - 1;
  if (lastColumn < 0 || lastRow < 0) throw Exception(SEmptySourceImage);
  const std::uint8_t* p = Rows[std::size_t(std::clamp(Row, 0, lastRow))] + std::size_t(std::clamp(Column, 0, lastColumn)) * 3;
  return {p[0], p[1], p[2]};
}

int BilinearChannel(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d, double fy, double fx) {
  const Extended gx = 1 - Extended(fx);
  const double top = static_cast<double>(gx * a + fx * Extended(b));
  const double bottom = static_cast<double>(gx * c + fx * Extended(d));
  return static_cast<int>(ExtRint((1 - Extended(fy)) * top + fy * Extended(bottom)));
}

TRGBTriple BilinearPixel(TRGBTriple P00, TRGBTriple P10, TRGBTriple P01, TRGBTriple P11, double fy, double fx) {
  // A blend of bytes never leaves 0..255, so the low 8 bits are the whole value.
  return {static_cast<std::uint8_t>(BilinearChannel(P00.rgbtBlue, P10.rgbtBlue, P01.rgbtBlue, P11.rgbtBlue, fy, fx)),
          static_cast<std::uint8_t>(BilinearChannel(P00.rgbtGreen, P10.rgbtGreen, P01.rgbtGreen, P11.rgbtGreen, fy, fx)),
          static_cast<std::uint8_t>(BilinearChannel(P00.rgbtRed, P10.rgbtRed, P01.rgbtRed, P11.rgbtRed, fy, fx))};
}

std::unique_ptr<TBitmap> ResizeBilinear(const TBitmap& Source, int Width, int Height, ResizeProgressInfo Info) {
  if (Source.PixelFormat() != pf24bit) return nullptr;
  auto result = MakeResizeTarget(pf24bit, Width, Height);
  const TRowTable rows = MakeRowTable(Source);
  if (Source.Empty() && !result->Empty()) return nullptr;  // nothing to take the new pixels from

  std::vector<TBilinearPosition> columns(static_cast<std::size_t>(Width));
  for (int x = 0; x < Width; ++x) columns[std::size_t(x)] = BilinearPosition(x, Width, Source.Width());
  for (int y = 0; y < Height; ++y) {
    const TBilinearPosition row = BilinearPosition(y, Height, Source.Height());
    std::uint8_t* out = result->ScanLine(y);
    for (int x = 0; x < Width; ++x) {
      const TBilinearPosition column = columns[std::size_t(x)];
      const int ix = column.Index, iy = row.Index;
      const TRGBTriple p = BilinearPixel(FetchPixelClamped(Source, rows, ix, iy),
                                         FetchPixelClamped(Source, rows, ix + 1, iy),
                                         FetchPixelClamped(Source, rows, ix, iy + 1),
                                         FetchPixelClamped(Source, rows, ix + 1, iy + 1), row.Fraction, column.Fraction);
      out[3 * std::size_t(x)] = p.rgbtBlue;
      out[3 * std::size_t(x) + 1] = p.rgbtGreen;
      out[3 * std::size_t(x) + 2] = p.rgbtRed;
    }
    ReportResizeProgress(Info, RowPercent(y, Height));
  }
  return result;
}
