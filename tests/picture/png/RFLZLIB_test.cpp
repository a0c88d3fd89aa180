#include "picture/png/RFLZLIB.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <numeric>
#include <vector>

#include "png_test_support.h"

namespace {

std::int64_t Score(const std::vector<std::uint8_t>& candidate, int bitsPerPixel = 32) {
  std::int32_t histogram[256];
  return ScoreFilteredRow(candidate.data(), int(candidate.size()), bitsPerPixel, histogram);
}

TEST(ScoreFilteredRow, FollowsTheWorkedExamples) {
  std::vector<std::uint8_t> ten(10);
  std::iota(ten.begin(), ten.end(), 0);
  EXPECT_EQ(Score(ten), 966);  // 666.67 + 300

  std::vector<std::uint8_t> twelve = {5, 5, 5, 10, 11, 12, 13, 14, 15, 16, 17, 18};
  EXPECT_EQ(Score(twelve), 1216);  // 800 + 416.67

  // Below 8 bits per pixel the distinct-value term weighs 1500 and only two counts add.
  EXPECT_EQ(Score(twelve, 4), std::int64_t(12 / 1.5 / 10 * 1500 + 4.0 / 12 * 1000));

  // One value filling 91 per cent of the row is taken at once; at 89 per cent it is scored.
  std::vector<std::uint8_t> ninetyOne(91, 200);
  for (int v = 0; v < 9; ++v) ninetyOne.push_back(std::uint8_t(v));
  EXPECT_EQ(Score(ninetyOne), -1);
  std::vector<std::uint8_t> eightyNine(89, 200);
  for (int v = 0; v < 11; ++v) eightyNine.push_back(std::uint8_t(v));
  EXPECT_EQ(Score(eightyNine), 6465);  // 100 / 1.5 / 12 x 1000 + 91 / 100 x 1000

  std::vector<std::uint8_t> eightValues(64);
  for (std::size_t i = 0; i < eightValues.size(); ++i) eightValues[i] = std::uint8_t(i % 8 * 31);
  EXPECT_EQ(Score(eightValues), -1);
  eightValues[0] = 255;  // a ninth value
  EXPECT_GT(Score(eightValues), 0);
}

// Undoes a filter the way a PNG decoder does, from the reconstructed bytes.
std::vector<std::uint8_t> Unfilter(const std::uint8_t* filtered, const std::vector<std::uint8_t>& previous, int step) {
  const int type = filtered[0];
  const int n = int(previous.size());
  std::vector<std::uint8_t> x(std::size_t(n), 0);
  for (int i = 0; i < n; ++i) {
    const int a = i >= step ? x[std::size_t(i - step)] : 0;
    const int b = previous[std::size_t(i)];
    const int c = i >= step ? previous[std::size_t(i - step)] : 0;
    int predictor = 0;
    if (type == 1) predictor = a;
    if (type == 2) predictor = b;
    if (type == 3) predictor = (a + b) / 2;
    if (type == 4) {
      const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
      predictor = (pa <= pb && pa <= pc) ? a : pb <= pc ? b : c;
    }
    x[std::size_t(i)] = std::uint8_t(filtered[i + 1] + predictor);
  }
  return x;
}

TEST(FilterRow, EveryFilterIsUndoneByThePngReconstruction) {
  TestRandom random(7);
  for (int step : {1, 2, 3, 4}) {
    for (int length : {1, 3, 17, 64}) {
      std::vector<std::uint8_t> current(static_cast<std::size_t>(length)), previous(current.size());
      for (auto& v : current) v = random.Next();
      for (auto& v : previous) v = random.Next();
      for (TPngFilter type : {pfNone, pfSub, pfUp, pfAverage, pfPaeth}) {
        std::vector<std::uint8_t> out(std::size_t(length) + 1);
        FilterRow(type, current.data(), previous.data(), length, step, out.data());
        EXPECT_EQ(out[0], type);
        EXPECT_EQ(Unfilter(out.data(), previous, step), current) << "type " << int(type) << " step " << step;
      }
    }
  }
}

// Compresses one row after `previous` and answers the filter chosen for it.
TPngFilter ChosenFilter(const std::vector<std::uint8_t>& row, int mode, int bias,
                        const std::vector<std::uint8_t>& previous = {}) {
  RowCompressor compressor;
  compressor.FilterMode = mode;
  compressor.BiasClass = bias;
  compressor.AllocateRows(int(row.size()));
  compressor.OnBufferFull = [](const std::uint8_t*, int) { return 0; };
  EXPECT_EQ(compressor.StartCompression(6, 32768), 0);
  compressor.StartPass(int(row.size()));
  std::copy(previous.begin(), previous.end(), compressor.CurrentRow());
  compressor.SwapRows();
  std::copy(row.begin(), row.end(), compressor.CurrentRow());
  EXPECT_EQ(compressor.CompressRow(), 0);
  return compressor.LastFilter();
}

TEST(RowCompressor, AdaptiveChoiceTakesTheBestScoreAndKeepsTheEarlierOnTies) {
  // With a zero previous row, Up filters to the same bytes as None; only the type byte differs,
  // and neither type value occurs in the row, so the two score the same. Ten values in random
  // order make Sub, Average and Paeth spread over many more values and score lower.
  TestRandom random(11);
  std::vector<std::uint8_t> row;
  for (int i = 0; i < 40; ++i) row.push_back(std::uint8_t(100 + (random.Next() % 10) * 7));
  std::vector<std::uint8_t> none(41), up(41), zero(40);
  FilterRow(pfNone, row.data(), zero.data(), 40, 1, none.data());
  FilterRow(pfUp, row.data(), zero.data(), 40, 1, up.data());
  ASSERT_EQ(Score(none), Score(up));
  EXPECT_EQ(ChosenFilter(row, FilterModeAdaptive, 24), pfNone);

  // A smooth gradient: Sub turns it into one repeated difference and is taken at once, also when
  // the same row follows and Up would give all zeros, because Sub is tried first.
  std::vector<std::uint8_t> ramp;
  for (int i = 0; i < 40; ++i) ramp.push_back(std::uint8_t(i * 3 + 1));
  EXPECT_EQ(ChosenFilter(ramp, FilterModeAdaptive, 24), pfSub);
  EXPECT_EQ(ChosenFilter(ramp, FilterModeAdaptive, 24, ramp), pfSub);
  // Up scores 2972 against None's 1535: taken for 24-bit rows, but 1- and 8-bit rows double the
  // None score, which then stays ahead.
  const std::vector<std::uint8_t> above = {10, 90, 90, 10, 50, 90, 50, 90, 90, 10, 90, 10, 50, 50, 90, 10, 10, 90, 50, 90,
                                           90, 50, 50, 90, 10, 10, 90, 10, 90, 50, 90, 10, 90, 10, 10, 90, 10, 50, 10, 50};
  const std::vector<std::uint8_t> steps = {149, 163, 142, 142, 142, 163, 149, 114, 135, 107, 100, 114, 149, 121,
                                           128, 142, 128, 142, 156, 142, 163, 135, 156, 163, 142, 163, 121, 135,
                                           100, 128, 163, 114, 135, 156, 163, 163, 107, 121, 163, 128};
  std::vector<std::uint8_t> stepped(above.size());
  for (std::size_t i = 0; i < above.size(); ++i) stepped[i] = std::uint8_t(above[i] + steps[i]);
  EXPECT_EQ(ChosenFilter(stepped, FilterModeAdaptive, 24, above), pfUp);
  EXPECT_EQ(ChosenFilter(stepped, FilterModeAdaptive, 8, above), pfNone);
  EXPECT_EQ(ChosenFilter(stepped, FilterModeAdaptive, 1, above), pfNone);
  // Four-bit rows always go out unfiltered.
  EXPECT_EQ(ChosenFilter(ramp, FilterModeAdaptive, 4), pfNone);
  // Fixed modes use their filter on every row; modes above 5 act as None.
  for (int mode = 1; mode <= 7; ++mode) EXPECT_EQ(ChosenFilter(ramp, mode, 24), mode <= 5 ? TPngFilter(mode - 1) : pfNone);
}

TEST(RowCompressor, VeryLongRowsAreScoredWithoutOverflow) {
  // 32 million bytes of nine values in random order. Unfiltered, the row scores above 2^31; with
  // its type byte the None candidate scores just below, and doubled for the 8-bit bias class it
  // must stay ahead of every other filter rather than wrap negative.
  TestRandom random(13);
  std::vector<std::uint8_t> row(32'000'000);
  for (auto& v : row) v = std::uint8_t(100 + (random.Next() % 9) * 7);
  EXPECT_GT(Score(row), std::int64_t(INT32_MAX));

  RowCompressor compressor;
  compressor.FilterMode = FilterModeAdaptive;
  compressor.BiasClass = 8;
  compressor.AllocateRows(int(row.size()));
  compressor.StartPass(int(row.size()));
  std::copy(row.begin(), row.end(), compressor.CurrentRow());
  compressor.SelectRowFilter();
  EXPECT_EQ(compressor.LastFilter(), pfNone);
}

}  // namespace
