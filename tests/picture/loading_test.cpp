#include "picture/loading.h"

#include <gtest/gtest.h>

#include "tests/picture/bmp_builder.h"
#include "tests/support/jpeg_writer.h"
#include "tests/support/temp_dir.h"
#include "toolkit/errors.h"
#include "toolkit/jpeg_image.h"

namespace {

class Loading : public testing::Test {
 protected:
  std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    PutFile(folder_ / name, bytes);
    return folder_ / name;
  }
  TempDir folder_;
};

// Two 32-bit pixels (blue, green, red, fourth byte 0) in one row.
BmpBuilder ThirtyTwoBit() {
  BmpBuilder b;
  b.width = 2;
  b.height = 1;
  b.bitCount = 32;
  b.pixels = {10, 20, 30, 0, 40, 50, 60, 0};
  return b;
}

TBGRA Pixel(const TBitmap& image, int x, int y) { return reinterpret_cast<const TBGRA*>(image.ScanLine(y))[x]; }

}  // namespace

TEST(PictureKind, ExtensionsChooseTheReaderInAnyLetterCase) {
  EXPECT_EQ(PictureKindOf("/p/PHOTO.JPG"), TPictureKind::JPEG);
  EXPECT_EQ(PictureKindOf("photo.Jpeg"), TPictureKind::JPEG);
  EXPECT_EQ(PictureKindOf("/p/a.BMP"), TPictureKind::Bitmap);
  EXPECT_EQ(PictureKindOf("/p/a.bmp.png"), TPictureKind::None);
  EXPECT_EQ(PictureKindOf("/p.bmp/noext"), TPictureKind::None) << "a dot in the folder is no extension";
  EXPECT_EQ(PictureKindOf("/p/a.jpe"), TPictureKind::None);
  EXPECT_EQ(UnsupportedPictureMessage("/home/u/picture.png"),
            "読み込めるのはBMPファイルとJPEGファイルです。\rpicture.png は読み込めません。");
  EXPECT_EQ(UnsupportedPictureMessage("/home/u/noext"), "読み込めるのはBMPファイルとJPEGファイルです。\rnoext は読み込めません。");
}

TEST_F(Loading, OnlyPlainThirtyTwoBitFilesKeepTheirFourthBytes) {
  const TBitmap plain = ReadSourcePicture(Write("plain.bmp", ThirtyTwoBit().Bytes()), TPictureKind::Bitmap);
  ASSERT_EQ(plain.PixelFormat(), pf32bit);
  EXPECT_EQ(Pixel(plain, 0, 0), (TBGRA{10, 20, 30, 0}));
  EXPECT_EQ(Pixel(plain, 1, 0), (TBGRA{40, 50, 60, 0}));

  BmpBuilder masked = ThirtyTwoBit();
  masked.compression = 3;
  masked.masks = {0x00FF0000, 0x0000FF00, 0x000000FF};
  const TBitmap opaque = ReadSourcePicture(Write("masked.bmp", masked.Bytes()), TPictureKind::Bitmap);
  ASSERT_EQ(opaque.PixelFormat(), pf32bit);
  EXPECT_EQ(Pixel(opaque, 0, 0), (TBGRA{10, 20, 30, 255}));
  EXPECT_EQ(Pixel(opaque, 1, 0), (TBGRA{40, 50, 60, 255}));

  BmpBuilder rgb;
  rgb.pixels = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0, 11, 12, 13, 14, 15, 16, 17, 18, 19, 0, 0, 0};
  const TBitmap bits24 = ReadSourcePicture(Write("rgb.bmp", rgb.Bytes()), TPictureKind::Bitmap);
  ASSERT_EQ(bits24.PixelFormat(), pf32bit);
  EXPECT_EQ(Pixel(bits24, 0, 1), (TBGRA{1, 2, 3, 255})) << "the file's first row is the bottom row";
  EXPECT_EQ(Pixel(bits24, 2, 0), (TBGRA{17, 18, 19, 255}));
}

TEST_F(Loading, JpegPicturesBecomeOpaque) {
  TJPEGSamples grey{8, 8, 1, std::vector<std::uint8_t>(64, 200)};
  for (const auto& samples : {QuadrantSamples(32, 16, 16, 8), grey}) {
    const TBitmap picture = ReadSourcePicture(Write("p.jpg", EncodeJPEG(samples)), TPictureKind::JPEG);
    ASSERT_EQ(picture.PixelFormat(), pf32bit);
    EXPECT_EQ(picture.Width(), samples.Width);
    for (int y = 0; y < picture.Height(); ++y)
      for (int x = 0; x < picture.Width(); ++x) ASSERT_EQ(Pixel(picture, x, y).Alpha, 255);
    EXPECT_NEAR(Pixel(picture, 2, 2).Red, samples.Components == 1 ? 200 : 255, 6);
  }
}

// An empty BMP file reads as a picture without pixels, which would leave the scene without
// proportions; it is refused like any other invalid bitmap.
TEST_F(Loading, PicturesWithoutPixelsAndWrongContentAreRefused) {
  try {
    ReadSourcePicture(Write("empty.bmp", {}), TPictureKind::Bitmap);
    ADD_FAILURE() << "an empty picture was accepted";
  } catch (const EInvalidGraphic& e) {
    EXPECT_EQ(e.Message(), "ビットマップイメージが不正です");
  }
  const std::string jpegNamedBmp = Write("photo.bmp", EncodeJPEG(QuadrantSamples(16, 16, 8, 8)));
  EXPECT_THROW(ReadSourcePicture(jpegNamedBmp, TPictureKind::Bitmap), EInvalidGraphic);
  const std::string bmpNamedJpeg = Write("a.jpg", ThirtyTwoBit().Bytes());
  EXPECT_THROW(ReadSourcePicture(bmpNamedJpeg, TPictureKind::JPEG), EJPEG);
  EXPECT_THROW(ReadSourcePicture(folder_ / "missing.jpg", TPictureKind::JPEG), EFOpenError);
  EXPECT_THROW(ReadSourcePicture(folder_ / "missing.bmp", TPictureKind::Bitmap), EFOpenError);
}
