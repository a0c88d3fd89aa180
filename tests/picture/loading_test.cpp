#include "picture/loading.h"

#include <gtest/gtest.h>


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
