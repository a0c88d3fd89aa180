#include "toolkit/jpeg_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <thread>

// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include "tests/support/jpeg_writer.h"
#include "toolkit/worker_pool.h"

namespace {

TBitmap Decode(const std::vector<std::uint8_t>& bytes) {
  TMemoryStream stream(bytes);
  TJPEGImage jpeg;
  jpeg.LoadFromStream(stream);
  TBitmap out;
  jpeg.AssignTo(out);
  return out;
}

// The decoded pixel (x, y) of a 32-bit picture as red, green, blue.
std::array<int, 3> Rgb(const TBitmap& image, int x, int y) {
  const std::uint8_t* p = image.ScanLine(y) + 4 * x;
  return {p[2], p[1], p[0]};
}

void ExpectNear(std::array<int, 3> actual, std::array<int, 3> expected, int tolerance, const char* where) {
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(actual[std::size_t(c)], expected[std::size_t(c)], tolerance) << where << " channel " << c;
}

std::uint8_t Grey(const TBitmap& image, int x, int y) {
  const TRGBQuad& q = image.Palette().at(image.ScanLine(y)[x]);
  return q.rgbGreen;
}

// A picture that is already there, to see that failures leave it alone.
TBitmap Sentinel() {
  TBitmap image(2, 2, pf32bit);
  image.ScanLine(0)[0] = 0x5A;
  return image;
}

void ExpectSentinel(const TBitmap& image) {
  ASSERT_EQ(image.Width(), 2);
  EXPECT_EQ(image.PixelFormat(), pf32bit);
  EXPECT_EQ(image.ScanLine(0)[0], 0x5A);
}

// Offset of the frame header (SOF0 or SOF2) in a JPEG file.
std::size_t FrameHeader(const std::vector<std::uint8_t>& bytes) {
  for (std::size_t i = 0; i + 9 < bytes.size(); ++i)
    if (bytes[i] == 0xFF && (bytes[i + 1] == 0xC0 || bytes[i + 1] == 0xC2)) return i;
  return 0;
}

}  // namespace

// Quadrant borders fall on 16-pixel blocks, so the sampled centres are flat colour; an odd size
// gives partial blocks. Catches swapped channels, flipped rows, wrong strides and a missing alpha.
TEST(JPEGImage, ColourFilesDecodeToOpaque32BitInPlace) {
  const TJPEGSamples samples = QuadrantSamples(41, 35, 16, 16);
  for (bool progressive : {false, true}) {
    const TBitmap image = Decode(EncodeJPEG(samples, 95, progressive));
    ASSERT_EQ(image.PixelFormat(), pf32bit);
    for (int y = 0; y < image.Height(); ++y)
      for (int x = 0; x < image.Width(); ++x) ASSERT_EQ(image.ScanLine(y)[4 * x + 3], 255) << x << ", " << y;
    ASSERT_EQ(image.Width(), 41);
    ASSERT_EQ(image.Height(), 35);
    ExpectNear(Rgb(image, 5, 5), {255, 0, 0}, 10, "top left");
    ExpectNear(Rgb(image, 30, 5), {0, 255, 0}, 10, "top right");
    ExpectNear(Rgb(image, 5, 28), {0, 0, 255}, 10, "bottom left");
    ExpectNear(Rgb(image, 38, 33), {255, 255, 255}, 10, "bottom right corner");
  }
}

TEST(JPEGImage, GreyFilesBecomeQuantisedIndexedPictures) {
  TJPEGSamples samples{64, 20, 1, {}};
  for (int y = 0; y < samples.Height; ++y)
    for (int x = 0; x < samples.Width; ++x) samples.Samples.push_back(y < 10 ? std::uint8_t(x * 4) : 128);
  const TBitmap image = Decode(EncodeJPEG(samples, 100));
  ASSERT_EQ(image.PixelFormat(), pf8bit);
  ASSERT_EQ(image.Width(), 64);
  ASSERT_EQ(image.Height(), 20);
  ASSERT_GT(image.Palette().size(), 200u);
  ASSERT_LE(image.Palette().size(), std::size_t(JPEGQuantisedColours));
  for (const TRGBQuad& q : image.Palette()) {
    EXPECT_EQ(q.rgbRed, q.rgbGreen);
    EXPECT_EQ(q.rgbBlue, q.rgbGreen);
  }
  for (int x = 2; x < 62; x += 5) EXPECT_NEAR(Grey(image, x, 4), x * 4, 6) << "ramp at " << x;
  EXPECT_NEAR(Grey(image, 30, 16), 128, 3);
}

// The file with its frame header changed: another frame marker, or another sample precision.
std::vector<std::uint8_t> WithFrame(std::vector<std::uint8_t> bytes, std::uint8_t marker, std::uint8_t precision) {
  const std::size_t sof = FrameHeader(bytes);
  bytes.at(sof + 1) = marker;
  bytes.at(sof + 4) = precision;
  return bytes;
}

// The refusals people meet are told in sentences, the rare ones by libjpeg's message number, and
// none of them changes the target, whether the file is held (AssignTo) or read as the window reads it.
TEST(JPEGImage, FatalErrorsAreToldInSentencesAndChangeNothing) {
  TJPEGSamples grey{16, 16, 1, std::vector<std::uint8_t>(16 * 16, 40)};
  const std::vector<std::uint8_t> plain = EncodeJPEG(grey);
  const std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13};
  const struct {
    const char* what;
    std::vector<std::uint8_t> bytes;
    int code;  // 0: not an EJPEG
    std::string message;
  } cases[] = {
      {"no data", {}, JERR_INPUT_EMPTY, "ファイルが空です"},
      {"BMP data", {'B', 'M', 0x36, 0, 0, 0, 0, 0, 0, 0}, JERR_NO_SOI, "JPEG ファイルではありません"},
      {"PNG data", png, JERR_NO_SOI, "JPEG ファイルではありません"},
      {"12-bit samples", WithFrame(plain, 0xC1, 12), JERR_BAD_PRECISION, "12ビットのJPEGには対応していません"},
      {"lossless", WithFrame(plain, 0xC3, 8), JERR_SOF_UNSUPPORTED, "この種類のJPEGには対応していません"},
      {"hierarchical", WithFrame(plain, 0xC5, 8), JERR_SOF_UNSUPPORTED, "この種類のJPEGには対応していません"},
      {"65535 x 65535", WithDeclaredSize(plain, 65535, 65535), 0, "画像が大きすぎます (65535 x 65535)"},
      {"65535 x 1, within the image limit", WithDeclaredSize(plain, 65535, 1), 0, "画像が大きすぎます (65535 x 1)"},
      {"an undefined quantisation table", WithDeclaredSize(plain, 16, 16, true), JERR_NO_QUANT_TABLE,
       "JPEG エラー #" + std::to_string(JERR_NO_QUANT_TABLE)},
  };
  for (const auto& c : cases) {
    for (bool held : {true, false}) {
      TMemoryStream stream(c.bytes);
      TBitmap target = Sentinel();
      try {
        if (held) {
          TJPEGImage jpeg;
          jpeg.LoadFromStream(stream);
          jpeg.AssignTo(target);
        } else {
          target = ReadJPEGPicture(stream);
        }
        ADD_FAILURE() << c.what << ": no error";
      } catch (const EJPEG& e) {
        EXPECT_EQ(e.MessageCode(), c.code) << c.what;
        EXPECT_EQ(e.Message(), c.message) << c.what;
      } catch (const EOutOfResources& e) {
        EXPECT_EQ(c.code, 0) << c.what;
        EXPECT_EQ(e.Message(), c.message) << c.what;
      }
      ExpectSentinel(target);
    }
  }
}

TEST(JPEGImage, PicturesBeyondTheImageLimitAreRefusedBeforeDecoding) {
  TJPEGSamples grey{16, 16, 1, std::vector<std::uint8_t>(256, 90)};
  for (bool progressive : {false, true}) {
    std::vector<std::uint8_t> bytes = EncodeJPEG(grey, 90, progressive);
    const std::size_t sof = FrameHeader(bytes);
    ASSERT_NE(sof, 0u);
    for (std::size_t i : {sof + 5, sof + 7}) {  // height and width: 60000 each
      bytes[i] = 60000 >> 8;
      bytes[i + 1] = 60000 & 0xFF;
    }
    TJPEGImage jpeg;
    TMemoryStream stream(bytes);
    jpeg.LoadFromStream(stream);
    TBitmap target = Sentinel();
    EXPECT_THROW(jpeg.AssignTo(target), EOutOfResources);
    ExpectSentinel(target);
  }
}

// A cut-off file is a decoder warning, not an error: the part that is there decodes. Damaged
// files either decode or fail with a JPEG error; none may crash or read outside its buffers (the
// sanitizer build watches that).
TEST(JPEGImage, TruncatedAndDamagedFilesNeverCrash) {
  const std::vector<std::uint8_t> good = EncodeJPEG(QuadrantSamples(64, 48, 32, 16), 90);
  {
    std::size_t scan = 0;  // start of the entropy-coded data
    while (scan + 1 < good.size() && !(good[scan] == 0xFF && good[scan + 1] == 0xDA)) ++scan;
    const std::vector<std::uint8_t> cut(good.begin(), good.begin() + std::ptrdiff_t((scan + good.size()) / 2));
    const TBitmap image = Decode(cut);
    EXPECT_EQ(image.Width(), 64);
    EXPECT_EQ(image.Height(), 48);
    ExpectNear(Rgb(image, 4, 4), {255, 0, 0}, 10, "decoded part");
  }
  std::mt19937 random(7);
  for (int round = 0; round < 300; ++round) {
    std::vector<std::uint8_t> bad = good;
    if (round % 3 == 0) bad.resize(random() % bad.size());
    const int flips = 1 + int(random() % 8);
    for (int i = 0; i < flips && !bad.empty(); ++i) bad[random() % bad.size()] = std::uint8_t(random());
    try {
      const TBitmap image = Decode(bad);
      EXPECT_FALSE(image.Empty());
    } catch (const EJPEG&) {
    } catch (const EOutOfResources&) {
    }
  }
}

namespace {

// Soft colour clouds with detail, as a photo has them, in every chroma sampling.
std::vector<std::uint8_t> PhotoLikeJPEG(int width, int height, int samplingX, int samplingY, int quality,
                                        std::mt19937& random) {
  TJPEGSamples samples{width, height, 3, {}, samplingX, samplingY};
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < 3; ++c)
        samples.Samples.push_back(std::uint8_t((x * (c + 1) + y * (3 - c)) / 2 + int(random() % 40)));
  return EncodeJPEG(samples, quality);
}

// The outcome of one decoding: the pixels, or the message number of the error.
struct TOutcome {
  std::vector<std::uint8_t> bits;
  int error = 0;
  friend bool operator==(const TOutcome&, const TOutcome&) = default;
};

template <class TDecode>
TOutcome OutcomeOf(const TDecode& decode) {
  try {
    const TBitmap image = decode();
    return {std::vector<std::uint8_t>(image.Bits(), image.Bits() + image.BitsSize()), 0};
  } catch (const EJPEG& e) {
    return {{}, e.MessageCode()};
  }
}

}  // namespace

// A second decoder that passes over the rows above its part and forms the rest gives the very
// bytes one decoder gives, at every split row, for every chroma sampling, odd sizes, and truncated
// and damaged files (which decode as far as they go, or fail with the same message).
TEST(JPEGImage, TwoDecodersGiveOneDecodersPixelsAndErrorsAtEverySplit) {
  std::mt19937 random(1205);
  const int samplings[][2] = {{2, 2}, {2, 1}, {1, 2}, {1, 1}};
  int files = 0;
  for (const auto& sampling : samplings)
    for (const int height : {70, 93}) {
      const std::vector<std::uint8_t> good = PhotoLikeJPEG(77, height, sampling[0], sampling[1], 60 + 10 * files % 40, random);
      std::vector<std::vector<std::uint8_t>> variants = {good};
      variants.emplace_back(good.begin(), good.begin() + std::ptrdiff_t(good.size() * 3 / 5));  // truncated
      std::vector<std::uint8_t> damaged = good;
      for (int i = 0; i < 6; ++i) damaged[good.size() / 3 + random() % (good.size() * 2 / 3 - 2)] ^= std::uint8_t(1 + random() % 255);
      variants.push_back(damaged);
      for (const auto& bytes : variants) {
        ++files;
        const TOutcome whole = OutcomeOf([&] { return jpeg_detail::DecodeInTwoParts(bytes, 0); });
        for (int split = 1; split < height; ++split)
          ASSERT_EQ(OutcomeOf([&] { return jpeg_detail::DecodeInTwoParts(bytes, split); }), whole)
              << "sampling " << sampling[0] << "x" << sampling[1] << " height " << height << " file " << files
              << " split " << split;
      }
    }
}

// AssignTo shares a large picture with the pool's threads and gives one decoder's bytes however the
// two parts fall to the threads; with one thread it decodes alone.
TEST(JPEGImage, DecodingOnSeveralThreadsGivesOneDecodersBytes) {
  std::mt19937 random(1206);
  const std::vector<std::uint8_t> bytes = PhotoLikeJPEG(400, 301, 2, 2, 85, random);
  const TOutcome whole = OutcomeOf([&] { return jpeg_detail::DecodeInTwoParts(bytes, 0); });
  for (const unsigned threads : {4u, 1u, 2u}) {
    SetSharedWorkerPoolSize(threads);
    for (int i = 0; i < 6; ++i) ASSERT_EQ(OutcomeOf([&] { return Decode(bytes); }), whole) << threads << " threads";
  }
  SetSharedWorkerPoolSize(std::max(std::thread::hardware_concurrency(), 1u));
}
