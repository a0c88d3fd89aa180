#include "toolkit/strings.h"

#include <gtest/gtest.h>

namespace {

TEST(Strings, LowerCasesOnlyAsciiLettersAndSplitsAtTheLastSlash) {
  EXPECT_EQ(LowerAscii("A.JPEG@[Zz]"), "a.jpeg@[zz]");
  EXPECT_EQ(LowerAscii("画像.BMP"), "画像.bmp");  // UTF-8 bytes stay as they are

  const TFileNameParts nested = SplitFileName("/home/a.b/picture.BMP");
  EXPECT_EQ(nested.Folder, "/home/a.b/");
  EXPECT_EQ(nested.Name, "picture.BMP");
  const TFileNameParts bare = SplitFileName("picture");
  EXPECT_EQ(bare.Folder, "");
  EXPECT_EQ(bare.Name, "picture");
  EXPECT_EQ(SplitFileName("/folder/").Name, "");
}

}  // namespace
