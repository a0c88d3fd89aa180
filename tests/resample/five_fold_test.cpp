#include "resample/five_fold.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>

#include "resample/resize.h"

namespace {

constexpr int MaxBlockSum = 25 * 255;
constexpr int Cells = 25;

// Cell k of a block is at row k / 5, column k % 5. ResizeAverage shortens the block's last row and
// last column (weight 1 - 1e-6), so its sum falls furthest below the exact one when the bytes sit
// there, and its single-precision rounding goes most astray when large bytes come first or last.
using TBlock = std::array<std::uint8_t, Cells>;

// `sum` poured into the cells in the given order, each filled to 255 before the next.
TBlock Poured(int sum, const std::array<int, Cells>& order) {
  TBlock block{};
  for (int k : order) {
    const int take = std::min(sum, 255);
    block[std::size_t(k)] = std::uint8_t(take);
    sum -= take;
  }
  return block;
}

std::array<int, Cells> ShortenedCellsFirst() {
  std::array<int, Cells> order{};
  int n = 0;
  order[std::size_t(n++)] = 24;  // shortened both ways
  for (int k = 0; k < 24; ++k)
    if (k % 5 == 4 || k / 5 == 4) order[std::size_t(n++)] = k;
  for (int k = 0; k < 24; ++k)
    if (k % 5 != 4 && k / 5 != 4) order[std::size_t(n++)] = k;
  return order;
}

std::array<int, Cells> InOrder() {
  std::array<int, Cells> order{};
  for (int k = 0; k < Cells; ++k) order[std::size_t(k)] = k;
  return order;
}

// Spread as evenly as bytes allow, the remainder in the shortened cells.
TBlock Even(int sum) {
  TBlock block;
  block.fill(std::uint8_t(sum / Cells));
  const std::array<int, Cells> order = ShortenedCellsFirst();
  for (int i = 0; i < sum % Cells; ++i) ++block[std::size_t(order[std::size_t(i)])];
  return block;
}

// Any bytes that add up to `sum`.
TBlock Scattered(int sum, std::mt19937& random) {
  TBlock block{};
  while (sum > 0) {
    std::uint8_t& cell = block[random() % Cells];
    const int room = 255 - cell;
    const int add = std::min({room, sum, int(random() % 64) + 1});
    cell = std::uint8_t(cell + add);
    sum -= add;
  }
  return block;
}

// Every block sum 0..6375, each in four arrangements (one in each byte of the pixel), shrunk by
// ResizeAverage's own single-precision code along a row of blocks and down a column of blocks (its
// shortened weights differ slightly with the position): each byte must be (sum + 12) / 25, the
// integer path's result. Together with the margin argument in five_fold.h this is the proof that
// the integer path is exact for the five-fold shrink.
TEST(FiveFoldAverage, EqualsTheSinglePrecisionAverageForEveryBlockSum) {
  std::mt19937 random(6375);
  const int blocks = MaxBlockSum + 1;
  for (bool across : {true, false}) {
    TBitmap source(across ? 5 * blocks : 5, across ? 5 : 5 * blocks, pf32bit);
    for (int sum = 0; sum < blocks; ++sum) {
      const TBlock arrangements[4] = {Poured(sum, ShortenedCellsFirst()), Poured(sum, InOrder()), Even(sum),
                                      Scattered(sum, random)};
      for (int k = 0; k < Cells; ++k) {
        const int x = (across ? 5 * sum : 0) + k % 5, y = (across ? 0 : 5 * sum) + k / 5;
        for (int b = 0; b < 4; ++b) source.ScanLine(y)[4 * x + b] = arrangements[b][std::size_t(k)];
      }
    }
    const auto small = ResizeBitmap(source, across ? blocks : 1, across ? 1 : blocks, rmAverage);
    ASSERT_NE(small, nullptr);
    for (int sum = 0; sum < blocks; ++sum) {
      const std::uint8_t* p = across ? small->ScanLine(0) + 4 * sum : small->ScanLine(sum);
      for (int b = 0; b < 4; ++b)
        ASSERT_EQ(p[b], FiveFoldMean(unsigned(sum))) << "sum " << sum << " arrangement " << b << (across ? " across" : " down");
    }
  }
}

// The row function against ResizeAverage on arbitrary bytes, for row lengths around its chunking.
TEST(FiveFoldAverage, RowsMatchResizeAverage) {
  std::mt19937 random(5);
  for (int count : {1, 2, 63, 64, 65, 129, 512}) {
    TBitmap source(5 * count, 5, pf32bit);
    for (int y = 0; y < 5; ++y)
      for (int i = 0; i < 20 * count; ++i) source.ScanLine(y)[i] = std::uint8_t(random());
    const std::uint8_t* rows[FiveFold];
    for (int k = 0; k < FiveFold; ++k) rows[k] = source.ScanLine(k);
    std::vector<std::uint8_t> out(std::size_t(count) * 4);
    AverageFiveFoldRow(rows, count, out.data());
    const auto small = ResizeBitmap(source, count, 1, rmAverage);
    ASSERT_TRUE(std::equal(out.begin(), out.end(), small->ScanLine(0))) << count;
  }
}

}  // namespace
