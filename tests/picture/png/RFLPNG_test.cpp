#include "picture/png/RFLPNG.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "png_test_support.h"
#include "toolkit/clipboard.h"
#include "toolkit/picture_registry.h"

namespace {

PngTime FixedClock() { return {2026, 12, 7, 21, 5, 9}; }

using Bytes = std::vector<std::uint8_t>;

void AppendBE(Bytes& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(std::uint8_t(v >> shift));
}

void AppendChunk(Bytes& out, const char* type, const Bytes& data) {
  AppendBE(out, std::uint32_t(data.size()));
  Bytes typed(type, type + 4);
  typed.insert(typed.end(), data.begin(), data.end());
  out.insert(out.end(), typed.begin(), typed.end());
  AppendBE(out, std::uint32_t(crc32(0, typed.data(), uInt(typed.size()))));
}

Bytes ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

struct TempFolder {
  std::filesystem::path Path;
  TempFolder() {
    Path = std::filesystem::temp_directory_path() / ("rfl_png_" + std::to_string(::getpid()));
    std::filesystem::remove_all(Path);
    std::filesystem::create_directories(Path);
  }
  ~TempFolder() { std::filesystem::remove_all(Path); }
  std::size_t Count() const {
    return std::size_t(std::distance(std::filesystem::directory_iterator(Path), std::filesystem::directory_iterator()));
  }
};

// The final rendering as the PNG export gets it: 32-bit pixels with alpha, and its inverted mask.
TBitmap Rendering(int width, int height, std::uint32_t seed) {
  TBitmap image(width, height, pf32bit);
  TestRandom random(seed);
  FillRandom(image, random);
  return image;
}

TBitmap InvertedAlphaMask(const TBitmap& image) {
  TBitmap mask(image.Width(), image.Height(), pf8bit);
  for (int y = 0; y < image.Height(); ++y)
    for (int x = 0; x < image.Width(); ++x) mask.ScanLine(y)[x] = std::uint8_t(255 - image.ScanLine(y)[4 * x + 3]);
  return mask;
}

TEST(TRFLPNG, ExportWritesTheExpectedFileByteForByte) {
  const TBitmap image = Rendering(200, 150, 42);  // noise: its zlib stream spans several IDAT chunks
  TRFLPNG png(FixedClock);
  png.AssignPicture(image);
  png.UseAlpha = true;
  png.SetAlphaMask(InvertedAlphaMask(image));
  std::vector<int> percents;
  png.OnProgress = [&](const void* sender, TProgressStage, std::uint8_t percent, bool, const TRect&,
                       const std::string&) {
    EXPECT_EQ(sender, &png.HeldImage());  // the picture's handler speaks for its image
    percents.push_back(percent);
  };
  TempFolder folder;
  const auto path = folder.Path / "export.png";
  png.SavePngToFile(path.string());
  const Bytes file = ReadFile(path);
  EXPECT_EQ(percents.front(), 0);
  EXPECT_EQ(percents.back(), 100);

  // The rows as PNG stores them: filter byte 0, then red, green, blue, alpha of every pixel.
  Bytes raw;
  for (int y = 0; y < 150; ++y) {
    raw.push_back(0);
    for (int x = 0; x < 200; ++x) {
      const std::uint8_t* p = image.ScanLine(y) + 4 * x;
      raw.insert(raw.end(), {p[2], p[1], p[0], p[3]});
    }
  }
  z_stream z{};
  ASSERT_EQ(deflateInit2(&z, 6, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY), Z_OK);
  Bytes zdata(deflateBound(&z, uLong(raw.size())));
  z.next_in = raw.data();
  z.avail_in = uInt(raw.size());
  z.next_out = zdata.data();
  z.avail_out = uInt(zdata.size());
  ASSERT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  zdata.resize(z.total_out);
  deflateEnd(&z);
  ASSERT_GT(zdata.size(), 3u * 32768);

  Bytes expected = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
  AppendChunk(expected, "IHDR", {0, 0, 0, 200, 0, 0, 0, 150, 8, 6, 0, 0, 0});
  AppendChunk(expected, "tIME", {0x07, 0xEA, 12, 7, 21, 5, 9});
  const std::string software = std::string("Software") + '\0' + "RFLPNG ver 3.4";
  AppendChunk(expected, "tEXt", Bytes(software.begin(), software.end()));
  AppendChunk(expected, "tpNG", {'R', 'F', 'L', '3', 0, 0, 0, 0});
  AppendChunk(expected, "gAMA", {0x00, 0x00, 0xB1, 0x8F});
  for (std::size_t at = 0; at < zdata.size(); at += 32768) {
    const std::size_t end = std::min(zdata.size(), at + 32768);
    AppendChunk(expected, "IDAT", Bytes(zdata.begin() + std::ptrdiff_t(at), zdata.begin() + std::ptrdiff_t(end)));
  }
  AppendChunk(expected, "IEND", {});
  EXPECT_EQ(Bytes(expected.end() - 4, expected.end()), (Bytes{0xAE, 0x42, 0x60, 0x82}));
  EXPECT_EQ(file, expected);

  // libpng sees the rendering's own bytes, alpha included.
  const DecodedPng decoded = DecodeWithLibpng(file);
  ASSERT_TRUE(decoded.Ok);
  ASSERT_EQ(decoded.ColorType, 6);
  Bytes pixels;
  for (std::size_t i = 0; i < raw.size(); ++i)
    if (i % (200 * 4 + 1) != 0) pixels.push_back(raw[i]);
  EXPECT_EQ(decoded.Samples, pixels);
  std::string report;
  EXPECT_TRUE(PngcheckAccepts({file}, report)) << report;
}

TEST(TRFLPNG, StartsEmptyWithTheExportDefaultsAndWritesAlphaOnlyWhenAsked) {
  TRFLPNG png(FixedClock);
  EXPECT_TRUE(png.IsEmpty());
  EXPECT_EQ(png.Width(), 0);
  EXPECT_EQ(png.Height(), 0);
  EXPECT_EQ(png.Settings.ImageTime, FixedClock());

  const TBitmap image = Rendering(5, 4, 1);
  png.AssignPicture(image);
  png.SetAlphaMask(InvertedAlphaMask(image));
  TMemoryStream out;
  png.SavePngToStream(out);  // UseAlpha is false: the mask stays out
  const DecodedPng plain = DecodeWithLibpng(out.Data());
  EXPECT_EQ(plain.ColorType, 2);

  TBitmap wrongSize(4, 4, pf8bit);
  png.UseAlpha = true;
  png.SetAlphaMask(wrongSize);
  TMemoryStream unfit;
  png.SavePngToStream(unfit);
  EXPECT_EQ(DecodeWithLibpng(unfit.Data()).ColorType, 2);
}

// A picture of another kind.
class TOtherPicture final : public TGraphic {
 public:
  const TGraphicClass& ClassType() const override { return IconClass; }
  void AssignPicture(const TGraphic&) override {}
  void AssignToPicture(TGraphic&) const override {}
  void DrawStretched(TCanvas&, const TRect&) const override {}
  bool IsEmpty() const override { return true; }
  int ImageWidth() const override { return 0; }
  int ImageHeight() const override { return 0; }
  std::vector<TRGBQuad> ImagePalette() const override { return {}; }
  void ChangeWidth(int) override {}
  void ChangeHeight(int) override {}
  void SaveToStream(TStream&) const override {}
  void ExportClipboardData(std::uint16_t&, TBitmap&, std::vector<TRGBQuad>&) const override {}
};

TEST(TRFLPNG, AssignmentCopiesPictureAndSettingsButKeepsUseAlpha) {
  TRFLPNG source(FixedClock);
  source.AssignPicture(Rendering(6, 3, 2));
  source.SetAlphaMask(InvertedAlphaMask(source.HeldImage()));
  source.UseAlpha = true;
  source.Settings.Comment = "c";
  source.Settings.Interlaced = true;
  source.Settings.GifControl = {1, 0, 0, 0};
  TRFLPNG target(FixedClock);
  target.Settings.GifControl = {0, 0, 5, 0};
  target.AssignPicture(source);
  EXPECT_FALSE(target.UseAlpha);
  EXPECT_EQ(target.Settings.Comment, "c");
  EXPECT_TRUE(target.Settings.Interlaced);
  EXPECT_EQ(target.Settings.GifControl, (TPngGifControl{0, 0, 5, 0}));
  EXPECT_EQ(target.HeldImage().Width(), 6);
  EXPECT_EQ(target.AlphaMask().Height(), 3);

  TOtherPicture other;
  try {
    target.AssignPicture(other);
    ADD_FAILURE() << "assigned";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "TIcon を TRFLPNG に代入できません");
  }
  EXPECT_THROW(target.AssignToPicture(other), EConvertError);
  TBitmap copy;
  target.AssignToPicture(copy);
  EXPECT_EQ(copy.Width(), 6);

  // Resizing leaves an empty mask alone.
  TRFLPNG unmasked(FixedClock);
  unmasked.AssignPicture(Rendering(4, 4, 3));
  unmasked.SetWidth(9);
  EXPECT_EQ(unmasked.Width(), 9);
  EXPECT_TRUE(unmasked.AlphaMask().Empty());
}

TEST(TRFLPNG, KeepsItsTransparentFlagInLineWithTheHeldImage) {
  TRFLPNG png(FixedClock);
  int changes = 0;
  png.OnChange = [&](TGraphic&) { ++changes; };
  png.AssignPicture(Rendering(3, 3, 4));
  EXPECT_EQ(changes, 1);
  EXPECT_TRUE(png.PaletteModified());
  png.SetTransparent(true);  // passed on to the held image
  EXPECT_TRUE(png.HeldImageTransparent());
  EXPECT_EQ(changes, 2);

  // Another picture that takes the held image takes its flag as well.
  TRFLPNG copy(FixedClock);
  png.AssignToPicture(copy);
  EXPECT_TRUE(copy.HeldImageTransparent());
  EXPECT_TRUE(copy.Transparent());

  // A plain bitmap carries no flag: the picture follows its new image, with one notification.
  changes = 0;
  png.AssignPicture(Rendering(3, 3, 5));
  EXPECT_FALSE(png.HeldImageTransparent());
  EXPECT_FALSE(png.Transparent());
  EXPECT_EQ(changes, 1);
}

class MemoryClipboard final : public TClipboard {
 public:
  TBitmap Bitmap;
  std::vector<TRGBQuad> Palette;
  int Stores = 0;
  void SetBitmap(const TBitmap& bitmap, const std::vector<TRGBQuad>& palette) override {
    Bitmap = bitmap;
    Palette = palette;
    ++Stores;
  }
};

TEST(TRFLPNG, ClipboardReceivesTheHeldBitmapAsStored) {
  const TBitmap image = Rendering(7, 5, 6);
  TRFLPNG png(FixedClock);
  png.AssignPicture(image);
  png.UseAlpha = true;
  png.SetAlphaMask(InvertedAlphaMask(image));
  MemoryClipboard clipboard;
  clipboard.Assign(png);
  EXPECT_EQ(clipboard.Stores, 1);
  EXPECT_EQ(clipboard.Bitmap.PixelFormat(), pf32bit);
  ASSERT_EQ(clipboard.Bitmap.BitsSize(), image.BitsSize());
  EXPECT_TRUE(std::equal(image.Bits(), image.Bits() + image.BitsSize(), clipboard.Bitmap.Bits()));
  EXPECT_TRUE(clipboard.Palette.empty());
}

TEST(TRFLPNG, AFailedSaveLeavesNoFileAndKeepsAnExistingOne) {
  TempFolder folder;
  const auto path = folder.Path / "keep.png";
  std::ofstream(path) << "old";
  TRFLPNG png(FixedClock);
  png.AssignPicture(Rendering(10, 10, 7));
  png.Settings.IdatSize = 255;
  try {
    png.SavePngToFile(path.string());
    ADD_FAILURE() << "saved";
  } catch (const ERFLPNG& e) {
    EXPECT_STREQ(e.what(), "Write PNG Param: Err IDAT Size(min:256  max:100000)");
  }
  EXPECT_EQ(ReadFile(path), (Bytes{'o', 'l', 'd'}));
  EXPECT_THROW(png.SavePngToFile((folder.Path / "new.png").string()), ERFLPNG);
  EXPECT_EQ(folder.Count(), 1u);

  TMemoryStream stream;
  png.Settings.IdatSize = 100001;
  EXPECT_THROW(png.SavePngToStream(stream), ERFLPNG);
  EXPECT_TRUE(stream.Data().empty());
  png.Settings.IdatSize = 100000;
  png.SavePngToFile(path.string());  // a good save replaces the old file
  EXPECT_TRUE(DecodeWithLibpng(ReadFile(path)).Ok);
}

TEST(TRFLPNG, IsRegisteredAsThePngFormatAfterThePlatformFormats) {
  EXPECT_EQ(GraphicFilter(RFLPNGClass) + "|すべてのファイル|*.*", "PNG Format (*.png)|*.png|すべてのファイル|*.*");
  EXPECT_EQ(GraphicExtension(RFLPNGClass), "png");
  const auto formats = TPicture::FileFormats();
  ASSERT_GE(formats.size(), 7u);
  EXPECT_EQ(formats[5].Extension, "jpg");
  EXPECT_EQ(formats[6].Extension, "png");
  EXPECT_EQ(formats[6].Description, "PNG Format");
}

}  // namespace
