#include "picture/export.h"

#include "picture/bmp_file.h"
#include "picture/png/RFLPNG.h"
#include "toolkit/alpha_image.h"

void ExportBMP24(const TRenderingSource& takeRendering, const std::string& fileName) {
  const std::unique_ptr<TBitmap> rendering = takeRendering();
  WriteBitmapFile(*CompositeOverBlack(*rendering), fileName);
}

void ExportBMP32(const TRenderingSource& takeRendering, const std::string& fileName) {
  WriteBitmapFile(*takeRendering(), fileName);
}

void ExportPNG(const TRenderingSource& takeRendering, const std::string& fileName, TClipboard& clipboard) {
  const std::unique_ptr<TBitmap> rendering = takeRendering();
  // The picture keeps its transparency as a mask of 255 minus alpha; the encoder turns it back
  // into the file's alpha channel.
  const std::unique_ptr<TBitmap> mask = ExtractAlphaMask(*rendering, true);
  TRFLPNG png;
  png.AssignPicture(*rendering);
  png.UseAlpha = true;
  png.SetAlphaMask(*mask);
  png.SavePngToFile(fileName);
  clipboard.Assign(png);
}

void CopyToClipboard(const TRenderingSource& takeRendering, TClipboard& clipboard) {
  const std::unique_ptr<TBitmap> rendering = takeRendering();
  clipboard.Assign(*CompositeOverBlack(*rendering));
}
