#include "picture/png_row_stages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <thread>
#include <vector>

#include "picture/png/RowInflater.h"

namespace {

// Rows of random pixels, each filtered by a filter type of its own against the row above, as the
// inflater hands them over (filter byte first), and the picture they make.
struct TFilteredPicture {
  std::vector<std::vector<std::uint8_t>> Rows;
  TBitmap Expected;
};

TFilteredPicture MakeFiltered(int width, int height, int channels, unsigned seed) {
  TFilteredPicture made{{}, TBitmap(width, height, pf32bit)};
  std::mt19937 random(seed);
  const int rowBytes = width * channels;
  std::vector<std::uint8_t> previous(std::size_t(rowBytes), 0), row(previous.size());
  for (int y = 0; y < height; ++y) {
    // Smooth runs with noise, so that every predictor's choices come up.
    for (int i = 0; i < rowBytes; ++i) row[std::size_t(i)] = std::uint8_t(random() % 5 == 0 ? random() : (i * 3 + y) / 4);
    std::vector<std::uint8_t> filtered(std::size_t(rowBytes) + 1);
    // Paeth half the time, so that Paeth rows come in runs (finished two at a time).
    FilterRow(TPngFilter(std::min(std::uint32_t(random() % 8), 4u)), row.data(), previous.data(), rowBytes, channels, filtered.data());
    made.Rows.push_back(filtered);
    std::uint8_t* out = made.Expected.ScanLine(y);
    for (int x = 0; x < width; ++x) {
      const std::uint8_t* p = row.data() + std::size_t(x) * channels;
      out[4 * x] = p[2], out[4 * x + 1] = p[1], out[4 * x + 2] = p[0], out[4 * x + 3] = channels == 4 ? p[3] : 255;
    }
    previous = row;
  }
  return made;
}

bool SamePixels(const TBitmap& a, const TBitmap& b) {
  for (int y = 0; y < a.Height(); ++y)
    if (!std::equal(a.ScanLine(y), a.ScanLine(y) + 4 * a.Width(), b.ScanLine(y))) return false;
  return true;
}

}  // namespace

// Every filter undone and every row turned into blue, green, red, alpha, whether the rows are
// finished in batches on the thread that puts them or on a second thread as they come (which,
// while it waits, writes into the rows far ahead); a reading that ends early ends the second
// thread too, whatever it had.
TEST(PngRowStages, FinishesRowsOnOneThreadOrTwo) {
  struct TCase {
    int width, height, channels;
  } cases[] = {{1, 1, 3}, {1, 1, 4}, {7, 5, 3}, {7, 5, 4}, {301, 97, 3}, {256, 130, 4}};
  for (const TCase& c : cases)
    for (int batch : {1, 16}) {
      const TFilteredPicture made = MakeFiltered(c.width, c.height, c.channels, unsigned(c.width * 31 + batch));
      const std::string name = std::to_string(c.width) + "x" + std::to_string(c.height) + "x" +
                               std::to_string(c.channels) + ", batches of " + std::to_string(batch);
      TBitmap here(c.width, c.height, pf32bit), apart(c.width, c.height, pf32bit);
      TPngRowStages stagesHere(here, c.channels), stagesApart(apart, c.channels);
      std::thread finisher([&] { stagesApart.FinishUntilEnd(); });
      for (int y = 0; y < c.height; ++y) {
        stagesHere.Put(made.Rows[std::size_t(y)].data());
        stagesApart.Put(made.Rows[std::size_t(y)].data());
        // A pause, so that the second thread waits and touches the rows far ahead meanwhile.
        if (y == 8) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        if ((y + 1) % batch == 0) stagesHere.FinishPut();
      }
      stagesHere.FinishPut();
      stagesApart.End();
      finisher.join();
      EXPECT_TRUE(SamePixels(here, made.Expected)) << name << ", one thread";
      EXPECT_TRUE(SamePixels(apart, made.Expected)) << name << ", two threads";

      TBitmap cut(c.width, c.height, pf32bit);
      TPngRowStages stagesCut(cut, c.channels);
      std::thread cutFinisher([&] { stagesCut.FinishUntilEnd(); });
      for (int y = 0; y < c.height / 2; ++y) stagesCut.Put(made.Rows[std::size_t(y)].data());
      stagesCut.End();
      cutFinisher.join();  // returns although rows are missing
    }
}
