#include "picture/bmp_rle.h"

#include <gtest/gtest.h>

#include "picture/bmp_file.h"
#include "tests/picture/bmp_builder.h"
#include "toolkit/errors.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Colour i of the table is (blue i, green 10 i, red 100 + i); its fourth byte must never show.
std::vector<TRGBQuad> Table(int count) {
  std::vector<TRGBQuad> table;
  for (int i = 0; i < count; ++i) table.push_back({std::uint8_t(i), std::uint8_t(10 * i), std::uint8_t(100 + i), 0xFF});
  return table;
}

TBGRA Colour(int i) { return {std::uint8_t(i), std::uint8_t(10 * i), std::uint8_t(100 + i), 0}; }
constexpr TBGRA kUnset{0, 0, 0, 0};

// The picture's rows, top row first, as 32-bit pixels.
std::vector<std::vector<TBGRA>> Rows(const TBitmap& image) {
  const TBitmap wide = ConvertTo32Bit(image);
  std::vector<std::vector<TBGRA>> rows;
  for (int y = 0; y < wide.Height(); ++y) {
    const auto* p = reinterpret_cast<const TBGRA*>(wide.ScanLine(y));
    rows.emplace_back(p, p + wide.Width());
  }
  return rows;
}

TEST(RunLength, Decodes8BitRunsAbsoluteRunsDeltasAndLineEnds) {
  const Bytes data = {
      2, 1,              // two of colour 1
      0, 3, 2, 3, 4, 0,  // absolute run of three, padded to a whole word
      0, 0,              // end of line
      0, 2, 2, 1,        // delta: two right, one up, skipping the rest of the middle row
      1, 5,              // one of colour 5
      0, 1,              // end of bitmap
      9, 9};             // nothing after it counts
  const TBitmap image = DecodeRunLength(data, 8, 5, 3, Table(6));
  EXPECT_EQ(image.PixelFormat(), pfDevice);
  const auto rows = Rows(image);
  EXPECT_EQ(rows[2], (std::vector<TBGRA>{Colour(1), Colour(1), Colour(2), Colour(3), Colour(4)}));
  EXPECT_EQ(rows[1], std::vector<TBGRA>(5, kUnset));
  EXPECT_EQ(rows[0], (std::vector<TBGRA>{kUnset, kUnset, Colour(5), kUnset, kUnset}));
}

TEST(RunLength, Decodes4BitRunsOfAlternatingNibbles) {
  const Bytes data = {
      5, 0x12,                 // 1 2 1 2 1
      0, 0,                    // end of line
      0, 3, 0x34, 0x50,        // absolute 3 4 5, two bytes already a whole word
      0, 5, 0x67, 0x89, 0xA0,  // absolute 6 7 8 9 10 of five nibbles in three bytes plus a pad byte
      0x00,
  };
  const TBitmap image = DecodeRunLength(data, 4, 8, 2, Table(16));
  const auto rows = Rows(image);
  EXPECT_EQ(rows[1], (std::vector<TBGRA>{Colour(1), Colour(2), Colour(1), Colour(2), Colour(1), kUnset, kUnset, kUnset}));
  EXPECT_EQ(rows[0], (std::vector<TBGRA>{Colour(3), Colour(4), Colour(5), Colour(6), Colour(7), Colour(8), Colour(9), Colour(10)}));
}

TEST(RunLength, DropsIndicesInTheRowFillAndRefusesWhatPassesIt) {
  // Five pixels a row are stored as eight indices at 8 bits and at 4 bits alike; encoders may code
  // all eight, and the last three never show.
  const TBitmap filled = DecodeRunLength(Bytes{8, 1, 0, 0, 0, 3, 2, 2, 2, 0}, 8, 5, 2, Table(4));
  EXPECT_EQ(Rows(filled)[1], std::vector<TBGRA>(5, Colour(1)));
  EXPECT_EQ(Rows(filled)[0], (std::vector<TBGRA>{Colour(2), Colour(2), Colour(2), kUnset, kUnset}));

  const std::vector<std::pair<const char*, Bytes>> cases = {
      {"run past the stored row", {6, 1, 3, 1}},
      {"absolute run past the stored row", {4, 1, 0, 5, 1, 2, 3, 1, 2, 0}},
      {"delta past the stored row", {0, 2, 9, 0}},
      {"run after a delta to the stored row's end", {0, 2, 8, 0, 1, 1}},
      {"delta past the last row", {0, 2, 0, 3}},
  };
  for (const auto& [name, data] : cases) {
    EXPECT_THROW(DecodeRunLength(data, 8, 5, 2, Table(4)), EInvalidGraphic) << name;
    EXPECT_THROW(DecodeRunLength(data, 4, 5, 2, Table(4)), EInvalidGraphic) << name;
  }
}

TEST(RunLength, DataThatEndsEarlyLeavesTheRestUnset) {
  // Cut inside an absolute run: the indices present still count. No end-of-bitmap code is needed.
  const TBitmap cut = DecodeRunLength(Bytes{1, 2, 0, 4, 3, 3}, 8, 6, 2, Table(4));
  EXPECT_EQ(Rows(cut)[1], (std::vector<TBGRA>{Colour(2), Colour(3), Colour(3), kUnset, kUnset, kUnset}));
  // Lines ended past the last row stop the decoding rather than fail it.
  const TBitmap full = DecodeRunLength(Bytes{2, 1, 0, 0, 2, 2, 0, 0, 0, 0, 7, 3}, 8, 2, 2, Table(4));
  EXPECT_EQ(Rows(full)[0], (std::vector<TBGRA>{Colour(2), Colour(2)}));
  // An index beyond the table is black.
  EXPECT_EQ(Rows(DecodeRunLength(Bytes{1, 200}, 8, 1, 1, Table(4)))[0][0], kUnset);
}

TEST(RunLength, FilesDecodeIntoTheScreenFormatWithFourthByteZero) {
  BmpBuilder rle8;
  rle8.bitCount = 8;
  rle8.compression = 1;
  rle8.width = 2;
  rle8.height = 2;
  rle8.clrUsed = 2;
  rle8.table = {1, 2, 3, 0xFF, 4, 5, 6, 0xFF};
  rle8.pixels = {2, 1, 0, 0, 2, 0, 0, 1};
  rle8.sizeImage = 8;
  TMemoryStream stream(rle8.Bytes());
  TBitmap image;
  ReadBitmapFile(stream, image);
  EXPECT_EQ(image.PixelFormat(), pfDevice);
  EXPECT_EQ(image.InfoHeader().biCompression, 1u);
  image.SetPixelFormat(pf32bit);
  const auto* top = reinterpret_cast<const TBGRA*>(image.ScanLine(0));
  const auto* bottom = reinterpret_cast<const TBGRA*>(image.ScanLine(1));
  EXPECT_EQ(top[1], (TBGRA{1, 2, 3, 0}));
  EXPECT_EQ(bottom[0], (TBGRA{4, 5, 6, 0}));

  // A run that leaves the picture refuses the whole file.
  rle8.pixels = {5, 1, 0, 1};
  TMemoryStream bad(rle8.Bytes());
  EXPECT_THROW(ReadBitmapFile(bad, image), EInvalidGraphic);
  EXPECT_EQ(image.PixelFormat(), pf32bit);
}

}  // namespace
