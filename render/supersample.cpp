#include "render/supersample.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "resample/five_fold.h"
#include "toolkit/worker_pool.h"

namespace {

// Output rows per task of the worker pool: enough tasks to share the work evenly, few enough that
// handing them out costs nothing.
constexpr int BandRows = 4;

}  // namespace

TBitmap CastFiveFoldShrunk(const TRowCaster& caster, int W, int H) {
  TBitmap result(W, H, pf32bit);  // transparent black: the mean of a block no ray reaches
  const int x0 = caster.FirstColumn(), x1 = caster.LastColumn(), y0 = caster.FirstRow(), y1 = caster.LastRow();
  if (x1 < x0 || y1 < y0) return result;
  // Only the output pixels whose blocks reach into the box are computed. The strip spans their
  // blocks' columns; those outside the box are never cast into and stay transparent black.
  const int firstOut = x0 / FiveFold, outCount = x1 / FiveFold - firstOut + 1;
  const int firstOutRow = y0 / FiveFold, outRows = y1 / FiveFold - firstOutRow + 1;
  const std::size_t stripRowBytes = std::size_t(outCount) * FiveFold * 4;
  const std::size_t boxOffset = std::size_t(x0 - firstOut * FiveFold) * 4;
  const std::size_t boxBytes = std::size_t(x1 - x0 + 1) * 4;
  // Each band writes its own output rows only.
  SharedWorkerPool().ParallelFor(std::size_t(outRows + BandRows - 1) / BandRows, [&](std::size_t band) {
    std::vector<std::uint8_t> strip(stripRowBytes * FiveFold);
    const std::uint8_t* rows[FiveFold];
    for (int k = 0; k < FiveFold; ++k) rows[k] = strip.data() + std::size_t(k) * stripRowBytes;
    const int first = firstOutRow + int(band) * BandRows, last = std::min(first + BandRows, firstOutRow + outRows);
    for (int y = first; y < last; ++y) {
      for (int k = 0; k < FiveFold; ++k) {
        std::uint8_t* boxRow = strip.data() + std::size_t(k) * stripRowBytes + boxOffset;
        std::memset(boxRow, 0, boxBytes);
        const int targetRow = y * FiveFold + k;
        if (targetRow >= y0 && targetRow <= y1) caster.CastRow(targetRow, boxRow, x0);
      }
      AverageFiveFoldRow(rows, outCount, result.ScanLine(y) + std::size_t(firstOut) * 4);
    }
  });
  return result;
}
