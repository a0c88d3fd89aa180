// Photos with an EXIF orientation stand upright once loaded, and CMYK files load in their colours.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

// clang-format off
#include <jpeglib.h>
// clang-format on

#include "picture/loading.h"
#include "tests/support/jpeg_writer.h"
#include "tests/support/libjpeg_decoder.h"
#include "toolkit/jpeg_image.h"

namespace {

TBitmap Load(const std::vector<std::uint8_t>& bytes) {
  TMemoryStream stream(bytes);
  return ReadSourcePicture(stream, TPictureKind::JPEG);
}

// The stored pixel that upright pixel (x, y) shows, for a stored picture of width w and height h,
// written out from the tag's definition (where the stored first row and first column belong).
std::pair<int, int> StoredPixel(int orientation, int x, int y, int w, int h) {
  switch (orientation) {
    case 2: return {w - 1 - x, y};
    case 3: return {w - 1 - x, h - 1 - y};
    case 4: return {x, h - 1 - y};
    case 5: return {y, x};            // stored row 0 is the left column, stored column 0 the top row
    case 6: return {y, h - 1 - x};    // stored row 0 is the right column
    case 7: return {w - 1 - y, h - 1 - x};
    case 8: return {w - 1 - y, x};    // stored row 0 is the left column, read upwards
    default: return {x, y};
  }
}

// Pixels that differ from each other everywhere: a sideways or mirrored result cannot match.
TJPEGSamples Gradient(int width, int height, int components) {
  TJPEGSamples s{width, height, components, {}};
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < components; ++c) s.Samples.push_back(std::uint8_t(c == 0 ? x * 7 : c == 1 ? y * 11 : 90));
  return s;
}

void ExpectTurned(const TBitmap& stored, const TBitmap& upright, int orientation, const std::string& what) {
  const int w = stored.Width(), h = stored.Height();
  const bool swaps = orientation >= 5;
  ASSERT_EQ(upright.Width(), swaps ? h : w) << what;
  ASSERT_EQ(upright.Height(), swaps ? w : h) << what;
  for (int y = 0; y < upright.Height(); ++y)
    for (int x = 0; x < upright.Width(); ++x) {
      const auto [sx, sy] = StoredPixel(orientation, x, y, w, h);
      ASSERT_EQ(std::memcmp(upright.ScanLine(y) + 4 * x, stored.ScanLine(sy) + 4 * sx, 4), 0)
          << what << " at " << x << ", " << y;
    }
}

}  // namespace

// Every orientation of colour and grey files, baseline and progressive, at sizes with partial
// blocks: the loaded picture is the stored one turned, pixel for pixel (grey after quantisation,
// so the dither pattern turns with it), and a file without the tag or with 1 loads as before.
TEST(JPEGOrientation, PicturesAreTurnedUprightPixelForPixel) {
  for (int components : {3, 1})
    for (bool progressive : {false, true}) {
      const std::vector<std::uint8_t> plain = EncodeJPEG(Gradient(37, 21, components), 90, progressive);
      const TBitmap stored = Load(plain);
      for (int orientation = 1; orientation <= 8; ++orientation)
        for (bool bigEndian : {false, true}) {
          const std::string what = std::to_string(components) + " components" + (progressive ? " progressive" : "") +
                                   ", orientation " + std::to_string(orientation) + (bigEndian ? " MM" : " II");
          const TBitmap upright = Load(WithMarker(plain, 0xE1, ExifBlock(orientation, bigEndian)));
          ExpectTurned(stored, upright, orientation, what);
        }
    }
}

// A damaged EXIF block, a second EXIF block after the first, XMP data in an APP1 marker and an
// orientation of 0 or 9 must never fail a load or turn a picture the first block does not turn.
TEST(JPEGOrientation, OnlyTheFirstSoundExifBlockCounts) {
  const std::vector<std::uint8_t> plain = EncodeJPEG(Gradient(19, 11, 3), 90);
  const TBitmap stored = Load(plain);
  std::vector<std::uint8_t> cut = ExifBlock(6);
  cut.resize(20);
  const std::vector<std::uint8_t> xmp = {'h', 't', 't', 'p', ':', '/', '/', 'n', 's'};
  for (const auto& bytes : {WithMarker(plain, 0xE1, cut), WithMarker(plain, 0xE1, ExifBlock(9)),
                            WithMarker(plain, 0xE1, xmp), WithMarker(plain, 0xE1, {}),
                            WithMarker(WithMarker(plain, 0xE1, ExifBlock(3)), 0xE1, ExifBlock(1))})
    ExpectTurned(stored, Load(bytes), 1, "not turned");
  ExpectTurned(stored, Load(WithMarker(WithMarker(plain, 0xE1, ExifBlock(1)), 0xE1, xmp)), 1, "XMP after EXIF");
  ExpectTurned(stored, Load(WithMarker(WithMarker(plain, 0xE1, ExifBlock(8)), 0xE1, xmp)), 8, "XMP after EXIF");
}

// Ink becomes light as C' x K' / 255 rounded, C' being 255 - C in a plain CMYK file and C itself
// in Adobe's inverted files; libjpeg turns YCCK into CMYK on the way. The reference comes from
// libjpeg's own CMYK output, computed in floating point.
TEST(JPEGColourSpaces, CMYKAndYCCKFilesLoadInTheirColours) {
  const struct {
    const char* what;
    bool ycck, adobe;
  } cases[] = {{"CMYK", false, false}, {"Adobe CMYK", false, true}, {"YCCK", true, true}};
  for (const auto& c : cases) {
    TJPEGSamples samples{24, 17, 4, {}};
    samples.YCCK = c.ycck;
    samples.AdobeMarker = c.adobe;
    for (int y = 0; y < samples.Height; ++y)
      for (int x = 0; x < samples.Width; ++x)
        samples.Samples.insert(samples.Samples.end(), {std::uint8_t(x * 10), std::uint8_t(y * 15), 60, std::uint8_t(200 - x * 5)});
    const std::vector<std::uint8_t> bytes = EncodeJPEG(samples, 95);

    TLibjpegDecoder decoder(bytes, [](jpeg_decompress_struct& info) { info.out_color_space = JCS_CMYK; });
    std::vector<std::uint8_t> ink(std::size_t(samples.Width) * samples.Height * 4);
    const bool inverted = decoder.Info().saw_Adobe_marker;
    decoder.ReadRows([&](int y) { return ink.data() + std::size_t(y) * samples.Width * 4; });
    EXPECT_EQ(inverted, c.adobe) << c.what;

    const TBitmap picture = Load(bytes);
    ASSERT_EQ(picture.PixelFormat(), pf32bit) << c.what;
    for (int y = 0; y < samples.Height; ++y)
      for (int x = 0; x < samples.Width; ++x) {
        const std::uint8_t* k = ink.data() + (std::size_t(y) * samples.Width + x) * 4;
        auto light = [&](int channel) {
          const double v = inverted ? k[channel] : 255 - k[channel];
          const double black = inverted ? k[3] : 255 - k[3];
          return int(std::lround(v * black / 255.0));
        };
        const std::uint8_t* p = picture.ScanLine(y) + 4 * x;
        ASSERT_EQ(p[2], light(0)) << c.what << " red at " << x << ", " << y;
        ASSERT_EQ(p[1], light(1)) << c.what << " green at " << x << ", " << y;
        ASSERT_EQ(p[0], light(2)) << c.what << " blue at " << x << ", " << y;
        ASSERT_EQ(p[3], 255) << c.what;
      }
  }
  // Pure red written as ink both ways: no ink of cyan, full magenta and yellow, no black.
  TJPEGSamples red{8, 8, 4, {}};
  for (int i = 0; i < 64; ++i) red.Samples.insert(red.Samples.end(), {0, 255, 255, 0});
  red.AdobeMarker = false;
  const TBitmap plainRed = Load(EncodeJPEG(red, 95));
  EXPECT_NEAR(plainRed.ScanLine(3)[2], 255, 2);
  EXPECT_NEAR(plainRed.ScanLine(3)[1], 0, 2);
  red.Samples.assign(64 * 4, 0);
  for (int i = 0; i < 64; ++i) std::memcpy(red.Samples.data() + 4 * i, "\xFF\x00\x00\xFF", 4);  // stored inverted
  red.AdobeMarker = true;
  const TBitmap adobeRed = Load(EncodeJPEG(red, 95));
  EXPECT_NEAR(adobeRed.ScanLine(3)[2], 255, 2);
  EXPECT_NEAR(adobeRed.ScanLine(3)[0], 0, 2);
}
