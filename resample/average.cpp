#include <algorithm>
#include <cmath>

#include "numeric/extended.h"
#include "resample/sampling.h"
#include "toolkit/errors.h"

namespace {

// An arithmetic fault of the average (a zero new side makes its area ratio meaningless); it never
// leaves ResizeAverage, which turns it into "no result".
class EArithmeticFault : public Exception {
 public:
  using Exception::Exception;
};

// Every new cell is shortened by this much at its far edge, so that a cell ending exactly on a
// source boundary does not reach into the next source pixel.
constexpr Extended CellShortening = ExtendedScaled(0x8637BD05AF6C69B6u, -83);  // 1e-6 rounded to 64 bits

// How much of source cell [n, n + 1] the interval [lo, hi] covers.
double CellWeight(Extended n, double lo, double hi) {
  const bool startsBefore = n > lo;    // the interval began in an earlier cell
  const bool endsAfter = n + 1 < hi;   // the interval goes on into a later cell
  if (startsBefore && endsAfter) return 1.0;
  if (endsAfter) return static_cast<double>(1 - (lo - n));
  if (startsBefore) return static_cast<double>(hi - n);
  return static_cast<double>(Extended(hi) - lo);
}

// The source cells under each new cell along one side, with their weights: cell i covers
// [i * scale, (i + 1) * scale - 1e-6]. Computed once per call; a new pixel's weights are those of
// its column times those of its row.
struct TAxisCells {
  std::vector<int> First;           // first source index of new cell i
  std::vector<std::size_t> Offset;  // start of cell i's weights; Offset[i + 1] ends them
  std::vector<double> Weight;
};

TAxisCells MakeAxisCells(int newLength, int sourceLength, double scale) {
  TAxisCells cells;
  cells.First.resize(std::size_t(newLength));
  cells.Offset.resize(std::size_t(newLength) + 1);
  for (int i = 0; i < newLength; ++i) {
    const double lo = static_cast<double>(i * Extended(scale));
    const double hi = static_cast<double>((i + 1) * Extended(scale) - CellShortening);
    // Kept inside the source whatever the rounding of the scale, so nothing outside is ever read.
    const Extended first = std::max<Extended>(ExtFloor(Extended(lo)), 0);
    const Extended last = std::min<Extended>(ExtFloor(Extended(hi)), sourceLength - 1);
    cells.First[std::size_t(i)] = static_cast<int>(std::min<Extended>(first, sourceLength));
    cells.Offset[std::size_t(i)] = cells.Weight.size();
    for (Extended n = first; n <= last; n += 1) cells.Weight.push_back(CellWeight(n, lo, hi));
  }
  cells.Offset[std::size_t(newLength)] = cells.Weight.size();
  return cells;
}

// The byte of a weighted sum over the area ratio, ties to even. Clamped rather than wrapped: the
// single-precision sums of very large blocks can stray past the byte range, and white must not
// come out black.
std::uint8_t AverageByte(float sum, float areaRatio) {
  const Extended mean = ExtRint(Extended(sum) / areaRatio);
  return static_cast<std::uint8_t>(std::clamp<Extended>(mean, 0, 255));
}

template <int Bytes>
void FillAverage(const TRowTable& rows, TBitmap& result, const TAxisCells& columns, const TAxisCells& lines,
                 float areaRatio, const ResizeProgressInfo& Info) {
  const int Width = result.Width(), Height = result.Height();
  for (int y = 0; y < Height; ++y) {
    std::uint8_t* out = result.ScanLine(y);
    const std::size_t lineBegin = lines.Offset[std::size_t(y)], lineEnd = lines.Offset[std::size_t(y) + 1];
    for (int x = 0; x < Width; ++x) {
      const std::size_t columnBegin = columns.Offset[std::size_t(x)], columnEnd = columns.Offset[std::size_t(x) + 1];
      const std::size_t firstByte = std::size_t(columns.First[std::size_t(x)]) * Bytes;
      // Single-precision sums, each term formed at full precision.
      float red = 0, green = 0, blue = 0, alpha = 0;
      int s = lines.First[std::size_t(y)];
      for (std::size_t line = lineBegin; line < lineEnd; ++line, ++s) {
        const double wy = lines.Weight[line];
        const std::uint8_t* in = rows[std::size_t(s)] + firstByte;
        for (std::size_t column = columnBegin; column < columnEnd; ++column, in += Bytes) {
          const Extended w = Extended(columns.Weight[column]) * wy;
          blue = static_cast<float>(blue + w * in[0]);
          green = static_cast<float>(green + w * in[1]);
          red = static_cast<float>(red + w * in[2]);
          if constexpr (Bytes == 4) alpha = static_cast<float>(alpha + w * in[3]);
        }
      }
      std::uint8_t* p = out + std::size_t(x) * Bytes;
      p[2] = AverageByte(red, areaRatio);
      p[1] = AverageByte(green, areaRatio);
      p[0] = AverageByte(blue, areaRatio);
      if constexpr (Bytes == 4) p[3] = AverageByte(alpha, areaRatio);
    }
    if (Info.OnProgress) ReportResizeProgress(Info, RowPercent(y, Height));
  }
}

}  // namespace

std::unique_ptr<TBitmap> ResizeAverage(const TBitmap& Source, int Width, int Height, ResizeProgressInfo Info) {
  const TPixelFormat format = Source.PixelFormat();
  if (format != pf24bit && format != pf32bit) return nullptr;
  auto result = MakeResizeTarget(format, Width, Height);
  const TRowTable rows = MakeRowTable(Source);
  // From here on every failure (a zero side, memory, the progress event) means no result.
  try {
    const int SW = Source.Width(), SH = Source.Height();
    if (Width == 0 || Height == 0) throw EArithmeticFault(SZeroDivide);
    const Extended area = Extended(std::int64_t(SW) * SH);
    const float areaRatio = static_cast<float>(area / Width / Height);
    // An empty source leaves every sum at 0 over a ratio of 0: no defined mean.
    if (areaRatio == 0) throw EArithmeticFault(SInvalidOp);
    const double Sx = static_cast<double>(Extended(SW) / Width);
    const double Sy = static_cast<double>(Extended(SH) / Height);
    const TAxisCells columns = MakeAxisCells(Width, SW, Sx);
    const TAxisCells lines = MakeAxisCells(Height, SH, Sy);
    if (format == pf32bit) FillAverage<4>(rows, *result, columns, lines, areaRatio, Info);
    else FillAverage<3>(rows, *result, columns, lines, areaRatio, Info);
  } catch (...) {
    // The average's catch starts here, after the target and the row table: an error while pixels
    // are computed means "no result", one while they are made passed to the caller above.
    return nullptr;
  }
  return result;
}
