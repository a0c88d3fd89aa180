#include "picture/loading.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include "picture/bmp_builder.h"
#include "picture/bmp_file.h"
#include "tests/support/jpeg_writer.h"
#include "tests/support/libjpeg_decoder.h"
#include "toolkit/errors.h"
#include "toolkit/jpeg_image.h"

namespace {

TBitmap LoadJPEG(const std::vector<std::uint8_t>& bytes) {
  TMemoryStream stream(bytes);
  return ReadSourcePicture(stream, TPictureKind::JPEG);
}

// The road JPEG pictures took before colour was decoded straight to 32 bits: libjpeg with the
// program's settings into 24-bit blue-green-red rows (grey files quantised to 8-bit indices),
// then MakeOpaque. The test files are valid, so libjpeg's own error handling may end the program.
TBitmap LoadThroughTwentyFourBits(const std::vector<std::uint8_t>& bytes) {
  bool grey = false;
  TLibjpegDecoder decoder(bytes, [&](jpeg_decompress_struct& info) {
    info.scale_num = 1;
    info.scale_denom = 1;
    info.do_block_smoothing = TRUE;
    info.do_fancy_upsampling = TRUE;
    grey = info.out_color_space == JCS_GRAYSCALE;
    if (grey) {
      info.quantize_colors = TRUE;
      info.desired_number_of_colors = JPEGQuantisedColours;
    } else {
      info.out_color_space = JCS_EXT_BGR;
    }
  });
  const jpeg_decompress_struct& info = decoder.Info();
  TBitmap picture(int(info.output_width), int(info.output_height), grey ? pf8bit : pf24bit);
  if (grey) {
    picture.Palette().clear();
    for (int i = 0; i < info.actual_number_of_colors; ++i) {
      const std::uint8_t v = info.colormap[0][i];
      picture.Palette().push_back({v, v, v, 0});
    }
  }
  decoder.ReadRows([&](int y) { return picture.ScanLine(y); });
  MakeOpaque(picture);
  return picture;
}

// Smooth fields, hard edges and grain, all drawn from the seed: what the inverse DCT, block
// smoothing and chroma upsampling meet in a photo.
TJPEGSamples PhotoSamples(std::mt19937& random, int width, int height, int components) {
  TJPEGSamples s{width, height, components, {}};
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  float phase[3], slope[3], edge = unit(random) * float(width);
  for (int c = 0; c < 3; ++c) phase[c] = 6.0f * unit(random), slope[c] = 0.02f + 0.2f * unit(random);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < components; ++c) {
        float v = 128 + 100 * std::sin(phase[c] + slope[c] * float(x) + 0.7f * slope[c] * float(y));
        if (float(x) + 0.5f * float(y) > edge) v = 255 - v;
        v += 30 * (unit(random) - 0.5f);
        s.Samples.push_back(std::uint8_t(std::clamp(v, 0.0f, 255.0f)));
      }
  return s;
}

// A picture that is already there, to see that a refusal leaves it alone.
TBitmap Sentinel() {
  TBitmap image(2, 2, pf32bit);
  image.ScanLine(0)[0] = 0x5A;
  return image;
}

}  // namespace

TEST(PictureKind, ExtensionsChooseTheReaderInAnyLetterCase) {
  const struct {
    const char* name;
    TPictureKind kind;
    const char* why;
  } cases[] = {
      {"/p/PHOTO.JPG", TPictureKind::JPEG, ""},
      {"photo.Jpeg", TPictureKind::JPEG, ""},
      {"/p/a.BMP", TPictureKind::Bitmap, ""},
      {"/p/cut.PNG", TPictureKind::Png, ""},
      {"/p/a.bmp.png", TPictureKind::Png, "the last dot decides"},
      {"x.WebP", TPictureKind::WebP, ""},
      {"/p/IMG_1.HEIC", TPictureKind::Heif, ""},
      {"a.heif", TPictureKind::Heif, ""},
      {"a.AvIf", TPictureKind::Heif, "AV1 pictures have the same reader"},
      {"/p/a.png.txt", TPictureKind::None, ""},
      {"/p/a.gif", TPictureKind::None, ""},
      {"/p/a.heics", TPictureKind::None, "a sequence is no picture of ours"},
      {"/p.png/noext", TPictureKind::None, "a dot in the folder is no extension"},
      {"/p/a.jpe", TPictureKind::None, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(PictureKindOf(c.name), c.kind) << c.name << " " << c.why;
  EXPECT_EQ(UnsupportedPictureMessage("/home/u/picture.gif"),
            "読み込めるのはBMP、JPEG、PNG、WebP、HEIC、AVIFファイルです。\rpicture.gif は読み込めません。");
  EXPECT_EQ(UnsupportedPictureMessage("/home/u/noext"), "読み込めるのはBMP、JPEG、PNG、WebP、HEIC、AVIFファイルです。\rnoext は読み込めません。");
}

// Colour decoded straight to 32 bits must give every byte the 24-bit decode and MakeOpaque gave:
// libjpeg converts and upsamples through separate routines for each output layout. Sizes are odd
// and small (partial blocks and MCUs at the edges) or wide (the vector loops' main bodies), with
// every chroma subsampling, baseline and progressive, colour and grey.
TEST(SourcePicture, JPEGLoadGivesTheBytesOfThe24BitRoad) {
  std::mt19937 random(20240611);
  const int sizes[][2] = {{1, 1}, {7, 3}, {17, 9}, {33, 31}, {95, 47}, {130, 66}, {517, 121}};
  const int samplings[][2] = {{2, 2}, {2, 1}, {1, 1}};
  int cases = 0;
  for (const auto& size : sizes) {
    for (int round = 0; round < 4; ++round) {
      const int components = round == 3 ? 1 : 3;
      TJPEGSamples samples = PhotoSamples(random, size[0], size[1], components);
      samples.LumaSamplingX = samplings[round % 3][0];
      samples.LumaSamplingY = samplings[round % 3][1];
      const bool progressive = random() % 2 == 1;
      const int quality = 40 + int(random() % 61);
      const std::vector<std::uint8_t> bytes = EncodeJPEG(samples, quality, progressive);
      const std::string what = std::to_string(size[0]) + " x " + std::to_string(size[1]) + ", " +
                               std::to_string(components) + " components, sampling " +
                               std::to_string(samples.LumaSamplingX) + "x" + std::to_string(samples.LumaSamplingY) +
                               (progressive ? ", progressive" : ", baseline") + ", quality " + std::to_string(quality);

      const TBitmap expected = LoadThroughTwentyFourBits(bytes);
      const TBitmap actual = LoadJPEG(bytes);
      ASSERT_EQ(actual.PixelFormat(), pf32bit) << what;
      ASSERT_EQ(actual.Width(), expected.Width()) << what;
      ASSERT_EQ(actual.Height(), expected.Height()) << what;
      for (int y = 0; y < actual.Height(); ++y)
        ASSERT_EQ(std::memcmp(actual.ScanLine(y), expected.ScanLine(y), std::size_t(actual.Width()) * 4), 0)
            << what << ", row " << y;
      ++cases;
    }
  }
  EXPECT_EQ(cases, 28);
}

// A few header bytes can declare a picture of gigabytes: each of these fits the image limit as
// libjpeg decodes it (24-bit colour, 8-bit grey) but not at the 32 bits the program holds it at.
// Their frames name a quantisation table the files do not define, which fails at the first step
// of decoding: only a refusal made before decoding starts gives the "too large" error.
TEST(SourcePicture, JPEGTooLargeAt32BitsIsRefusedBeforeDecoding) {
  const struct {
    const char* what;
    int width, height, components;
    bool progressive;
  } cases[] = {
      {"colour", 18000, 18000, 3, false},
      {"progressive colour", 5086, 64258, 3, true},
      {"grey", 32000, 32000, 1, false},
  };
  for (const auto& c : cases) {
    TJPEGSamples samples{16, 16, c.components, std::vector<std::uint8_t>(std::size_t(16 * 16 * c.components), 90)};
    const std::vector<std::uint8_t> bytes =
        WithDeclaredSize(EncodeJPEG(samples, 90, c.progressive), c.width, c.height, true);

    TJPEGImage jpeg;
    TMemoryStream header(bytes);
    jpeg.LoadFromStream(header);
    EXPECT_EQ(jpeg.Dimensions().Width, c.width) << c.what;
    EXPECT_EQ(jpeg.Dimensions().Height, c.height) << c.what;

    TBitmap source = Sentinel();
    try {
      source = LoadJPEG(bytes);
      ADD_FAILURE() << c.what << ": loaded";
    } catch (const EOutOfResources& e) {
      EXPECT_EQ(e.Message(), "画像が大きすぎます (" + std::to_string(c.width) + " x " + std::to_string(c.height) + ")")
          << c.what;
    } catch (const Exception& e) {
      ADD_FAILURE() << c.what << ": " << e.Message();
    }
    ASSERT_EQ(source.Width(), 2) << c.what;
    EXPECT_EQ(source.ScanLine(0)[0], 0x5A) << c.what;
  }
}

// BMP pictures are converted to 32 bits row by row as they are read, instead of being read whole
// in their own format and converted after: every pixel must come out as before, for every format,
// in either row order, and for files that end early (whose missing rows convert from zero bytes,
// which is a colour of the table for indexed pictures).
TEST(SourcePicture, BMPLoadGivesTheBytesOfTheConversionAfterReading) {
  std::mt19937 random(55);
  auto bytes = [&](std::size_t n) {
    std::vector<std::uint8_t> v(n);
    for (auto& b : v) b = std::uint8_t(random());
    return v;
  };
  std::vector<std::pair<std::string, BmpBuilder>> files;
  for (int bits : {1, 4, 8, 16, 24, 32})
    for (int height : {5, -5}) {
      BmpBuilder b;
      b.width = 13;
      b.height = height;
      b.bitCount = std::uint16_t(bits);
      if (bits <= 8) b.table = bytes(std::size_t(4) << bits);
      b.pixels = bytes(std::size_t(RowStride(13, bits)) * 5);
      files.push_back({std::to_string(bits) + " bits, height " + std::to_string(height), b});
    }
  for (int bits : {16, 32}) {
    BmpBuilder b;
    b.width = 9;
    b.height = 4;
    b.bitCount = std::uint16_t(bits);
    b.compression = 3;
    b.masks = bits == 16 ? std::vector<std::uint32_t>{0xF800, 0x07E0, 0x001F}
                         : std::vector<std::uint32_t>{0xFF0000, 0xFF00, 0xFF};
    b.pixels = bytes(std::size_t(RowStride(9, bits)) * 4);
    files.push_back({std::to_string(bits) + " bits with masks", b});
  }
  BmpBuilder core;
  core.headerSize = 12;
  core.bitCount = 8;
  core.width = 6;
  core.height = 3;
  core.table = bytes(768);
  core.pixels = bytes(24);
  files.push_back({"core header", core});
  BmpBuilder rle;
  rle.bitCount = 8;
  rle.compression = 1;
  rle.width = 5;
  rle.height = 3;
  rle.clrUsed = 3;
  rle.table = bytes(12);
  rle.pixels = {3, 1, 0, 0, 0, 3, 0, 1, 2, 0, 0, 2, 1, 1, 0, 0, 5, 2, 0, 1};
  files.push_back({"run-length", rle});

  for (auto& [what, builder] : files) {
    const std::vector<std::uint8_t> whole = builder.Bytes();
    // Whole, cut inside a row, cut after a few rows, and without any pixels.
    for (std::size_t cut : {std::size_t(0), builder.pixels.size() / 3 + 1, builder.pixels.size() / 2, builder.pixels.size()}) {
      const std::vector<std::uint8_t> file(whole.begin(), whole.end() - std::ptrdiff_t(cut));
      const std::string where = what + ", " + std::to_string(cut) + " pixel bytes missing";
      TMemoryStream before(file);
      TBitmap expected;
      ReadBitmapFile(before, expected);
      if (expected.PixelFormat() != pf32bit) MakeOpaque(expected);
      TMemoryStream after(file);
      const TBitmap actual = ReadSourcePicture(after, TPictureKind::Bitmap);
      ASSERT_EQ(actual.PixelFormat(), pf32bit) << where;
      ASSERT_EQ(actual.Width(), expected.Width()) << where;
      ASSERT_EQ(actual.Height(), expected.Height()) << where;
      for (int y = 0; y < actual.Height(); ++y)
        ASSERT_EQ(std::memcmp(actual.ScanLine(y), expected.ScanLine(y), std::size_t(actual.Width()) * 4), 0)
            << where << ", row " << y;
    }
  }
}
