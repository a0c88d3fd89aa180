#include "toolkit/picture_registry.h"

#include <algorithm>

#include "toolkit/strings.h"

namespace {

// The registry lives as long as the program; the platform's formats come first, so that formats
// registered later (also from other units' start-up code) always follow them.
std::vector<TFileFormat>& Registry() {
  static std::vector<TFileFormat> formats{
      {"wmf", SVMetafiles, &MetafileClass},    {"emf", SVEnhMetafiles, &MetafileClass},
      {"ico", SVIcons, &IconClass},            {"bmp", SVBitmaps, &BitmapClass},
      {"jpeg", SJPEGImageFile, &JPEGImageClass}, {"jpg", SJPEGImageFile, &JPEGImageClass},
  };
  return formats;
}

}  // namespace

void TPicture::RegisterFileFormat(std::string_view extension, std::string_view description,
                                  const TGraphicClass& graphicClass) {
  Registry().push_back({LowerAscii(extension), std::string(description), &graphicClass});
}

void TPicture::UnregisterGraphicClass(const TGraphicClass& graphicClass) {
  auto& formats = Registry();
  std::erase_if(formats, [&](const TFileFormat& f) { return InheritsFrom(*f.GraphicClass, graphicClass); });
}

std::vector<TFileFormat> TPicture::FileFormats() { return Registry(); }

std::string GraphicFilter(const TGraphicClass& graphicClass) {
  std::string entries;
  std::string patterns;
  int count = 0;
  const auto& formats = Registry();
  for (auto f = formats.rbegin(); f != formats.rend(); ++f) {
    if (!InheritsFrom(*f->GraphicClass, graphicClass)) continue;
    if (count > 0) {
      entries += '|';
      patterns += ';';
    }
    entries += f->Description + " (*." + f->Extension + ")|*." + f->Extension;
    patterns += "*." + f->Extension;
    ++count;
  }
  if (count > 1) return std::string(SAllFilter) + " (" + patterns + ")|" + patterns + "|" + entries;
  return entries;
}

std::string GraphicExtension(const TGraphicClass& graphicClass) {
  const auto& formats = Registry();
  for (auto f = formats.rbegin(); f != formats.rend(); ++f)
    if (f->GraphicClass == &graphicClass) return f->Extension;
  return {};
}
