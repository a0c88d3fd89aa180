#pragma once
// Supersampling by five in each direction without the enlarged image: a target of 5W x 5H pixels
// is cast a few rows at a time into a small strip and each group of five rows is averaged at once
// into a W x H image, the groups shared out over the worker pool.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <vector>

#include "toolkit/bitmap.h"

// A 32-bit target image produced a row at a time: a box of pixels that casting may write (every
// pixel outside it is transparent black), and the casting of one row of the box.
class TRowCaster {
 public:
  // The box, inside the target; it holds no pixel when a last index is below its first.
  int FirstColumn() const { return x0_; }
  int LastColumn() const { return x1_; }
  int FirstRow() const { return y0_; }
  int LastRow() const { return y1_; }

  // Casts row y (FirstRow..LastRow). `pixels` is the row's 32-bit pixel at column `column`, and the
  // row must be there, transparent black, from FirstColumn through LastColumn; only those pixels
  // may be written. Called for any rows in any order, on several threads at once.
  virtual void CastRow(int y, std::uint8_t* pixels, int column) const = 0;

 protected:
  ~TRowCaster() = default;
  int x0_ = 0, x1_ = -1, y0_ = 0, y1_ = -1;
};

// CastFiveFoldShrunk's image made band by band (a few output rows each) by whichever threads take
// the bands, for a consumer that reads its rows in order while later bands are still being cast
// (a file writer): every thread that calls CastBands or AwaitRow casts bands nobody has taken yet.
// The caster must outlive it.
class TFiveFoldBands {
 public:
  TFiveFoldBands(const TRowCaster& caster, int W, int H);
  TFiveFoldBands(const TFiveFoldBands&) = delete;
  TFiveFoldBands& operator=(const TFiveFoldBands&) = delete;

  // The W x H image; a row is final once AwaitRow has returned for it (or every band is done).
  const TBitmap& Image() const { return result_; }
  TBitmap TakeImage() { return std::move(result_); }

  int BandCount() const { return bandCount_; }
  // Casts one band: each exactly once, on any threads at once (CastFiveFoldShrunk's pool tasks).
  void CastBand(int band);
  // Casts the bands nobody has taken until none is left. A band's failure is raised here in the
  // thread that cast it, and in every later call of either function, so the others stop.
  void CastBands();
  // Returns once output row y (0..H - 1) is final, casting the bands nobody has taken meanwhile,
  // in order, and waiting only for a band another thread is casting. Raises a band's failure.
  void AwaitRow(int y);

 private:
  // Takes and casts the next band; false when every band is taken.
  bool CastNextBand();

  const TRowCaster& caster_;
  TBitmap result_;
  int firstOut_ = 0, outCount_ = 0, firstOutRow_ = 0, outRows_ = 0, bandCount_ = 0;
  std::mutex mutex_;
  std::condition_variable finishedOrFailed_;
  int nextBand_ = 0;             // the bands before it are taken
  std::vector<bool> finished_;   // each band's rows are final
  std::exception_ptr failure_;   // the first band's failure
  std::atomic<std::uint64_t> bandsEnded_{0};  // bands finished or failed, for a thread that polls
};

// The W x H pf32bit image whose every byte is the mean of the same byte over a 5 x 5 block of the
// caster's 5W x 5H target, exactly as ResizeAverage shrinks that target. Blocks wholly outside the
// box are not cast. A failure of any row's casting stops the work and is raised once.
TBitmap CastFiveFoldShrunk(const TRowCaster& caster, int W, int H);
