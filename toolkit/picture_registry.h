#pragma once
// TPicture: the registry of picture file formats. Each registration ties a file extension (kept in
// lower case) and a description to a picture class; open and save dialogs take their filters and
// default extensions from it. The platform's own formats are registered before anything else, in
// the order wmf, emf, ico, bmp, jpeg, jpg; picture units add theirs when they start (the PNG
// picture adds png) and remove them when they end.
#include <string>
#include <string_view>
#include <vector>

#include "toolkit/graphic.h"

struct TFileFormat {
  std::string Extension;  // lower case, without the dot
  std::string Description;
  const TGraphicClass* GraphicClass = nullptr;
};

class TPicture {
 public:
  // Adds a format at the end of the registration order. The extension is stored in lower case.
  static void RegisterFileFormat(std::string_view extension, std::string_view description,
                                 const TGraphicClass& graphicClass);
  // Removes every format whose class is `graphicClass` or derives from it.
  static void UnregisterGraphicClass(const TGraphicClass& graphicClass);
  // The registrations, first registered first.
  static std::vector<TFileFormat> FileFormats();
};

// The dialog filter of a picture class: "description (*.ext)|*.ext" for every format of the class
// or of a class derived from it, latest registration first, joined by "|". When several formats
// contribute, a summary entry "SAllFilter (*.a;*.b)|*.a;*.b" comes first. Empty when no format
// belongs to the class.
std::string GraphicFilter(const TGraphicClass& graphicClass);

// The default extension of a picture class (lower case, no dot): that of its latest registration,
// or empty when it has none.
std::string GraphicExtension(const TGraphicClass& graphicClass);
