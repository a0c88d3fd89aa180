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

// An output of W x H (1..70 x 1..40) and a box in its five-fold target, of the kind `round` picks:
// the whole target every sixth round, an empty box (last below first) now and then, else any box.
struct TRandomBox {
  TRandomBox(std::mt19937& random, int round) {
    W = 1 + int(random() % 70), H = 1 + int(random() % 40);
    auto pick = [&](int side) { return int(random() % unsigned(5 * side)); };
    x0 = pick(W), x1 = pick(W), y0 = pick(H), y1 = pick(H);
    if (round % 6 == 0) x0 = 0, x1 = 5 * W - 1, y0 = 0, y1 = 5 * H - 1;  // the whole target
    if (round % 6 != 1) {
      if (x1 < x0) std::swap(x0, x1);
      if (y1 < y0) std::swap(y0, y1);
    }
  }
  int W, H, x0, x1, y0, y1;
};

// Boxes of every kind (touching the edges, not aligned to the blocks, a single pixel, empty) on
// outputs of odd and even sides: the result is the plain path's, byte for byte, and every row of
// the box is cast exactly once.
TEST(CastFiveFoldShrunk, EqualsRenderingTheWholeTargetAndShrinkingIt) {
  const TThreadedPool threads;
  std::mt19937 random(55);
  for (int round = 0; round < 60; ++round) {
    const auto [W, H, x0, x1, y0, y1] = TRandomBox(random, round);
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

// The banded form, read row by row in order as a file writer reads it, alone (AwaitRow casts every
// band in turn) and with other threads casting bands meanwhile: each row, once awaited, already
// holds its final bytes (copied at once, before any later band could touch it), the whole image is
// the plain path's, and every row of the box is cast exactly once.
TEST(FiveFoldBands, RowsAwaitedInOrderAreFinalAndTheImageIsThePlainPaths) {
  const TThreadedPool threads;
  std::mt19937 random(56);
  for (int round = 0; round < 40; ++round) {
    const auto [W, H, x0, x1, y0, y1] = TRandomBox(random, round);
    const std::uint32_t seed = random();
    const TBitmap reference = Reference(TNoiseCaster(x0, x1, y0, y1, seed), W, H);
    const int helpers = round % 3;  // other threads casting bands: none, one, two
    const TNoiseCaster caster(x0, x1, y0, y1, seed);
    TFiveFoldBands bands(caster, W, H);
    TBitmap seen(W, H, pf32bit);
    SharedWorkerPool().ParallelFor(std::size_t(helpers) + 1, [&](std::size_t task) {
      if (task != 0) return bands.CastBands();
      for (int y = 0; y < H; ++y) {
        bands.AwaitRow(y);
        std::memcpy(seen.ScanLine(y), bands.Image().ScanLine(y), std::size_t(W) * 4);
      }
    });
    ASSERT_TRUE(SameBytes(seen, reference)) << round;
    ASSERT_TRUE(SameBytes(bands.Image(), reference)) << round;
    for (int y = y0; y <= y1; ++y) ASSERT_EQ(caster.Casts(y), x1 < x0 ? 0 : 1) << "row " << y;
  }
}

// A band's failure reaches the reader of any later row, alone or while another thread casts, and
// every later call raises it again instead of waiting for a band that will never be done.
TEST(FiveFoldBands, AFailingBandReachesTheReaderAndEveryLaterCall) {
  const TThreadedPool threads;
  for (int helpers : {0, 1}) {
    for (int failingRow : {0, 57, 199}) {
      const TNoiseCaster failing(3, 180, 0, 199, 9, failingRow);
      TFiveFoldBands bands(failing, 40, 40);
      int reachedReader = 0;
      try {
        SharedWorkerPool().ParallelFor(std::size_t(helpers) + 1, [&](std::size_t task) {
          if (task != 0) return bands.CastBands();
          try {
            for (int y = 0; y < 40; ++y) bands.AwaitRow(y);
          } catch (const EReadError&) {
            ++reachedReader;
            throw;
          }
        });
        ADD_FAILURE() << "no failure raised";
      } catch (const EReadError& e) {
        EXPECT_EQ(std::string(e.what()), "row " + std::to_string(failingRow));
      }
      EXPECT_EQ(reachedReader, 1) << helpers << " " << failingRow;
      EXPECT_THROW(bands.AwaitRow(39), EReadError);
      EXPECT_THROW(bands.CastBands(), EReadError);
    }
  }
}

}  // namespace
