#include "picture/png/RowInflater.h"

#include <gtest/gtest.h>
#include <zlib.h>

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

namespace {

std::vector<std::uint8_t> Deflated(const std::vector<std::uint8_t>& raw) {
  uLongf size = compressBound(uLong(raw.size()));
  std::vector<std::uint8_t> out(size);
  compress2(out.data(), &size, raw.data(), uLong(raw.size()), 6);
  out.resize(size);
  return out;
}

void Count(void* context, const std::uint8_t*) { ++*static_cast<int*>(context); }

}  // namespace

// The zlib stream in any pieces, down to single bytes, gives the rows; a stream that ends early,
// bytes that are no zlib stream and unknown filter types are told apart.
TEST(RowInflater, InflatesRowsFromAnyPiecesAndTellsFaults) {
  const int rowBytes = 12, rows = 5;
  std::vector<std::uint8_t> raw;
  for (int r = 0; r < rows; ++r) {
    raw.push_back(std::uint8_t(r % 5));
    for (int i = 0; i < rowBytes; ++i) raw.push_back(std::uint8_t(r * 31 + i * 7));
  }
  const std::vector<std::uint8_t> whole = Deflated(raw);
  std::vector<std::uint8_t> badFilter = raw;
  badFilter[std::size_t(2) * (rowBytes + 1)] = 5;
  std::vector<std::uint8_t> badHeader = whole;
  badHeader[1] ^= 1;
  const struct {
    const char* what;
    std::vector<std::uint8_t> data;
    std::size_t piece;
    RowInflater::TResult result;
    int rows;
  } cases[] = {
      {"whole", whole, whole.size(), RowInflater::AllRows, rows},
      {"single bytes", whole, 1, RowInflater::AllRows, rows},
      {"rows past the last", Deflated(std::vector<std::uint8_t>(raw.size() * 3, 0)), 7, RowInflater::AllRows, rows},
      {"ends after two rows", Deflated({raw.begin(), raw.begin() + 2 * (rowBytes + 1) + 3}), 5, RowInflater::DataEnded, 2},
      {"cut short", {whole.begin(), whole.begin() + 6}, 3, RowInflater::NeedData, 0},
      {"header check bits wrong", badHeader, 4, RowInflater::BadData, 0},
      {"no zlib stream", std::vector<std::uint8_t>(64, 0xFF), 64, RowInflater::BadData, 0},
      {"filter type 5", Deflated(badFilter), 9, RowInflater::BadFilter, 2},
  };
  for (const auto& c : cases) {
    RowInflater inflater(rowBytes, 3, rows);
    int handed = 0;
    RowInflater::TResult result = RowInflater::NeedData;
    for (std::size_t at = 0; at < c.data.size() && result == RowInflater::NeedData; at += c.piece)
      result = inflater.Inflate(c.data.data() + at, std::min(c.piece, c.data.size() - at), Count, &handed);
    EXPECT_EQ(result, c.result) << c.what;
    EXPECT_EQ(handed, c.rows) << c.what;
  }
}
