// Files that another program wrote: ImageMagick's convert writes each kind of BMP file it knows
// from a picture made here, and what this reader makes of the file must match the pixels that
// ImageMagick itself reads back from it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "picture/bmp_file.h"
#include "tests/support/temp_dir.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kWidth = 13;  // odd, so that every depth has row padding
constexpr int kHeight = 7;

bool Shell(const std::string& command) { return std::system((command + " 2>&1").c_str()) == 0; }

// A binary PPM whose colours come from `colour`, asymmetric so that flips and swaps show.
void WritePpm(const std::string& name, Bytes (*colour)(int x, int y)) {
  std::string text = "P6 " + std::to_string(kWidth) + " " + std::to_string(kHeight) + " 255\n";
  Bytes bytes(text.begin(), text.end());
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      const Bytes rgb = colour(x, y);
      bytes.insert(bytes.end(), rgb.begin(), rgb.end());
    }
  PutFile(name, bytes);
}

Bytes TwoColours(int x, int y) { return (x * x + y) % 3 == 0 ? Bytes{200, 10, 30} : Bytes{5, 100, 250}; }
Bytes TwelveColours(int x, int y) {
  const int i = (x + 2 * y) % 12;
  return {std::uint8_t(i * 20), std::uint8_t(i % 3 ? 255 : 0), 77};
}
Bytes ManyColours(int x, int y) {
  return {std::uint8_t(x * 19 + y * 7), std::uint8_t(x * 5 + y * 31), std::uint8_t(x * 11 * y)};
}

struct Fixture {
  const char* name;
  const char* source;   // "two", "twelve" or "many"
  const char* options;  // for convert, before the output
  const char* format;   // BMP2 (OS/2 core header), BMP3 (40-byte header) or BMP (longer headers)
  TPixelFormat expected;
  int tolerance;  // channel difference allowed
};

// 5- and 6-bit channels are widened here by repeating their high bits and by ImageMagick by
// scaling; the two may land one step apart.
const Fixture kFixtures[] = {
    {"1-bit", "two", "-type palette", "BMP3", pf1bit, 0},
    {"4-bit", "twelve", "-type palette -compress none", "BMP3", pf4bit, 0},
    {"8-bit", "many", "-type palette -compress none", "BMP3", pf8bit, 0},
    {"8-bit run-length", "many", "-type palette -compress rle", "BMP3", pfDevice, 0},
    {"4-colour run-length", "twelve", "-colors 4 -type palette -compress rle", "BMP3", pfDevice, 0},
    {"24-bit", "many", "-type truecolor", "BMP3", pf24bit, 0},
    {"1-bit, long header", "two", "-type palette", "BMP", pf1bit, 0},
    {"4-bit, long header", "twelve", "-type palette -compress none", "BMP", pf4bit, 0},
    {"8-bit, long header", "many", "-type palette -compress none", "BMP", pf8bit, 0},
    {"8-bit run-length, long header", "many", "-type palette -compress rle", "BMP", pfDevice, 0},
    {"16-bit 5-6-5", "many", "-type truecolor -define bmp:subtype=RGB565", "BMP", pf16bit, 1},
    {"16-bit 5-5-5 masks", "many", "-type truecolor -define bmp:subtype=RGB555", "BMP", pfCustom, 1},
    {"24-bit, long header", "many", "-type truecolor", "BMP", pf24bit, 0},
    {"32-bit masks with alpha", "many", "-type truecolormatte", "BMP", pfCustom, 0},
    {"core 4-bit", "twelve", "-type palette", "BMP2", pf4bit, 0},
    {"core 8-bit", "many", "-type palette", "BMP2", pf8bit, 0},
    {"core 24-bit", "many", "-type truecolor", "BMP2", pf24bit, 0},
};

TEST(BitmapFilesFromImageMagick, ReadAsImageMagickReadsThem) {
  ASSERT_TRUE(Shell("command -v convert >/dev/null"))
      << "ImageMagick's convert is missing; tools/setup.sh installs it (package imagemagick)";
  TempDir dir;
  WritePpm(dir / "two.ppm", TwoColours);
  WritePpm(dir / "twelve.ppm", TwelveColours);
  WritePpm(dir / "many.ppm", ManyColours);

  for (const Fixture& f : kFixtures) {
    SCOPED_TRACE(f.name);
    const std::string bmp = dir / "out.bmp";
    const std::string rgba = dir / "out.rgba";
    ASSERT_TRUE(Shell("convert '" + dir / (std::string(f.source) + ".ppm") + "' " + f.options + " " + f.format + ":'" +
                    bmp + "'"));
    ASSERT_TRUE(Shell("convert '" + bmp + "' -depth 8 rgba:'" + rgba + "'"));
    const Bytes theirs = FileBytes(rgba);
    ASSERT_EQ(theirs.size(), std::size_t(4 * kWidth * kHeight));

    TBitmap image;
    ReadBitmapFile(bmp, image);
    EXPECT_EQ(int(image.PixelFormat()), int(f.expected));
    ASSERT_EQ(image.Width(), kWidth);
    ASSERT_EQ(image.Height(), kHeight);
    image.SetPixelFormat(pf32bit);
    int differences = 0;
    for (int y = 0; y < kHeight; ++y) {
      const auto* ours = reinterpret_cast<const TBGRA*>(image.ScanLine(y));
      for (int x = 0; x < kWidth; ++x) {
        const std::uint8_t* t = &theirs[4 * (y * kWidth + x)];
        const int channels[3][2] = {{ours[x].Red, t[0]}, {ours[x].Green, t[1]}, {ours[x].Blue, t[2]}};
        for (const auto& [mine, other] : channels)
          if (std::abs(mine - other) > f.tolerance && differences++ < 5)
            ADD_FAILURE() << "pixel (" << x << ", " << y << "): " << mine << " against " << other;
        EXPECT_EQ(ours[x].Alpha, 0);  // none of these files carries alpha that this program keeps
      }
    }
    EXPECT_EQ(differences, 0);
  }
}

}  // namespace
