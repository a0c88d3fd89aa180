#pragma once
// The steps of reading an 8-bit RGB or RGBA PNG's rows that follow inflating. Each inflated row is
// put straight into the picture, in the place its pixels will keep; its filter is undone there
// against the row above, and the row above, needed no more, is turned into the picture's blue,
// green, red, alpha (an RGB row waits in the last three quarters of its picture row and spreads
// out over the whole of it).
//
// The rows pass from the inflating thread to the finishing one through a count, so the two sides
// can run at once on two threads, or one after the other on one: the inflating side never waits
// for the other, except for the moment it takes to touch one row far ahead (TouchAhead).
#include <atomic>
#include <cstdint>
#include <vector>

#include "toolkit/bitmap.h"

class TPngRowStages {
 public:
  // `picture`: its rows to come, `channels` (3 or 4) bytes a pixel.
  TPngRowStages(TBitmap& picture, int channels);

  // The inflating side: the next row, its filter type (0 to 4) first, then its filtered bytes.
  void Put(const std::uint8_t* row);
  // The inflating side has put its last row (all of them, or fewer when reading failed).
  void End();

  // The finishing side, on the thread that puts the rows: finishes the rows put so far.
  void FinishPut();
  // The finishing side on a thread of its own: finishes rows as they are put, until End.
  void FinishUntilEnd();

 private:
  std::uint8_t* Place(int y);
  // Finishes the rows from finished_ up to `ready`.
  void FinishRows(int ready);
  void ToPictureOrder(int y);
  // Writes the first byte of each page of a few rows at the bottom, far ahead of the rows put.
  void TouchAhead(int put);

  TBitmap& picture_;
  int channels_, width_, rows_, rowBytes_;
  std::vector<std::uint8_t> filters_;  // each row's filter type
  std::vector<std::uint8_t> zeros_;    // the row above the first
  int putCount_ = 0;                   // the inflating side's own count
  int finished_ = 0;                   // the finishing side's
  int touchedFrom_ = -1;               // the finishing side has touched the rows from here down
  std::atomic<int> touching_{-1};      // the row the finishing side is touching, or -1
  static constexpr int TouchRows = 8;  // rows touched before each wait
  static constexpr int TouchDistance = 64;  // rows kept between the touching and the inflating side
  static constexpr std::size_t PageBytes = 4096;
  static constexpr std::uint32_t Ended = 0x80000000u;
  std::atomic<std::uint32_t> put_{0};  // rows put, with Ended once there will be no more
  // The rows put by which the sleeping finishing side wants waking, or NobodyWaits.
  static constexpr int WakeRows = 16;
  static constexpr int NobodyWaits = 0x7FFFFFFF;
  std::atomic<int> wanted_{NobodyWaits};
};
