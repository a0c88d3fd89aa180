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
  // into the file's alpha channel. It takes the rendering and the mask themselves, not copies.
  TRFLPNG png;
  png.SetAlphaMask(std::move(*ExtractAlphaMask(*rendering, true)));
  png.AssignPicture(std::move(*rendering));
  png.UseAlpha = true;
  png.SavePngToFile(fileName);
  // What the picture puts on the clipboard is its image with the image's colour table: handed
  // over as it is, not through a copy.
  clipboard.Assign(png.HeldImage());
}

void CopyToClipboard(const TRenderingSource& takeRendering, TClipboard& clipboard) {
  const std::unique_ptr<TBitmap> rendering = takeRendering();
  clipboard.Assign(*CompositeOverBlack(*rendering));
}
