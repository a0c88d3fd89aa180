#include "picture/bmp_file.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <functional>
#include <memory>

#include "tests/picture/bmp_builder.h"
#include "tests/support/temp_dir.h"
#include "toolkit/errors.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint32_t Field32(const Bytes& b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t(b[at + 3]) << 24;
}

Bytes Written(const TBitmap& image) {
  TMemoryStream stream;
  WriteBitmapFile(image, stream);
  return stream.Data();
}

TBitmap Read(const Bytes& bytes) {
  TMemoryStream stream(bytes);
  TBitmap image;
  ReadBitmapFile(stream, image);
  return image;
}

TBGRA Pixel32(const TBitmap& image, int x, int y) {
  const TBitmap wide = ConvertTo32Bit(image);
  return reinterpret_cast<const TBGRA*>(wide.ScanLine(y))[x];
}

Bytes Row(const TBitmap& image, int y, std::size_t count) {
  return Bytes(image.ScanLine(y), image.ScanLine(y) + count);
}

// A 3 x 2 picture whose every byte differs, so that flips, swaps and padding faults all show.
TBitmap Sample(TPixelFormat format) {
  TBitmap image(3, 2, format);
  const int bytes = format == pf32bit ? 4 : 3;
  for (int y = 0; y < 2; ++y)
    for (int i = 0; i < 3 * bytes; ++i) image.ScanLine(y)[i] = std::uint8_t(10 * (y + 1) + i);
  return image;
}

TEST(WriteBitmapFile, Writes24BitRowsBottomFirstWithZeroFillBytes) {
  TBitmap image = Sample(pf24bit);
  std::memset(image.ScanLine(0) + 9, 0xEE, 3);  // stray bytes in the storage's row padding
  const Bytes file = Written(image);

  const Bytes header = {'B', 'M', 78, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,  // file header
                        40, 0, 0, 0, 3, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0,  // size, width, height, planes, bits
                        0, 0, 0, 0, 24, 0, 0, 0,                            // compression, image size
                        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  ASSERT_EQ(file.size(), 78u);
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 54), header);
  Bytes bottom = Row(image, 1, 9), top = Row(image, 0, 9);
  bottom.resize(12, 0);
  top.resize(12, 0);
  EXPECT_EQ(Bytes(file.begin() + 54, file.begin() + 66), bottom);
  EXPECT_EQ(Bytes(file.begin() + 66, file.end()), top);
}

TEST(WriteBitmapFile, Writes32BitFilesWithAlphaThatReadBackUnchanged) {
  TBitmap image = Sample(pf32bit);
  image.ScanLine(0)[3] = 0;  // transparent and opaque pixels both survive
  image.ScanLine(1)[7] = 255;
  const Bytes file = Written(image);
  ASSERT_EQ(file.size(), 78u);
  EXPECT_EQ(Field32(file, 2), 78u);
  EXPECT_EQ(file[28], 32);
  EXPECT_EQ(Field32(file, 30), 0u);  // compression 0 although the fourth byte is alpha
  EXPECT_EQ(Field32(file, 34), 24u);
  EXPECT_EQ(Bytes(file.begin() + 54, file.begin() + 66), Row(image, 1, 12));
  EXPECT_EQ(Bytes(file.begin() + 66, file.end()), Row(image, 0, 12));

  const TBitmap back = Read(file);
  ASSERT_EQ(back.PixelFormat(), pf32bit);
  ASSERT_EQ(back.Width(), 3);
  ASSERT_EQ(back.Height(), 2);
  for (int y = 0; y < 2; ++y) EXPECT_EQ(Row(back, y, 12), Row(image, y, 12));
}

TEST(WriteBitmapFile, WritesOtherImagesAsTheir24BitColoursBottomRowFirst) {
  // A top-down image is still written bottom row first under a positive height.
  TBitmap topDown;
  topDown.Create(3, 2, pf24bit, /*topDown=*/true);
  std::memcpy(topDown.ScanLine(0), Row(Sample(pf24bit), 0, 9).data(), 9);
  std::memcpy(topDown.ScanLine(1), Row(Sample(pf24bit), 1, 9).data(), 9);
  EXPECT_EQ(Written(topDown), Written(Sample(pf24bit)));

  TBitmap indexed(2, 1, pf8bit);
  indexed.Palette()[9] = {1, 2, 3, 0};
  indexed.ScanLine(0)[1] = 9;
  const Bytes file = Written(indexed);
  EXPECT_EQ(file[28], 24);
  EXPECT_EQ(Bytes(file.begin() + 54, file.end()), (Bytes{0, 0, 0, 1, 2, 3, 0, 0}));

  TMemoryStream stream;
  EXPECT_THROW(WriteBitmapFile(TBitmap(), stream), EInvalidGraphic);
  EXPECT_EQ(stream.Data().size(), 0u);
}

TEST(ReadBitmapFile, EmptyTruncatedAndForeignInputs) {
  TBitmap image = Sample(pf24bit);
  const Bytes previous = Written(image);

  TMemoryStream empty;
  ReadBitmapFile(empty, image);
  EXPECT_TRUE(image.Empty());
  EXPECT_EQ(image.Width(), 0);

  // A file that ends inside its file header, its info header, its masks or its colour table.
  BmpBuilder masked;
  masked.bitCount = 16;
  masked.compression = 3;
  masked.masks = {0xF800, 0x07E0, 0x001F};
  BmpBuilder indexed;
  indexed.bitCount = 8;
  indexed.table.assign(1024, 7);
  const std::vector<std::pair<Bytes, std::size_t>> cuts = {
      {previous, 1}, {previous, 13}, {previous, 14}, {previous, 30}, {previous, 53},
      {masked.Bytes(), 60}, {indexed.Bytes(), 54 + 1023}};
  for (const auto& [bytes, length] : cuts) {
    image = Sample(pf24bit);
    try {
      Read(Bytes(bytes.begin(), bytes.begin() + std::ptrdiff_t(length)));
      ADD_FAILURE() << length << " bytes read";
    } catch (const EReadError& e) {
      EXPECT_STREQ(e.what(), "ストリームからの読み込みエラー");
    }
  }

  Bytes foreign = previous;
  foreign[1] = 'A';
  try {
    ReadBitmapFile(*std::make_unique<TMemoryStream>(foreign), image);
    ADD_FAILURE() << "a file without the BM signature was read";
  } catch (const EInvalidGraphic& e) {
    EXPECT_STREQ(e.what(), "ビットマップイメージが不正です");
  }
  EXPECT_EQ(Written(image), previous);  // every failure left the image as it was
}

TEST(ReadBitmapFile, ReadsFromTheStreamPositionToItsEnd) {
  Bytes bytes = {'j', 'u', 'n', 'k'};
  const Bytes file = Written(Sample(pf24bit));
  bytes.insert(bytes.end(), file.begin(), file.end());
  TMemoryStream stream(bytes);
  stream.SetPosition(4);
  TBitmap image;
  ReadBitmapFile(stream, image);
  EXPECT_EQ(Written(image), file);
  EXPECT_EQ(stream.Position(), std::int64_t(bytes.size()));
}

TEST(ReadBitmapFile, ReadsColourTablesOfBothEntrySizes) {
  // The OS/2 core header: 3-byte entries, a full table of 256 for 8 bits.
  BmpBuilder core;
  core.headerSize = 12;
  core.bitCount = 8;
  for (int i = 0; i < 256; ++i) core.table.insert(core.table.end(), {std::uint8_t(i), std::uint8_t(255 - i), 7});
  core.pixels = {0, 1, 255, 0, 200, 100, 50, 0};
  const TBitmap image = Read(core.Bytes());
  ASSERT_EQ(image.PixelFormat(), pf8bit);
  ASSERT_EQ(image.Palette().size(), 256u);
  EXPECT_EQ(image.Palette()[255], (TRGBQuad{255, 0, 7, 0}));
  EXPECT_EQ(image.InfoHeader().biSize, 12u);
  EXPECT_EQ(Pixel32(image, 2, 1), (TBGRA{255, 0, 7, 0}));  // the bottom row comes first
  EXPECT_EQ(Pixel32(image, 0, 0), (TBGRA{200, 55, 7, 0}));

  // A 4-bit info header with two colours: indices beyond the table are black.
  BmpBuilder info;
  info.bitCount = 4;
  info.height = 1;
  info.clrUsed = 2;
  info.table = {10, 20, 30, 99, 40, 50, 60, 0};
  info.pixels = {0x10, 0x50, 0, 0};
  const TBitmap small = Read(info.Bytes());
  ASSERT_EQ(small.PixelFormat(), pf4bit);
  EXPECT_EQ(small.Palette().size(), 2u);
  EXPECT_EQ(Pixel32(small, 0, 0), (TBGRA{40, 50, 60, 0}));
  EXPECT_EQ(Pixel32(small, 1, 0), (TBGRA{10, 20, 30, 0}));
  EXPECT_EQ(Pixel32(small, 2, 0), (TBGRA{0, 0, 0, 0}));
}

// Deeper pixels use no colour table, and other readers show such files whatever table they carry:
// the declared entries are passed over exactly, so the pixels are the bytes right after them.
TEST(ReadBitmapFile, ReadsDeepPicturesPastAnUnusedTableOfAnyLength) {
  const Bytes pixels = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  for (int bits : {16, 24, 32}) {
    for (bool masked : {false, true}) {
      if (masked && bits == 24) continue;
      BmpBuilder file;
      file.bitCount = std::uint16_t(bits);
      file.width = 1;
      file.height = 2;
      if (masked) file.compression = 3, file.masks = {0xF800, 0x07E0, 0x001F};
      file.clrUsed = 300;
      file.table.assign(300 * 4, 0xEE);
      file.pixels = pixels;
      const std::string what = std::to_string(bits) + (masked ? " bits with masks" : " bits");
      TBitmap image;
      ASSERT_NO_THROW(image = Read(file.Bytes())) << what;
      EXPECT_EQ(image.BitCount(), bits) << what;
      EXPECT_TRUE(image.Palette().empty()) << what;
      EXPECT_EQ(Row(image, 1, std::size_t(bits / 8)), Bytes(pixels.begin(), pixels.begin() + bits / 8)) << what;
      EXPECT_EQ(Row(image, 0, std::size_t(bits / 8)), Bytes(pixels.begin() + 4, pixels.begin() + 4 + bits / 8)) << what;
      EXPECT_EQ(image.InfoHeader().biClrUsed, 300u) << what;

      // A file that ends inside the table, however much the count promises.
      const Bytes bytes = file.Bytes();
      const std::size_t tableEnd = bytes.size() - pixels.size();
      EXPECT_THROW(Read(Bytes(bytes.begin(), bytes.begin() + std::ptrdiff_t(tableEnd - 1))), EReadError) << what;
    }
  }

  // Counts whose byte size wraps around in 32 bits (to 4 bytes, to 0) are as long as they say.
  for (std::uint32_t count : {0x40000001u, 0x40000000u, 0xFFFFFFFFu}) {
    BmpBuilder file;
    file.clrUsed = count;
    file.table.assign(4, 0xEE);
    file.pixels.assign(24, 0x33);
    EXPECT_THROW(Read(file.Bytes()), EReadError) << count;
  }
}

TEST(ReadBitmapFile, KeepsTheFilesRowOrderAndTakesPixelsRightAfterTheTable) {
  BmpBuilder topDown;
  topDown.height = -2;
  topDown.pixels = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0, 11, 12, 13, 14, 15, 16, 17, 18, 19, 0, 0, 0};
  const TBitmap image = Read(topDown.Bytes());
  EXPECT_TRUE(image.TopDown());
  EXPECT_EQ(image.Height(), 2);
  EXPECT_EQ(Row(image, 0, 3), (Bytes{1, 2, 3}));
  EXPECT_EQ(Pixel32(image, 0, 1), (TBGRA{11, 12, 13, 0}));  // 24-bit converts with fourth byte 0

  // The offset field points past two gap bytes; the gap is still taken as the first pixel bytes.
  BmpBuilder gap;
  gap.pixels = {0xAA, 0xBB, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22};
  Bytes bytes = gap.Bytes();
  bytes[10] += 2;
  EXPECT_EQ(Row(Read(bytes), 1, 3), (Bytes{0xAA, 0xBB, 1}));
}

TEST(ReadBitmapFile, ReadsOnlyThePixelBytesPresent) {
  BmpBuilder shortFile;
  shortFile.height = 3;
  shortFile.pixels = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0, 21, 22};  // one row and two bytes
  TBitmap image = Read(shortFile.Bytes());
  EXPECT_EQ(Row(image, 2, 9), (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(Row(image, 1, 4), (Bytes{21, 22, 0, 0}));
  EXPECT_EQ(Row(image, 0, 9), Bytes(9, 0));

  // A declared image size below the rows' size limits the read; one above it never passes them.
  BmpBuilder declared;
  declared.height = 1;
  declared.sizeImage = 4;
  declared.pixels = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0};
  EXPECT_EQ(Row(Read(declared.Bytes()), 0, 6), (Bytes{1, 2, 3, 4, 0, 0}));
  declared.sizeImage = 0xFFFFFFF0;
  declared.pixels.resize(64, 0xCC);
  TMemoryStream stream(declared.Bytes());
  ReadBitmapFile(stream, image);
  EXPECT_EQ(image.BitsSize(), 12u);
  EXPECT_EQ(stream.Position(), 54 + 12);
}

TEST(ReadBitmapFile, ReadsMaskedPixelsThroughTheirMasks) {
  BmpBuilder plain16;
  plain16.bitCount = 16;
  plain16.height = 1;
  plain16.width = 2;
  plain16.pixels = {0xFF, 0x7F, 0x1F, 0x00};  // 5-5-5: white, then full blue
  TBitmap image = Read(plain16.Bytes());
  EXPECT_EQ(image.PixelFormat(), pf15bit);
  EXPECT_EQ(Pixel32(image, 0, 0), (TBGRA{255, 255, 255, 0}));
  EXPECT_EQ(Pixel32(image, 1, 0), (TBGRA{255, 0, 0, 0}));

  BmpBuilder rgb565 = plain16;
  rgb565.compression = 3;
  rgb565.masks = {0xF800, 0x07E0, 0x001F};
  rgb565.pixels = {0xE0, 0x07, 0x10, 0x84};  // full green; then red 16, green 32, blue 16
  image = Read(rgb565.Bytes());
  EXPECT_EQ(image.PixelFormat(), pf16bit);
  EXPECT_EQ(Pixel32(image, 0, 0), (TBGRA{0, 255, 0, 0}));
  EXPECT_EQ(Pixel32(image, 1, 0), (TBGRA{132, 130, 132, 0}));

  // 4-4-4 masks inside a 108-byte header, whose other extra bytes travel along untouched.
  BmpBuilder custom16 = rgb565;
  custom16.headerSize = 108;
  custom16.masks = {0x0F00, 0x00F0, 0x000F};
  custom16.pixels = {0x21, 0x0F, 0, 0};
  image = Read(custom16.Bytes());
  EXPECT_EQ(image.PixelFormat(), pfCustom);
  EXPECT_EQ(image.BitCount(), 16);
  EXPECT_EQ(Pixel32(image, 0, 0), (TBGRA{0x11, 0x22, 0xFF, 0}));
  EXPECT_EQ(image.InfoHeader().biSize, 108u);
  ASSERT_EQ(image.InfoHeader().Extra.size(), 68u);
  EXPECT_EQ(image.InfoHeader().Extra[12], 0xA5);

  // 32 bits with masks is a picture without alpha: its fourth bytes go.
  BmpBuilder masked32 = plain16;
  masked32.bitCount = 32;
  masked32.compression = 3;
  masked32.masks = {0xFF0000, 0xFF00, 0xFF};
  masked32.pixels = {1, 2, 3, 200, 4, 5, 6, 255};
  image = Read(masked32.Bytes());
  EXPECT_EQ(image.PixelFormat(), pfCustom);
  EXPECT_EQ(Pixel32(image, 1, 0), (TBGRA{4, 5, 6, 0}));
}

TEST(ReadBitmapFile, RefusesHeadersThatDescribeNoAcceptedPicture) {
  const std::vector<std::pair<const char*, std::function<void(BmpBuilder&)>>> cases = {
      {"planes 2", [](BmpBuilder& b) { b.planes = 2; }},
      {"bit count 0", [](BmpBuilder& b) { b.bitCount = 0; }},
      {"bit count 2", [](BmpBuilder& b) { b.bitCount = 2; }},
      {"bit count 64", [](BmpBuilder& b) { b.bitCount = 64; }},
      {"width 0", [](BmpBuilder& b) { b.width = 0; }},
      {"negative width", [](BmpBuilder& b) { b.width = -3; }},
      {"height 0", [](BmpBuilder& b) { b.height = 0; }},
      {"core width 0", [](BmpBuilder& b) { b.headerSize = 12, b.width = 0; }},
      {"most negative height", [](BmpBuilder& b) { b.height = INT_MIN; }},
      {"header size 16", [](BmpBuilder& b) { b.headerSize = 16; }},
      {"header size 39", [](BmpBuilder& b) { b.headerSize = 39; }},
      {"257 colours", [](BmpBuilder& b) { b.bitCount = 8, b.clrUsed = 257, b.table.assign(257 * 4, 0); }},
      {"300 colours at 4 bits", [](BmpBuilder& b) { b.bitCount = 4, b.clrUsed = 300, b.table.assign(300 * 4, 0); }},
      {"300 colours at 1 bit", [](BmpBuilder& b) { b.bitCount = 1, b.clrUsed = 300, b.table.assign(300 * 4, 0); }},
      {"JPEG inside", [](BmpBuilder& b) { b.compression = 4; }},
      {"PNG inside", [](BmpBuilder& b) { b.compression = 5; }},
      {"unknown compression", [](BmpBuilder& b) { b.compression = 0x12345678; }},
      {"RLE8 at 4 bits", [](BmpBuilder& b) { b.bitCount = 4, b.compression = 1; }},
      {"RLE4 at 8 bits", [](BmpBuilder& b) { b.bitCount = 8, b.compression = 2; }},
      {"top-down RLE8", [](BmpBuilder& b) { b.bitCount = 8, b.compression = 1, b.height = -2; }},
      {"masks at 24 bits", [](BmpBuilder& b) { b.compression = 3, b.masks = {1, 2, 4}; }},
      {"masks in a 44-byte header", [](BmpBuilder& b) { b.headerSize = 44, b.bitCount = 16, b.compression = 3; }},
      {"more than 1 GiB", [](BmpBuilder& b) { b.bitCount = 32, b.width = 16385, b.height = 16385; }},
      {"largest sizes", [](BmpBuilder& b) { b.width = INT_MAX, b.height = INT_MIN + 1; }},
      {"RLE beyond 1 GiB once decoded", [](BmpBuilder& b) {
         b.bitCount = 8, b.compression = 1, b.width = 40000, b.height = 8000;
       }},
  };
  for (const auto& [name, change] : cases) {
    BmpBuilder builder;
    builder.pixels.assign(24, 0);
    change(builder);
    TBitmap image = Sample(pf24bit);
    try {
      ReadBitmapFile(*std::make_unique<TMemoryStream>(builder.Bytes()), image);
      ADD_FAILURE() << name << ": read";
    } catch (const EInvalidGraphic& e) {
      EXPECT_STREQ(e.what(), "ビットマップイメージが不正です") << name;
    } catch (const std::exception& e) {
      ADD_FAILURE() << name << ": " << e.what();
    }
    EXPECT_EQ(Written(image), Written(Sample(pf24bit))) << name;
  }
}

TEST(BitmapFiles, ReadAndWriteByFileName) {
  TempDir dir;
  const std::string name = dir / "絵.bmp";
  WriteBitmapFile(Sample(pf32bit), name);
  EXPECT_EQ(FileBytes(name), Written(Sample(pf32bit)));
  TBitmap image;
  ReadBitmapFile(name, image);
  EXPECT_EQ(Written(image), Written(Sample(pf32bit)));

  EXPECT_THROW(ReadBitmapFile(dir / "missing.bmp", image), EFOpenError);
  EXPECT_THROW(WriteBitmapFile(image, dir / "missing/x.bmp"), EFCreateError);

  // A write that fails keeps the existing file whole and leaves nothing else behind.
  EXPECT_THROW(WriteBitmapFile(TBitmap(), name), EInvalidGraphic);
  EXPECT_EQ(FileBytes(name), Written(Sample(pf32bit)));
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"絵.bmp"});
}

}  // namespace
