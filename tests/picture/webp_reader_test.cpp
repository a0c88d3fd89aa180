#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "picture/loading.h"
#include "tests/support/reference_pictures.h"
#include "tests/support/temp_dir.h"
#include "toolkit/errors.h"

namespace {

void PutBytes(const std::string& name, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// An 8-bit PNG of the test's samples, with or without alpha, as the encoders' input.
std::string SamplePng(const TempDir& dir, const std::string& name, int width, int height, std::uint32_t seed, bool alpha) {
  const std::vector<std::uint8_t> rgba = TestSamples(width, height, seed);
  TTestPng png{width, height, alpha ? 6 : 2, 8};
  for (std::size_t i = 0; i < rgba.size(); ++i)
    if (alpha || i % 4 != 3) png.Samples.push_back(rgba[i]);
  PutBytes(dir / name, WriteTestPng(png));
  return dir / name;
}

}  // namespace

// Lossy and lossless, with and without alpha, at odd sizes and 1 x 1: every pixel as dwebp gives
// it. dwebp runs libwebp's vector code where the processor has it and the loader runs the C code,
// so equality also shows the two agree on these pictures.
TEST(WebPReader, EncodedPicturesGiveDwebpsPixels) {
  const TempDir dir;
  const struct {
    const char* options;
    bool alpha;
  } kinds[] = {{"-q 75", false}, {"-q 90", true}, {"-q 40 -alpha_q 50", true}, {"-lossless", false},
               {"-lossless -exact", true}, {"-near_lossless 60", true}, {"-q 80 -sharp_yuv", false}};
  const int sizes[][2] = {{1, 1}, {37, 23}, {130, 77}};
  std::uint32_t seed = 1;
  for (const auto& kind : kinds)
    for (const auto& size : sizes) {
      const std::string what = std::string(kind.options) + ", " + std::to_string(size[0]) + " x " + std::to_string(size[1]);
      const std::string png = SamplePng(dir, "in.png", size[0], size[1], seed++, kind.alpha);
      const std::string webp = dir / "in.webp", pam = dir / "ref.pam";
      ASSERT_TRUE(Shell("cwebp -quiet " + std::string(kind.options) + " " + png + " -o " + webp)) << what;
      ASSERT_TRUE(Shell("dwebp -quiet -pam " + webp + " -o " + pam)) << what;
      const TBitmap loaded = ReadSourcePicture(webp, TPictureKind::WebP);
      const TPictureDistance d = Distance(loaded, PamToPicture(ReadPam(pam)));
      EXPECT_EQ(d.Differing, 0) << what << ": largest difference " << d.Largest;
    }
}

// An animation shows its first frame on the whole canvas: a lossless first frame is the picture
// it was made from (its colours wherever it is not fully clear).
TEST(WebPReader, AnimationShowsItsFirstFrame) {
  const TempDir dir;
  const std::string first = SamplePng(dir, "f1.png", 45, 31, 11, true);
  const std::string second = SamplePng(dir, "f2.png", 45, 31, 12, true);
  const std::string webp = dir / "anim.webp";
  ASSERT_TRUE(Shell("img2webp -loop 0 -lossless " + first + " -lossy -q 50 " + second + " -o " + webp));
  const TBitmap loaded = ReadSourcePicture(webp, TPictureKind::WebP);
  const std::vector<std::uint8_t> rgba = TestSamples(45, 31, 11);
  ASSERT_EQ(loaded.Width(), 45);
  ASSERT_EQ(loaded.Height(), 31);
  long differing = 0;
  for (int y = 0; y < 31; ++y)
    for (int x = 0; x < 45; ++x) {
      const std::uint8_t* e = &rgba[(std::size_t(y) * 45 + x) * 4];
      const std::uint8_t* p = loaded.ScanLine(y) + 4 * x;
      const bool clear = e[3] == 0;
      differing += p[3] != e[3] || (!clear && (p[0] != e[2] || p[1] != e[1] || p[2] != e[0]));
    }
  EXPECT_EQ(differing, 0);
}

// Damaged files are refused with a sentence naming the format; the header alone answers the cost,
// which for a lossless picture counts libwebp's working copy of it.
TEST(WebPReader, DamagedFilesAreRefusedAndTheHeaderGivesTheCost) {
  const TempDir dir;
  const std::string png = SamplePng(dir, "in.png", 64, 48, 3, true);
  ASSERT_TRUE(Shell("cwebp -quiet -lossless " + png + " -o " + dir / "ll.webp"));
  ASSERT_TRUE(Shell("cwebp -quiet -q 70 " + png + " -o " + dir / "ly.webp"));
  const std::vector<std::uint8_t> lossless = FileBytes(dir / "ll.webp"), lossy = FileBytes(dir / "ly.webp");
  for (const auto& [file, losslessKind] : {std::pair{lossless, true}, std::pair{lossy, false}}) {
    TMemoryStream header(file);
    const TPictureCost cost = ReadPictureCost(header, TPictureKind::WebP);
    EXPECT_EQ(cost.Width, 64);
    EXPECT_EQ(cost.Height, 48);
    EXPECT_EQ(cost.PixelBytes, 64u * 48 * 4);
    EXPECT_GE(cost.DecoderBytes, file.size() + (losslessKind ? 64u * 48 * 4 : 0));
  }
  const auto cut = [](std::vector<std::uint8_t> f, std::size_t keep) {
    f.resize(keep);
    return f;
  };
  const auto flipped = [](std::vector<std::uint8_t> f, std::size_t at) {
    f[at] ^= 0xFF;
    return f;
  };
  const struct {
    const char* what;
    std::vector<std::uint8_t> file;
  } cases[] = {
      {"empty", {}},
      {"PNG bytes", FileBytes(png)},
      {"no WEBP tag", flipped(lossy, 9)},
      {"cut in the header", cut(lossy, 20)},
      {"cut in the data", cut(lossy, lossy.size() / 2)},
      {"lossless cut in the data", cut(lossless, lossless.size() / 2)},
      {"lossless data damaged", flipped(lossless, 30)},
      {"declaring 4 GB in its RIFF header", flipped(flipped(lossy, 7), 6)},
  };
  for (const auto& c : cases) {
    TMemoryStream stream(c.file);
    try {
      ReadSourcePicture(stream, TPictureKind::WebP);
      ADD_FAILURE() << c.what << " loaded";
    } catch (const EInvalidGraphic& e) {
      EXPECT_EQ(std::string(e.what()).rfind("WebP ファイルが壊れています", 0), 0u) << c.what << ": " << e.what();
    }
  }
}
