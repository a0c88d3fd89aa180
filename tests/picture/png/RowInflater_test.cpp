#include "picture/png/RowInflater.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <random>
#include <vector>

// Every filter undone exactly, for pixels of 1 to 8 bytes and rows that end inside a pixel.
TEST(UnfilterRow, UndoesEveryFilterOfEveryStep) {
  std::mt19937 random(11);
  for (int step = 1; step <= 8; ++step)
    for (int length : {step, 5 * step, 5 * step + 1, 97})
      for (TPngFilter type : {pfNone, pfSub, pfUp, pfAverage, pfPaeth}) {
        std::vector<std::uint8_t> row(static_cast<std::size_t>(length)), previous(row.size()), filtered(row.size() + 1);
        for (auto& v : row) v = std::uint8_t(random());
        for (auto& v : previous) v = std::uint8_t(random() % 3 == 0 ? 255 : random());
        FilterRow(type, row.data(), previous.data(), length, step, filtered.data());
        std::vector<std::uint8_t> undone(filtered.begin() + 1, filtered.end());
        UnfilterRow(type, undone.data(), previous.data(), length, step);
        EXPECT_EQ(undone, row) << "filter " << int(type) << ", step " << step << ", length " << length;
      }
}

// Two Paeth rows undone together give what undoing them one after the other gives.
TEST(UnfilterRow, UndoesPaethRowPairsAsSingleRows) {
  std::mt19937 random(12);
  for (int step = 1; step <= 8; ++step)
    for (int length : {step, 2 * step, 5 * step, 5 * step + 1, 1024 * step}) {
      std::vector<std::uint8_t> above(static_cast<std::size_t>(length)), first(above.size()), second(above.size());
      // Runs of equal bytes among noise, so that ties between the predictors come up.
      for (auto* row : {&above, &first, &second})
        for (auto& v : *row) v = std::uint8_t(random() % 4 == 0 ? random() : 128);
      std::vector<std::uint8_t> firstAlone = first, secondAlone = second;
      UnfilterRow(pfPaeth, firstAlone.data(), above.data(), length, step);
      UnfilterRow(pfPaeth, secondAlone.data(), firstAlone.data(), length, step);
      UnPaethRows(first.data(), second.data(), above.data(), length, step);
      EXPECT_TRUE(first == firstAlone && second == secondAlone) << "step " << step << ", length " << length;
    }
}

namespace {

std::vector<std::uint8_t> Deflated(const std::vector<std::uint8_t>& raw) {
  uLongf size = compressBound(uLong(raw.size()));
  std::vector<std::uint8_t> out(size);
  compress2(out.data(), &size, raw.data(), uLong(raw.size()), 6);
  out.resize(size);
  return out;
}

// Rows of known bytes, each filtered by the next filter type against the one before.
struct TRows {
  std::vector<std::vector<std::uint8_t>> Known;
  std::vector<std::uint8_t> Raw;  // filter bytes and filtered rows, as the zlib stream holds them
};

TRows FilteredRows(int rowBytes, int rows, int step, unsigned noise = 7) {
  TRows r;
  std::mt19937 random{std::uint32_t(rows)};
  std::vector<std::uint8_t> previous(std::size_t(rowBytes), 0), filtered(std::size_t(rowBytes) + 1);
  for (int y = 0; y < rows; ++y) {
    std::vector<std::uint8_t> row(static_cast<std::size_t>(rowBytes));
    for (int i = 0; i < rowBytes; ++i) row[std::size_t(i)] = std::uint8_t(random() % noise + unsigned(i * 7 + y * 3));
    FilterRow(TPngFilter(y % 5), row.data(), previous.data(), rowBytes, step, filtered.data());
    r.Raw.insert(r.Raw.end(), filtered.begin(), filtered.end());
    r.Known.push_back(row);
    previous = row;
  }
  return r;
}

struct TSeen {
  const TRows* Rows;
  int Step;
  int Handed = 0, Wrong = 0;
  std::vector<std::uint8_t> Previous;  // the last row handed, its filter undone
};

// Undoes the handed row's filter against the row before and compares it with the known one.
void Check(void* context, const std::uint8_t* row) {
  auto& seen = *static_cast<TSeen*>(context);
  const auto& known = seen.Rows->Known[std::size_t(seen.Handed++)];
  std::vector<std::uint8_t> undone(row + 1, row + 1 + known.size());
  if (seen.Previous.empty()) seen.Previous.assign(known.size(), 0);
  UnfilterRow(TPngFilter(row[0]), undone.data(), seen.Previous.data(), int(undone.size()), seen.Step);
  seen.Wrong += undone != known;
  seen.Previous = undone;
}

}  // namespace

// The zlib stream in any pieces, down to single bytes, gives the rows, also across the batches it
// inflates at a time; a stream that ends early, bytes that are no zlib stream and unknown filter
// types are told apart. ISA-L and zlib alike.
TEST(RowInflater, InflatesRowsFromAnyPiecesAndTellsFaults) {
  const TRows small = FilteredRows(12, 5, 3), many = FilteredRows(12, 20000, 4), wide = FilteredRows(1024, 768, 4, 64);
  const std::vector<std::uint8_t> whole = Deflated(small.Raw);
  std::vector<std::uint8_t> badFilter = small.Raw;
  badFilter[std::size_t(2) * 13] = 5;
  std::vector<std::uint8_t> badHeader = whole;
  badHeader[1] ^= 1;
  std::vector<std::uint8_t> past = small.Raw;
  past.resize(past.size() * 3, 0);
  const struct {
    const char* what;
    const TRows& rows;
    std::vector<std::uint8_t> data;
    std::size_t piece;
    RowInflater::TResult result;
    int handed;
  } cases[] = {
      {"whole", small, whole, whole.size(), RowInflater::AllRows, 5},
      {"single bytes", small, whole, 1, RowInflater::AllRows, 5},
      {"20000 rows, many batches", many, Deflated(many.Raw), 999, RowInflater::AllRows, 20000},
      // The last rows come out of the inflater only after the last piece, held back before.
      {"768 noisy rows of 1024 bytes in 32 KiB pieces", wide, Deflated(wide.Raw), 32768, RowInflater::AllRows, 768},
      {"rows past the last", small, Deflated(past), 7, RowInflater::AllRows, 5},
      {"ends after two rows", small, Deflated({small.Raw.begin(), small.Raw.begin() + 2 * 13 + 3}), 5, RowInflater::DataEnded, 2},
      {"cut short", small, {whole.begin(), whole.begin() + 6}, 3, RowInflater::NeedData, 0},
      {"header check bits wrong", small, badHeader, 4, RowInflater::BadData, 0},
      {"no zlib stream", small, std::vector<std::uint8_t>(64, 0xFF), 64, RowInflater::BadData, 0},
      {"filter type 5", small, Deflated(badFilter), 9, RowInflater::BadFilter, 2},
  };
  for (const auto engine : {RowInflater::Fastest, RowInflater::Zlib})
    for (const auto& c : cases) {
      RowInflater inflater(int(c.rows.Known[0].size()), int(c.rows.Known.size()), engine);
      TSeen seen{&c.rows, c.rows.Known.size() > 5 ? 4 : 3, 0, 0, {}};
      RowInflater::TResult result = RowInflater::NeedData;
      for (std::size_t at = 0; at < c.data.size() && result == RowInflater::NeedData; at += c.piece)
        result = inflater.Inflate(c.data.data() + at, std::min(c.piece, c.data.size() - at), Check, &seen);
      const char* name = engine == RowInflater::Zlib ? "zlib" : "fastest";
      EXPECT_EQ(result, c.result) << name << ": " << c.what;
      EXPECT_EQ(seen.Handed, c.handed) << name << ": " << c.what;
      EXPECT_EQ(seen.Wrong, 0) << name << ": " << c.what;
    }
}

namespace {

struct TCollected {
  std::vector<std::uint8_t> Bytes;
};

void Collect(void* context, const std::uint8_t* row) {
  auto& c = *static_cast<TCollected*>(context);
  c.Bytes.insert(c.Bytes.end(), row, row + 64);
}

}  // namespace

// The page inflates with zlib, the desktop with ISA-L: damaged streams too must come out alike,
// refused at the same row or inflated to the same bytes.
TEST(RowInflater, BothEnginesAgreeOnDamagedStreams) {
  const TRows rows = FilteredRows(256, 200, 4);
  const std::vector<std::uint8_t> stream = Deflated(rows.Raw);
  std::mt19937 random(23);
  int differing = 0;
  for (int trial = 0; trial < 400; ++trial) {
    std::vector<std::uint8_t> damaged = stream;
    for (int flips = 1 + int(random() % 3); flips > 0; --flips) damaged[2 + random() % (damaged.size() - 2)] ^= std::uint8_t(1u << (random() % 8));
    TCollected fastest, zlib;
    RowInflater a(256, 200, RowInflater::Fastest), b(256, 200, RowInflater::Zlib);
    const auto ra = a.Inflate(damaged.data(), damaged.size(), Collect, &fastest);
    const auto rb = b.Inflate(damaged.data(), damaged.size(), Collect, &zlib);
    differing += ra != rb || fastest.Bytes != zlib.Bytes;
  }
  EXPECT_EQ(differing, 0);
}
