#include "toolkit/picture_registry.h"

#include <gtest/gtest.h>

#include "toolkit/clipboard.h"

namespace {

// Splits a dialog filter into its (description, patterns) entries.
std::vector<std::pair<std::string, std::string>> FilterEntries(const std::string& filter) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const auto bar = filter.find('|', start);
    parts.push_back(filter.substr(start, bar - start));
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  std::vector<std::pair<std::string, std::string>> entries;
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2) entries.emplace_back(parts[i], parts[i + 1]);
  EXPECT_EQ(parts.size() % 2, 0u) << filter;
  return entries;
}

TEST(PictureRegistry, OpenDialogFilterListsBitmapAndJpegEntries) {
  const std::string filter = "対応形式 (*.bmp; *.jpg; *.jpeg)|*.bmp;*.jpg;*.jpeg|" + GraphicFilter(BitmapClass) + "|" +
                             GraphicFilter(JPEGImageClass);
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"対応形式 (*.bmp; *.jpg; *.jpeg)", "*.bmp;*.jpg;*.jpeg"},
      {"ビットマップ (*.bmp)", "*.bmp"},
      {"すべてのファイル (*.jpg;*.jpeg)", "*.jpg;*.jpeg"},
      {"JPEG イメージファイル (*.jpg)", "*.jpg"},
      {"JPEG イメージファイル (*.jpeg)", "*.jpeg"},
  };
  EXPECT_EQ(FilterEntries(filter), expected);
  EXPECT_EQ(GraphicFilter(BitmapClass) + "|すべてのファイル|*.*", "ビットマップ (*.bmp)|*.bmp|すべてのファイル|*.*");
  EXPECT_EQ(GraphicExtension(BitmapClass), "bmp");
  EXPECT_EQ(GraphicExtension(JPEGImageClass), "jpg");  // the later of its two registrations
}

TEST(PictureRegistry, DerivedClassesJoinTheirAncestorsFilterUntilUnregistered) {
  static constexpr TGraphicClass TiffClass{"TTiffImage", &BitmapClass};
  static constexpr TGraphicClass BigTiffClass{"TBigTiffImage", &TiffClass};
  TPicture::RegisterFileFormat("TIF", "TIFF", TiffClass);
  TPicture::RegisterFileFormat("Btf", "BigTIFF", BigTiffClass);
  EXPECT_EQ(GraphicFilter(BitmapClass),
            "すべてのファイル (*.btf;*.tif;*.bmp)|*.btf;*.tif;*.bmp|BigTIFF (*.btf)|*.btf|TIFF (*.tif)|*.tif|"
            "ビットマップ (*.bmp)|*.bmp");
  EXPECT_EQ(GraphicExtension(TiffClass), "tif");  // exact class only, in lower case
  EXPECT_EQ(GraphicFilter(BigTiffClass), "BigTIFF (*.btf)|*.btf");

  // Unregistering a class removes the classes derived from it too, and nothing else.
  TPicture::UnregisterGraphicClass(TiffClass);
  EXPECT_EQ(GraphicFilter(BitmapClass), "ビットマップ (*.bmp)|*.bmp");
  EXPECT_EQ(GraphicFilter(TiffClass), "");
  EXPECT_EQ(GraphicExtension(TiffClass), "");
}

// A clipboard that another program holds.
class LockedClipboard final : public TClipboard {
 public:
  void SetBitmap(const TBitmap&, const std::vector<TRGBQuad>&) override {
    throw EClipboardException(SCannotOpenClipboard);
  }
};

TEST(Clipboard, ReportsALockedClipboardWithItsMessage) {
  LockedClipboard clipboard;
  try {
    clipboard.Assign(TBitmap(2, 2, pf24bit));
    FAIL() << "no error";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "クリップボードを開くことができません");
  }
}

}  // namespace
