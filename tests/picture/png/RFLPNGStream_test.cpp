#include "picture/png/RFLPNGStream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "png_test_support.h"

namespace {

std::vector<std::uint8_t> Encode(TRFLPNGWriteStream& encoder, const TBitmap& image,
                                 const TProgressEvent& progress = {}) {
  TMemoryStream out;
  encoder.WriteImage(image, out, progress);
  return out.Data();
}

std::vector<std::uint8_t> EncodeWithMask(TRFLPNGWriteStream& encoder, const TBitmap& image, const TBitmap& mask) {
  TMemoryStream out;
  encoder.WriteImage(image, mask, out);
  return out.Data();
}

PngTime FixedClock() { return {2024, 2, 29, 23, 59, 60}; }

std::vector<TRGBQuad> RandomPalette(std::size_t count, TestRandom& random) {
  std::vector<TRGBQuad> palette(count);
  for (auto& q : palette) q = {random.Next(), random.Next(), random.Next(), 0};
  return palette;
}

// The picture a test encodes: a format, a colour table for the indexed ones, random pixels.
TBitmap MakeImage(TPixelFormat format, int width, int height, TestRandom& random) {
  TBitmap image;
  image.Create(width, height, format, false, 16);
  if (format == pf4bit) image.Palette() = RandomPalette(16, random);
  if (format == pf8bit) image.Palette() = RandomPalette(256, random);
  if (format == pfCustom) image.SetMasks(0xF800, 0x07E0, 0x001F);
  FillRandom(image, random);
  return image;
}

int Index(const TBitmap& image, int x, int y) {
  const std::uint8_t* row = image.ScanLine(y);
  switch (image.BitCount()) {
    case 1: return (row[x / 8] >> (7 - x % 8)) & 1;
    case 4: return (row[x / 2] >> (x % 2 ? 0 : 4)) & 15;
    default: return row[x];
  }
}

// Red, green, blue of a direct-colour pixel, channels widened to 8 bits.
std::array<int, 3> Colour(const TBitmap& image, int x, int y) {
  const std::uint8_t* row = image.ScanLine(y);
  if (image.BitCount() == 16) {
    const int w = row[2 * x] | row[2 * x + 1] << 8;
    const auto widen = [](int v, int bits) { return bits == 5 ? (v << 3) | (v >> 2) : (v << 2) | (v >> 4); };
    if (image.PixelFormat() == pf15bit) return {widen(w >> 10 & 31, 5), widen(w >> 5 & 31, 5), widen(w & 31, 5)};
    return {widen(w >> 11 & 31, 5), widen(w >> 5 & 63, 6), widen(w & 31, 5)};
  }
  const int bytes = image.BitCount() / 8;
  return {row[x * bytes + 2], row[x * bytes + 1], row[x * bytes]};
}

int Gray(const TRGBQuad& q) { return (77 * q.rgbRed + 150 * q.rgbGreen + 29 * q.rgbBlue) / 256; }

struct Expected {
  int ColorType, BitDepth, Channels;
  std::vector<std::uint8_t> Samples;
};

Expected Expect(const TBitmap& image, const TBitmap* mask, bool grey) {
  const bool indexed = image.BitCount() <= 8;
  const int bits = image.BitCount();
  const bool alpha = mask != nullptr && !(indexed && (!grey || bits < 8));
  Expected e{};
  e.BitDepth = indexed ? bits : 8;
  e.ColorType = grey ? (alpha ? 4 : 0) : indexed ? 3 : (alpha ? 6 : 2);
  e.Channels = (grey || indexed ? 1 : 3) + (alpha ? 1 : 0);
  const auto& palette = image.Palette();
  const bool invert = bits == 1 && palette.size() >= 2 && Gray(palette[1]) < Gray(palette[0]);
  for (int y = 0; y < image.Height(); ++y) {
    for (int x = 0; x < image.Width(); ++x) {
      if (indexed) {
        const int v = Index(image, x, y);
        int sample = v;
        if (grey && bits == 1) sample = invert ? 1 - v : v;
        if (grey && bits == 4) sample = Gray(palette[std::size_t(v)]) / 16;
        if (grey && bits == 8) sample = Gray(palette[std::size_t(v)]);
        e.Samples.push_back(std::uint8_t(sample));
      } else {
        const auto c = Colour(image, x, y);
        if (grey) {
          e.Samples.push_back(std::uint8_t((77 * c[0] + 150 * c[1] + 29 * c[2]) / 256));
        } else {
          e.Samples.insert(e.Samples.end(), {std::uint8_t(c[0]), std::uint8_t(c[1]), std::uint8_t(c[2])});
        }
      }
      if (alpha) e.Samples.push_back(std::uint8_t(255 - mask->ScanLine(y)[x]));
    }
  }
  return e;
}

TEST(TRFLPNGWriteStream, EveryFormatDecodesWithLibpngToTheExpectedSamples) {
  const TPixelFormat formats[] = {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom};
  const std::pair<int, int> sizes[] = {{1, 1}, {3, 2}, {13, 11}};
  std::vector<std::vector<std::uint8_t>> files;
  TestRandom random(1);
  int combination = 0;
  for (const TPixelFormat format : formats) {
    for (auto [w, h] : sizes) {
      for (int variant = 0; variant < 8; ++variant) {
        const bool grey = variant & 1, interlaced = variant & 2, masked = variant & 4;
        TBitmap image = MakeImage(format, w, h, random);
        if (format == pf1bit && (random.Next() & 1)) image.Palette() = {{255, 255, 255, 0}, {0, 0, 0, 0}};
        TBitmap mask = MakeImage(pf8bit, w, h, random);
        TRFLPNGWriteStream encoder;
        encoder.Settings.Grayscale = grey;
        encoder.Settings.Interlaced = interlaced;
        encoder.Settings.FilterMode = combination++ % 7;  // adaptive, each filter, and a mode above 5
        encoder.Clock = FixedClock;
        const auto file = masked ? EncodeWithMask(encoder, image, mask) : Encode(encoder, image);
        files.push_back(file);

        SCOPED_TRACE("format " + std::to_string(format) + " size " + std::to_string(w) + "x" +
                     std::to_string(h) + " variant " + std::to_string(variant));
        TBitmap reference = image;
        if (format == pfCustom) {  // a 5-6-5 bit-field image reads like a 16-bit one
          reference.Create(w, h, pf16bit);
          std::copy(image.Bits(), image.Bits() + image.BitsSize(), reference.Bits());
        }
        const Expected expected = Expect(reference, masked ? &mask : nullptr, grey);
        const DecodedPng decoded = DecodeWithLibpng(file);
        ASSERT_TRUE(decoded.Ok);
        EXPECT_EQ(decoded.Width, w);
        EXPECT_EQ(decoded.Height, h);
        EXPECT_EQ(decoded.Interlace, interlaced ? 1 : 0);
        EXPECT_EQ(decoded.ColorType, expected.ColorType);
        EXPECT_EQ(decoded.BitDepth, expected.BitDepth);
        ASSERT_EQ(decoded.Channels, expected.Channels);
        EXPECT_EQ(decoded.Samples, expected.Samples);
        if (expected.ColorType == 3) {
          EXPECT_EQ(decoded.Palette, image.Palette());
        }
      }
    }
  }
  std::string report;
  EXPECT_TRUE(PngcheckAccepts(files, report)) << report;
}

TEST(TRFLPNGWriteStream, SixteenBitPixelsKeepTheColoursTheirMasksGive) {
  // A 5-6-5 file may store blue in the high bits; its colours must not come out swapped.
  TestRandom random(12);
  TBitmap image = MakeImage(pf16bit, 7, 5, random);
  image.SetMasks(0x001F, 0x07E0, 0xF800);
  const TBitmap colours = ConvertTo32Bit(image);
  for (const bool grey : {false, true}) {
    TRFLPNGWriteStream encoder;
    encoder.Settings.Grayscale = grey;
    const DecodedPng decoded = DecodeWithLibpng(Encode(encoder, image));
    ASSERT_TRUE(decoded.Ok);
    EXPECT_EQ(decoded.Samples, Expect(colours, nullptr, grey).Samples) << "grey " << grey;
  }
}

TEST(TRFLPNGWriteStream, WritesEachAncillaryChunkUnderItsCondition) {
  TestRandom random(9);
  TBitmap image = MakeImage(pf8bit, 6, 4, random);
  image.Palette()[3] = {30, 20, 10, 0};  // red 10, green 20, blue 30
  const PngTime time{1999, 12, 31, 23, 59, 58};
  const TPngChromaticities chromaticities{31270, 32900, 64000, 33000, 30000, 60000, 15000, 6000};
  const TPngGifControl gif{2, 1, 0, 10};
  TRFLPNGWriteStream encoder;
  encoder.Settings.Comment = "Reflection of a photo";
  encoder.Settings.UseCurrentTime = false;
  encoder.Settings.ImageTime = time;
  encoder.Settings.Chromaticities = chromaticities;
  encoder.Settings.GifControl = gif;
  encoder.Settings.Gamma = 1.0;
  encoder.Settings.SignificantBits = 0x08070605;
  encoder.Settings.BackgroundColor = 0x1000000 | 7;
  encoder.Settings.TransparentColor = 0x1E140A;  // that entry's colour exactly
  encoder.Settings.PhysicalUnit = 2;
  encoder.Settings.PixelsPerUnitX = 96;
  encoder.Settings.PixelsPerUnitY = 300;
  const auto file = Encode(encoder, image);
  const auto chunks = SplitChunks(file);
  EXPECT_EQ(ChunkTypes(chunks), (std::vector<std::string>{"IHDR", "tIME", "tEXt", "tEXt", "tpNG", "gIFg", "gAMA",
                                                           "cHRM", "sBIT", "PLTE", "bKGD", "tRNS", "pHYs", "IDAT",
                                                           "IEND"}));
  for (const auto& c : chunks) EXPECT_TRUE(c.CrcOk) << c.Type;
  using Bytes = std::vector<std::uint8_t>;
  EXPECT_EQ(chunks[1].Data, (Bytes{0x07, 0xCF, 12, 31, 23, 59, 58}));
  EXPECT_EQ(std::string(chunks[2].Data.begin(), chunks[2].Data.end()), std::string("Comment\0Reflection of a photo", 29));
  EXPECT_EQ(chunks[5].Data, (Bytes{2, 1, 0, 10}));
  EXPECT_EQ(chunks[6].Data, (Bytes{0x00, 0x01, 0x86, 0xA0}));  // 100000
  EXPECT_EQ(chunks[7].Data.size(), 32u);
  EXPECT_EQ((Bytes(chunks[7].Data.begin(), chunks[7].Data.begin() + 4)), (Bytes{0x00, 0x00, 0x7A, 0x26}));
  EXPECT_EQ(chunks[8].Data, (Bytes{5, 6, 7}));  // no alpha: three bytes
  EXPECT_EQ(chunks[9].Data.size(), 768u);
  EXPECT_EQ(chunks[10].Data, (Bytes{7}));
  EXPECT_EQ(chunks[11].Data, (Bytes{255, 255, 255, 0}));  // entries 0..2 opaque, entry 3 transparent
  EXPECT_EQ(chunks[12].Data, (Bytes{0, 0, 0x0E, 0xC3, 0, 0, 0x2E, 0x23, 1}));  // 3779 and 11811 per metre
  std::string report;
  EXPECT_TRUE(PngcheckAccepts({file}, report)) << report;

  // Out-of-range times, no gamma, a zero first chromaticity, an all-zero gIFg: none of them.
  const PngTime month13{2020, 13, 1, 0, 0, 0}, second61{2020, 1, 1, 0, 0, 61};
  const TPngChromaticities noWhite{0, 32900, 1, 1, 1, 1, 1, 1};
  const TPngGifControl noGif{};
  for (const PngTime* bad : {&month13, &second61}) {
    TRFLPNGWriteStream plain;
    plain.Settings.UseCurrentTime = false;
    plain.Settings.ImageTime = *bad;
    plain.Settings.Gamma = -0.45;
    plain.Settings.Chromaticities = noWhite;
    plain.Settings.GifControl = noGif;
    plain.Settings.PixelsPerUnitX = 72;  // y stays 0: no pHYs
    EXPECT_EQ(ChunkTypes(SplitChunks(Encode(plain, image))),
              (std::vector<std::string>{"IHDR", "tEXt", "tpNG", "PLTE", "IDAT", "IEND"}));
  }
}

TEST(TRFLPNGWriteStream, WritesNoPhysicalSizeThatAPngCannotHold) {
  // Dots per inch become dots per metre; a value past 2^31 - 1 per metre cannot be stored.
  TestRandom random(14);
  const TBitmap image = MakeImage(pf24bit, 2, 2, random);
  const auto physicalSize = [&](int unit, std::int32_t x, std::int32_t y) {
    TRFLPNGWriteStream encoder;
    encoder.Settings.PhysicalUnit = unit;
    encoder.Settings.PixelsPerUnitX = x;
    encoder.Settings.PixelsPerUnitY = y;
    const auto chunks = SplitChunks(Encode(encoder, image));
    const PngChunk* chunk = FindChunk(chunks, "pHYs");
    return chunk ? chunk->Data : std::vector<std::uint8_t>{};
  };
  using Bytes = std::vector<std::uint8_t>;
  EXPECT_EQ(physicalSize(2, 54'500'000, 1), (Bytes{0x7F, 0xE4, 0x50, 0xAB, 0, 0, 0, 39, 1}));
  EXPECT_EQ(physicalSize(2, 54'600'000, 1), Bytes{});
  EXPECT_EQ(physicalSize(2, 1, INT32_MAX), Bytes{});
  EXPECT_EQ(physicalSize(1, INT32_MAX, INT32_MAX), (Bytes{0x7F, 0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF, 1}));
}

TEST(TRFLPNGWriteStream, ColourChunksFollowTheOutputKind) {
  TestRandom random(4);
  TBitmap colour = MakeImage(pf24bit, 4, 4, random);
  TBitmap mask(4, 4, pf8bit);
  TRFLPNGWriteStream rgb;
  rgb.Settings.BackgroundColor = 0x332211;
  rgb.Settings.TransparentColor = 0x665544;
  rgb.Settings.SignificantBits = 0x08080808;
  // With alpha no tRNS, and sBIT takes four bytes.
  auto chunks = SplitChunks(EncodeWithMask(rgb, colour, mask));
  using Bytes = std::vector<std::uint8_t>;
  EXPECT_EQ(FindChunk(chunks, "bKGD")->Data, (Bytes{0, 0x11, 0, 0x22, 0, 0x33}));
  EXPECT_EQ(FindChunk(chunks, "tRNS"), nullptr);
  EXPECT_EQ(FindChunk(chunks, "sBIT")->Data, (Bytes{8, 8, 8, 8}));

  TRFLPNGWriteStream grey;
  grey.Settings.Grayscale = true;
  grey.Settings.BackgroundColor = 0xFFFFFF;
  grey.Settings.TransparentColor = 0x000080;  // red 128: (77 x 128) / 256 = 38
  grey.Settings.SignificantBits = 8;          // no sBIT for grey output
  chunks = SplitChunks(Encode(grey, colour));
  EXPECT_EQ(FindChunk(chunks, "bKGD")->Data, (Bytes{0, 255}));
  EXPECT_EQ(FindChunk(chunks, "tRNS")->Data, (Bytes{0, 38}));
  EXPECT_EQ(FindChunk(chunks, "sBIT"), nullptr);

  TBitmap sixteen = MakeImage(pf16bit, 4, 4, random);
  TRFLPNGWriteStream forced;
  forced.Settings.SignificantBits = 0x01010101;
  EXPECT_EQ(FindChunk(SplitChunks(EncodeWithMask(forced, sixteen, mask)), "sBIT")->Data, (Bytes{5, 6, 5, 8}));
}

TEST(TRFLPNGWriteStream, RefusesIdatSizesOutsideItsRangeAndSplitsIdatExactly) {
  TRFLPNGWriteStream encoder;
  for (int bad : {255, 100001, 0, -1}) {
    try {
      encoder.SetIdatSize(bad);
      ADD_FAILURE() << bad << " accepted";
    } catch (const ERFLPNG& e) {
      EXPECT_STREQ(e.what(), "Write PNG Param: Err IDAT Size(min:256  max:100000)");
    }
  }
  EXPECT_EQ(encoder.IdatSize(), 32768);
  encoder.SetIdatSize(100000);
  encoder.SetIdatSize(256);
  EXPECT_EQ(encoder.IdatSize(), 256);

  TestRandom random(2);
  const TBitmap image = MakeImage(pf24bit, 40, 30, random);
  const auto idatSizes = [&](int size, std::vector<std::uint8_t>* data) {
    TRFLPNGWriteStream e;
    e.SetIdatSize(size);
    std::vector<std::size_t> sizes;
    for (const auto& c : SplitChunks(Encode(e, image)))
      if (c.Type == "IDAT") {
        sizes.push_back(c.Data.size());
        if (data) data->insert(data->end(), c.Data.begin(), c.Data.end());
      }
    return sizes;
  };
  std::vector<std::uint8_t> whole;
  const auto one = idatSizes(100000, &whole);
  ASSERT_EQ(one.size(), 1u);
  const auto small = idatSizes(256, nullptr);
  ASSERT_EQ(small.size(), (whole.size() + 255) / 256);
  for (std::size_t i = 0; i + 1 < small.size(); ++i) EXPECT_EQ(small[i], 256u);

  // A size that divides the compressed stream: every chunk full, no empty chunk after them.
  std::size_t divisor = 0;
  for (std::size_t d = 256; d <= whole.size() / 2 && divisor == 0; ++d)
    if (whole.size() % d == 0) divisor = d;
  ASSERT_NE(divisor, 0u) << whole.size();
  std::vector<std::uint8_t> joined;
  const auto exact = idatSizes(int(divisor), &joined);
  EXPECT_EQ(exact, std::vector<std::size_t>(whole.size() / divisor, divisor));
  EXPECT_EQ(joined, whole);
}

struct Report {
  TProgressStage Stage;
  int Percent;
  friend bool operator==(const Report&, const Report&) = default;
};

std::vector<Report> ProgressOf(int width, int height, bool interlaced) {
  std::vector<Report> reports;
  TBitmap image(width, height, pf32bit);
  TRFLPNGWriteStream encoder;
  encoder.Settings.Interlaced = interlaced;
  Encode(encoder, image, [&](const void*, TProgressStage stage, std::uint8_t percent, bool, const TRect&,
                             const std::string&) { reports.push_back({stage, percent}); });
  return reports;
}

TEST(TRFLPNGWriteStream, ReportsProgressAfterTheHeaderAndEverySampledRow) {
  // Rows 2 and 6 of 8: 29 + 2 x 70 / 8 and 29 + 6 x 70 / 8.
  EXPECT_EQ(ProgressOf(5, 8, false), (std::vector<Report>{{psStarting, 0}, {psRunning, 29}, {psRunning, 46},
                                                         {psRunning, 81}, {psEnding, 100}}));
  // Below four rows every row reports.
  EXPECT_EQ(ProgressOf(5, 3, false), (std::vector<Report>{{psStarting, 0}, {psRunning, 29}, {psRunning, 52},
                                                         {psRunning, 75}, {psRunning, 99}, {psEnding, 100}}));
  // Interlaced 8 x 8 writes 15 rows over the seven passes; rows 2, 6, 10 and 14 report.
  EXPECT_EQ(ProgressOf(8, 8, true), (std::vector<Report>{{psStarting, 0}, {psRunning, 29}, {psRunning, 38},
                                                         {psRunning, 57}, {psRunning, 75}, {psRunning, 94},
                                                         {psEnding, 100}}));
}

TEST(TRFLPNGWriteStream, RowHookSeesEveryRowAndMayChangeIt) {
  TestRandom random(6);
  const TBitmap image = MakeImage(pf24bit, 9, 7, random);
  std::vector<int> numbers;
  TRFLPNGWriteStream encoder;
  encoder.Settings.Interlaced = 1;
  encoder.Settings.RowHookKey = "key";
  encoder.Settings.RowHook = [&](TRFLPNGWriteStream& sender, std::uint8_t* row, int length, int number, const std::string& key) {
    EXPECT_EQ(&sender, &encoder);
    EXPECT_EQ(key, "key");
    EXPECT_EQ(length % 3, 0);
    numbers.push_back(number);
    for (int i = 0; i < length; ++i) row[i] = std::uint8_t(~row[i]);
  };
  const auto file = Encode(encoder, image);
  std::vector<int> expected(numbers.size());
  for (std::size_t i = 0; i < expected.size(); ++i) expected[i] = int(i);
  EXPECT_EQ(numbers, expected);
  EXPECT_EQ(numbers.size(), 1u + 1 + 1 + 2 + 2 + 4 + 3);  // pass heights of a 9 x 7 image
  EXPECT_EQ(FindChunk(SplitChunks(file), "tpNG")->Data, (std::vector<std::uint8_t>{'R', 'F', 'L', '3', 1, 0, 0, 0}));
  auto inverted = Expect(image, nullptr, false).Samples;
  for (auto& v : inverted) v = std::uint8_t(~v);
  EXPECT_EQ(DecodeWithLibpng(file).Samples, inverted);

  // Without a key the hook stays silent and the flag is 0.
  encoder.Settings.RowHookKey.clear();
  numbers.clear();
  const auto plain = Encode(encoder, image);
  EXPECT_TRUE(numbers.empty());
  EXPECT_EQ(FindChunk(SplitChunks(plain), "tpNG")->Data[4], 0);
}

TEST(TRFLPNGWriteStream, WritesNothingForAnEmptyImage) {
  TRFLPNGWriteStream encoder;
  TMemoryStream out;
  try {
    encoder.WriteImage(TBitmap(0, 5, pf32bit), out);
    ADD_FAILURE() << "empty image written";
  } catch (const ERFLPNG& e) {
    EXPECT_STREQ(e.what(), "Write Image (PNG): Write Error");
  }
  EXPECT_TRUE(out.Data().empty());
}

}  // namespace
