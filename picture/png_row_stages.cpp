#include "picture/png_row_stages.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <thread>

#include "picture/png/RowInflater.h"

static_assert(std::endian::native == std::endian::little, "a pixel's first byte is its word's lowest");

TPngRowStages::TPngRowStages(TBitmap& picture, int channels)
    : picture_(picture),
      channels_(channels),
      width_(picture.Width()),
      rows_(picture.Height()),
      rowBytes_(picture.Width() * channels),
      filters_(std::size_t(picture.Height())),
      zeros_(std::size_t(rowBytes_), 0) {}

std::uint8_t* TPngRowStages::Place(int y) {
  // RGB rows end where their picture rows end, so that spreading them out goes front to back.
  return picture_.ScanLine(y) + (channels_ == 3 ? width_ : 0);
}

void TPngRowStages::Put(const std::uint8_t* row) {
  const int y = putCount_++;
  // The finishing side may be touching this very row; it is at it now, for a few pages' time.
  while (touching_.load() == y) std::this_thread::yield();
  filters_[std::size_t(y)] = row[0];
  std::memcpy(Place(y), row + 1, std::size_t(rowBytes_));
  put_.store(std::uint32_t(putCount_));
  // The finishing side sleeps until the rows it asked for are there, and is woken once for them.
  if (putCount_ >= wanted_.load() && wanted_.exchange(NobodyWaits) != NobodyWaits) put_.notify_one();
}

void TPngRowStages::End() {
  put_.store(std::uint32_t(putCount_) | Ended);
  put_.notify_one();
}

void TPngRowStages::FinishRows(int ready) {
  while (finished_ < ready) {
    const int y = finished_;
    std::uint8_t* above = y > 0 ? Place(y - 1) : zeros_.data();
    // Two Paeth rows in a row go through together, faster than one after the other.
    const bool pair = y + 1 < ready && filters_[std::size_t(y)] == pfPaeth && filters_[std::size_t(y) + 1] == pfPaeth;
    if (pair) UnPaethRows(Place(y), Place(y + 1), above, rowBytes_, channels_);
    else UnfilterRow(TPngFilter(filters_[std::size_t(y)]), Place(y), above, rowBytes_, channels_);
    finished_ += pair ? 2 : 1;
    // A row is turned once the row below it no longer needs it.
    for (int done = std::max(y - 1, 0); done < finished_ - 1; ++done) ToPictureOrder(done);
    if (finished_ == rows_) ToPictureOrder(rows_ - 1);
  }
}

void TPngRowStages::ToPictureOrder(int y) {
  std::uint8_t* out = picture_.ScanLine(y);
  const int width = width_;
  if (channels_ == 4) {
    // Red and blue trade places: in each pixel's word (little-endian), bytes 0 and 2; four pixels
    // at a time as one vector.
    typedef std::uint32_t TWords __attribute__((vector_size(16)));
    const auto swap = [](auto v) { return (v & 0xFF00FF00u) | ((v & 0xFFu) << 16) | ((v >> 16) & 0xFFu); };
    int x = 0;
    for (; x + 4 <= width; x += 4) {
      TWords v;
      std::memcpy(&v, out + 4 * x, sizeof v);
      v = swap(v);
      std::memcpy(out + 4 * x, &v, sizeof v);
    }
    for (; x < width; ++x) {
      std::uint32_t v;
      std::memcpy(&v, out + 4 * x, 4);
      v = swap(v);
      std::memcpy(out + 4 * x, &v, 4);
    }
    return;
  }
  // Pixel x's three bytes are read before pixel x's four are written, and no write reaches a
  // later pixel's bytes: 4x + 3 < width + 3x + 3.
  const std::uint8_t* in = out + width;
  for (int x = 0; x < width; ++x, in += 3, out += 4) {
    const std::uint8_t red = in[0], green = in[1], blue = in[2];
    out[0] = blue;
    out[1] = green;
    out[2] = red;
    out[3] = 255;
  }
}

void TPngRowStages::TouchAhead(int put) {
  // The picture's memory is new, and each of its pages costs a fault when first written. The
  // inflating side would take them all, in its critical path; this side, waiting for rows, takes
  // some from the bottom up instead, by writing the zero each page already holds. A row is touched
  // only while the inflating side is far from it: this side names the row first and then checks,
  // and the inflating side checks the name before it writes a row, so the two never meet in one.
  if (touchedFrom_ < 0) touchedFrom_ = rows_;
  for (int n = 0; n < TouchRows && touchedFrom_ > put + TouchDistance; ++n) {
    const int r = touchedFrom_ - 1;
    touching_.store(r);
    if (int(put_.load() & ~Ended) + TouchDistance / 2 >= r) break;
    std::uint8_t* row = picture_.ScanLine(r);
    for (std::size_t at = 0; at < picture_.Stride(); at += PageBytes) row[at] = 0;
    touchedFrom_ = r;
  }
  touching_.store(-1);
}

void TPngRowStages::FinishPut() { FinishRows(putCount_); }

void TPngRowStages::FinishUntilEnd() {
  for (;;) {
    const std::uint32_t seen = put_.load();
    FinishRows(int(seen & ~Ended));
    if (seen & Ended) return;
    // The inflating side is running. Sleeping until a few rows have come (rather than polling for
    // each) leaves the core to other work; a row put since `seen` ends the wait at once.
    TouchAhead(int(seen & ~Ended));
    wanted_.store(finished_ + WakeRows);
    put_.wait(seen);
  }
}
