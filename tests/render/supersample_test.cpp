#include "render/supersample.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <random>
#include <thread>

#include "resample/resize.h"
#include "toolkit/errors.h"
#include "toolkit/worker_pool.h"

namespace {

// A target whose box pixels are arbitrary bytes (about a third of them left transparent, as rays
// that miss leave them), counting how often each row is cast and failing at one row if asked.
class TNoiseCaster final : public TRowCaster {
 public:
  TNoiseCaster(int x0, int x1, int y0, int y1, std::uint32_t seed, int failingRow = -1)
      : seed_(seed), failingRow_(failingRow), casts_(new std::atomic<int>[std::size_t(std::max(y1 + 1, 1))]{}) {
    x0_ = x0, x1_ = x1, y0_ = y0, y1_ = y1;
  }
  void CastRow(int y, std::uint8_t* pixels, int column) const override {
    casts_[std::size_t(y)].fetch_add(1);
    if (y == failingRow_) throw EReadError("row " + std::to_string(y));
    for (int x = x0_; x <= x1_; ++x) {
      std::uint32_t h = (std::uint32_t(x) * 0x9E3779B1u) ^ (std::uint32_t(y) * 0x85EBCA77u) ^ seed_;
      h ^= h >> 15;
      h *= 0x2C1B3C6Du;
      h ^= h >> 12;
      if (h % 3 == 0) continue;
      std::memcpy(pixels + std::ptrdiff_t(x - column) * 4, &h, 4);
    }
  }
  int Casts(int y) const { return casts_[std::size_t(y)].load(); }

 private:
  std::uint32_t seed_;
  int failingRow_;
  std::unique_ptr<std::atomic<int>[]> casts_;
};

// The plain path: the whole enlarged target, then ResizeAverage.
TBitmap Reference(const TRowCaster& caster, int W, int H) {
  TBitmap target(5 * W, 5 * H, pf32bit);
  for (int y = caster.FirstRow(); y <= caster.LastRow(); ++y)
    if (caster.LastColumn() >= caster.FirstColumn())
      caster.CastRow(y, target.ScanLine(y) + 4 * caster.FirstColumn(), caster.FirstColumn());
  return *ResizeBitmap(target, W, H, rmAverage);
}

bool SameBytes(const TBitmap& a, const TBitmap& b) {
  return a.Width() == b.Width() && a.Height() == b.Height() && a.PixelFormat() == b.PixelFormat() &&
         a.BitsSize() == b.BitsSize() && std::memcmp(a.Bits(), b.Bits(), a.BitsSize()) == 0;
}

// Works on a pool of several threads, whatever the machine, and puts the shared pool back after.
struct TThreadedPool {
  TThreadedPool() { SetSharedWorkerPoolSize(4); }
  ~TThreadedPool() { SetSharedWorkerPoolSize(std::max(std::thread::hardware_concurrency(), 1u)); }
};

// Boxes of every kind (touching the edges, not aligned to the blocks, a single pixel, empty) on
// outputs of odd and even sides: the result is the plain path's, byte for byte, and every row of
// the box is cast exactly once.
TEST(CastFiveFoldShrunk, EqualsRenderingTheWholeTargetAndShrinkingIt) {
  const TThreadedPool threads;
  std::mt19937 random(55);
  for (int round = 0; round < 60; ++round) {
    const int W = 1 + int(random() % 70), H = 1 + int(random() % 40);
    auto pick = [&](int side) { return int(random() % unsigned(5 * side)); };
    int x0 = pick(W), x1 = pick(W), y0 = pick(H), y1 = pick(H);
    if (round % 6 == 0) x0 = 0, x1 = 5 * W - 1, y0 = 0, y1 = 5 * H - 1;  // the whole target
    if (round % 6 != 1) {
      if (x1 < x0) std::swap(x0, x1);
      if (y1 < y0) std::swap(y0, y1);
    }
    const std::uint32_t seed = random();
    const TNoiseCaster caster(x0, x1, y0, y1, seed);
    const TBitmap fused = CastFiveFoldShrunk(caster, W, H);
    ASSERT_TRUE(SameBytes(fused, Reference(TNoiseCaster(x0, x1, y0, y1, seed), W, H)))
        << W << "x" << H << " box " << x0 << ".." << x1 << ", " << y0 << ".." << y1;
    for (int y = y0; y <= y1; ++y) ASSERT_EQ(caster.Casts(y), x1 < x0 ? 0 : 1) << "row " << y;
  }
}

// One failing row stops the work; its error comes out once, and the next call works.
TEST(CastFiveFoldShrunk, AFailingRowIsRaisedOnceAndTheNextCallWorks) {
  const TThreadedPool threads;
  for (int failingRow : {0, 57, 199}) {
    const TNoiseCaster failing(3, 180, 0, 199, 9, failingRow);
    int raised = 0;
    try {
      CastFiveFoldShrunk(failing, 40, 40);
    } catch (const EReadError& e) {
      ++raised;
      EXPECT_EQ(std::string(e.what()), "row " + std::to_string(failingRow));
    }
    EXPECT_EQ(raised, 1);
    const TNoiseCaster working(3, 180, 0, 199, 9);
    EXPECT_TRUE(SameBytes(CastFiveFoldShrunk(working, 40, 40), Reference(TNoiseCaster(3, 180, 0, 199, 9), 40, 40)));
  }
}

}  // namespace
