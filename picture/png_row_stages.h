#pragma once
// The steps of reading an 8-bit RGB or RGBA PNG's rows that follow inflating. Each inflated row is
// put straight into the picture, in the place its pixels will keep; its filter is undone there
// against the row above, and the row above, needed no more, is turned into the picture's blue,
// green, red, alpha (an RGB row waits in the last three quarters of its picture row and spreads
// out over the whole of it).
//
// The two sides can run at once on two threads, or one after the other on one. Apart, the rows pass
// from the inflating thread to the finishing one through a ring of a few dozen rows, and the
// finishing side moves them into the picture: the picture's new memory costs a fault per page when
// first written, and those faults are then taken off the inflating side. When the ring is full the
// inflating side finishes rows itself unless the other side is at it, so it never waits for a side
// that is not running.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "toolkit/bitmap.h"

class TPngRowStages {
 public:
  // `picture`: its rows to come, `channels` (3 or 4) bytes a pixel; `apart`: the finishing side
  // runs on a thread of its own (FinishUntilEnd), else on the inflating one (FinishPut).
  TPngRowStages(TBitmap& picture, int channels, bool apart);

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
  // Finishes the rows from finished_ up to `ready`; apart, under finishing_.
  void FinishRows(int ready);
  // Apart: moves the rows up to `ready` from the ring into the picture.
  void MoveFromRing(int ready);
  void ToPictureOrder(int y);

  TBitmap& picture_;
  int channels_, width_, rows_, rowBytes_;
  std::vector<std::uint8_t> filters_;  // each row's filter type
  std::vector<std::uint8_t> zeros_;    // the row above the first
  bool apart_;
  int ringRows_ = 0;
  std::vector<std::uint8_t> ring_;     // apart: rows put, not yet moved into the picture
  std::mutex finishing_;               // apart: held by the side finishing rows
  int moved_ = 0;                      // apart: rows moved into the picture (under finishing_)
  std::atomic<int> freed_{0};          // apart: the same, for the inflating side to wait on
  int putCount_ = 0;                   // the inflating side's own count
  int finished_ = 0;                   // the finishing side's
  static constexpr std::uint32_t Ended = 0x80000000u;
  std::atomic<std::uint32_t> put_{0};  // rows put, with Ended once there will be no more
  // The rows put by which the sleeping finishing side wants waking, or NobodyWaits.
  static constexpr int WakeRows = 16;
  static constexpr int NobodyWaits = 0x7FFFFFFF;
  std::atomic<int> wanted_{NobodyWaits};
};
