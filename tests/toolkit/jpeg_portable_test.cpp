// A JPEG decodes to the same pixels on every machine: those of libjpeg-turbo's C code, never those
// of its vector floating-point inverse DCT, which rounds a few samples differently. libjpeg-turbo's
// own djpeg, told to use its C code throughout, is the reference; the same djpeg left to its vector
// code shows that the pictures below do tell the two apart on this processor.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "tests/support/jpeg_writer.h"
#include "tests/support/temp_dir.h"
#include "toolkit/jpeg_image.h"

namespace {

// A textured picture: smooth gradients with noise, so that many blocks carry high frequencies; at
// quality 50 the float DCT's vector and C code round a few of its samples differently.
TJPEGSamples Texture(int width, int height, int luma, unsigned seed) {
  TJPEGSamples s{width, height, 3, {}, luma, luma};
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> noise(-40, 40);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < 3; ++c) {
        const int v = (x * (3 + c) + y * (5 - c)) % 256 + noise(random);
        s.Samples.push_back(std::uint8_t(std::clamp(v, 0, 255)));
      }
  return s;
}

// djpeg's float-DCT decoding of `file` as RGB bytes (its PPM body); `portable` forces its C code.
std::vector<std::uint8_t> Djpeg(const TempDir& dir, const std::string& file, bool portable) {
  const std::string out = dir / (portable ? "c.ppm" : "simd.ppm");
  const std::string command = std::string(portable ? "env JSIMD_FORCENONE=1 " : "env -u JSIMD_FORCENONE ") +
                              "djpeg -dct float -ppm -outfile '" + out + "' '" + file + "'";
  if (std::system(command.c_str()) != 0) return {};
  std::vector<std::uint8_t> ppm = FileBytes(out);
  // The header is "P6\n<w> <h>\n255\n": the body starts after the third newline.
  std::size_t at = 0;
  for (int lines = 0; lines < 3 && at < ppm.size(); ++at)
    if (ppm[at] == '\n') ++lines;
  return {ppm.begin() + std::ptrdiff_t(at), ppm.end()};
}

}  // namespace

TEST(JPEGImage, DecodesThroughTheCCodeOnEveryProcessor) {
  TempDir dir;
  [[maybe_unused]] bool vectorCodeDiffers = false;
  int seed = 1;
  // Every chroma sampling a photo comes with, baseline and progressive; the largest picture is
  // decoded in two parts at once.
  struct TCase {
    int width, height, lumaX, lumaY;
  };
  for (const TCase c : {TCase{203, 131, 2, 2}, TCase{203, 131, 1, 1}, TCase{203, 131, 2, 1}, TCase{203, 131, 1, 2},
                        TCase{411, 263, 2, 2}})
    for (bool progressive : {false, true}) {
      const int width = c.width, height = c.height;
      TJPEGSamples samples = Texture(width, height, c.lumaX, unsigned(seed++));
      samples.LumaSamplingY = c.lumaY;
      const std::vector<std::uint8_t> bytes = EncodeJPEG(samples, 50, progressive);
      const std::string file = dir / "photo.jpg";
      PutFile(file, bytes);
      const std::vector<std::uint8_t> reference = Djpeg(dir, file, true);
      ASSERT_EQ(reference.size(), std::size_t(width * height * 3)) << "djpeg did not run";

      TMemoryStream stream(bytes);
      TJPEGImage jpeg;
      jpeg.LoadFromStream(stream);
      TBitmap image;
      jpeg.AssignTo(image);
      ASSERT_EQ(image.PixelFormat(), pf32bit);
      int differing = 0;
      for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x) {
          const std::uint8_t* p = image.ScanLine(y) + 4 * x;
          const std::uint8_t* r = reference.data() + 3 * (std::size_t(y) * std::size_t(width) + std::size_t(x));
          if (p[2] != r[0] || p[1] != r[1] || p[0] != r[2]) ++differing;
        }
      EXPECT_EQ(differing, 0) << width << " x " << height << ", luma sampling " << c.lumaX << " x " << c.lumaY
                              << (progressive ? ", progressive" : "");
      if (Djpeg(dir, file, false) != reference) vectorCodeDiffers = true;
    }
#if defined(__x86_64__)
  // SSE2 is always there on x86-64, and its float DCT rounds these pictures differently: were it
  // not so, this test could not see the vector code being used.
  EXPECT_TRUE(vectorCodeDiffers) << "the vector code gave the C code's pixels for every picture";
#endif
}
