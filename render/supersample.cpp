#include "render/supersample.h"

#include <algorithm>
#include <exception>
#include <cstring>
#include <vector>

#include "resample/five_fold.h"
#include "toolkit/brief_spin.h"
#include "toolkit/worker_pool.h"

namespace {

// Output rows per task of the worker pool: enough tasks to share the work evenly, few enough that
// handing them out costs nothing.
constexpr int BandRows = 4;

}  // namespace

TFiveFoldBands::TFiveFoldBands(const TRowCaster& caster, int W, int H)
    : caster_(caster), result_(W, H, pf32bit) {  // transparent black: the mean of a block no ray reaches
  const int x0 = caster.FirstColumn(), x1 = caster.LastColumn(), y0 = caster.FirstRow(), y1 = caster.LastRow();
  if (x1 < x0 || y1 < y0) return;
  // Only the output pixels whose blocks reach into the box are computed. The strip spans their
  // blocks' columns; those outside the box are never cast into and stay transparent black.
  firstOut_ = x0 / FiveFold, outCount_ = x1 / FiveFold - firstOut_ + 1;
  firstOutRow_ = y0 / FiveFold, outRows_ = y1 / FiveFold - firstOutRow_ + 1;
  bandCount_ = (outRows_ + BandRows - 1) / BandRows;
  finished_.assign(std::size_t(bandCount_), false);
}

void TFiveFoldBands::CastBand(int band) {
  const int x0 = caster_.FirstColumn(), x1 = caster_.LastColumn(), y0 = caster_.FirstRow(), y1 = caster_.LastRow();
  const std::size_t stripRowBytes = std::size_t(outCount_) * FiveFold * 4;
  const std::size_t boxOffset = std::size_t(x0 - firstOut_ * FiveFold) * 4;
  const std::size_t boxBytes = std::size_t(x1 - x0 + 1) * 4;
  std::vector<std::uint8_t> strip(stripRowBytes * FiveFold);
  const std::uint8_t* rows[FiveFold];
  for (int k = 0; k < FiveFold; ++k) rows[k] = strip.data() + std::size_t(k) * stripRowBytes;
  // Each band writes its own output rows only.
  const int first = firstOutRow_ + band * BandRows, last = std::min(first + BandRows, firstOutRow_ + outRows_);
  for (int y = first; y < last; ++y) {
    for (int k = 0; k < FiveFold; ++k) {
      std::uint8_t* boxRow = strip.data() + std::size_t(k) * stripRowBytes + boxOffset;
      std::memset(boxRow, 0, boxBytes);
      const int targetRow = y * FiveFold + k;
      if (targetRow >= y0 && targetRow <= y1) caster_.CastRow(targetRow, boxRow, x0);
    }
    AverageFiveFoldRow(rows, outCount_, result_.ScanLine(y) + std::size_t(firstOut_) * 4);
  }
}

bool TFiveFoldBands::CastNextBand() {
  int band;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (failure_) std::rethrow_exception(failure_);
    if (nextBand_ == bandCount_) return false;
    band = nextBand_++;
  }
  try {
    CastBand(band);
  } catch (...) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!failure_) failure_ = std::current_exception();
    bandsEnded_.fetch_add(1, std::memory_order_release);
    finishedOrFailed_.notify_all();
    throw;
  }
  const std::lock_guard<std::mutex> lock(mutex_);
  finished_[std::size_t(band)] = true;
  bandsEnded_.fetch_add(1, std::memory_order_release);
  finishedOrFailed_.notify_all();
  return true;
}

void TFiveFoldBands::CastBands() {
  while (CastNextBand()) {
  }
}

void TFiveFoldBands::AwaitRow(int y) {
  if (y < firstOutRow_ || y >= firstOutRow_ + outRows_) return;  // outside the box: transparent black from the start
  const std::size_t band = std::size_t((y - firstOutRow_) / BandRows);
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      if (failure_) std::rethrow_exception(failure_);
      if (finished_[band]) return;
      // Every band is taken and this one's is still being cast elsewhere: wait for it.
      if (nextBand_ == bandCount_) {
        // Polled briefly before blocking: the band is often nearly done (see brief_spin.h).
        PollUnlocked(lock, bandsEnded_);
        finishedOrFailed_.wait(lock, [&] { return failure_ || finished_[band]; });
        continue;
      }
    }
    // Rather than wait, cast the next band nobody has taken (in order, so this row's band soon).
    CastNextBand();
  }
}

TBitmap CastFiveFoldShrunk(const TRowCaster& caster, int W, int H) {
  TFiveFoldBands bands(caster, W, H);
  SharedWorkerPool().ParallelFor(std::size_t(bands.BandCount()), [&](std::size_t band) { bands.CastBand(int(band)); });
  return bands.TakeImage();
}
