#pragma once
// Supersampling by five in each direction without the enlarged image: a target of 5W x 5H pixels
// is cast a few rows at a time into a small strip and each group of five rows is averaged at once
// into a W x H image, the groups shared out over the worker pool.
#include <cstdint>

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

// The W x H pf32bit image whose every byte is the mean of the same byte over a 5 x 5 block of the
// caster's 5W x 5H target, exactly as ResizeAverage shrinks that target. Blocks wholly outside the
// box are not cast. A failure of any row's casting stops the work and is raised once.
TBitmap CastFiveFoldShrunk(const TRowCaster& caster, int W, int H);
