#pragma once
// Turning a picture upright while it is decoded: each stored row goes straight to its place in the
// upright picture, so the turn needs no second copy of the picture.
#include <cstddef>
#include <cstdint>

#include "toolkit/bitmap.h"
#include "toolkit/exif_orientation.h"

// Width and height of the upright picture of a stored width x height picture.
struct TUprightSize {
  int Width = 0;
  int Height = 0;
};
TUprightSize UprightSize(int storedWidth, int storedHeight, TOrientation orientation);

class TUprightRows {
 public:
  // `target` is a bottom-up pf32bit image of UprightSize(storedWidth, storedHeight, orientation);
  // it must outlive this object.
  TUprightRows(TBitmap& target, int storedWidth, int storedHeight, TOrientation orientation);

  // Most stored rows Place takes at once.
  static constexpr int MostRows = 16;

  // Copies `count` (1 to MostRows) consecutive rows of the stored picture, from row `y` (0 the
  // top), to their places. They lie one after the other in `rows`, storedWidth pixels of 4 bytes
  // each. Rows that turn into columns are placed together, a column's pixels side by side, so that
  // each write fills whole cache lines instead of touching one pixel of each upright row.
  void Place(int y, const std::uint8_t* rows, int count) const;

 private:
  std::uint8_t* RowStart(int y) const;

  TBitmap& target_;
  int storedWidth_;
  int storedHeight_;
  TOrientation orientation_;
  std::ptrdiff_t step_ = 4;  // bytes from one stored pixel's place to the next one's in the row
};
