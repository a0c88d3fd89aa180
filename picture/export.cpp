#include "picture/export.h"

#include "picture/bmp_file.h"
#include "picture/png/RFLPNG.h"
#include "toolkit/alpha_image.h"

std::unique_ptr<TRFLPNG> RenderingPNG(const TBitmap& rendering, TUtcClock clock) {
  // The picture keeps its transparency as a mask of 255 minus alpha; the encoder turns it back
  // into the file's alpha channel.
  const std::unique_ptr<TBitmap> mask = ExtractAlphaMask(rendering, true);
  auto png = std::make_unique<TRFLPNG>(std::move(clock));
  png->AssignPicture(rendering);
  png->UseAlpha = true;
  png->SetAlphaMask(*mask);
  return png;
}

void WriteRendering(const TBitmap& rendering, TExportFormat format, TStream& stream, const TUtcClock& clock) {
  switch (format) {
    case TExportFormat::BMP24: return WriteBitmapFile(*CompositeOverBlack(rendering), stream);
    case TExportFormat::BMP32: return WriteBitmapFile(rendering, stream);
    case TExportFormat::PNG: return RenderingPNG(rendering, clock)->SavePngToStream(stream);
  }
}

void SaveRendering(const TBitmap& rendering, TExportFormat format, const std::string& fileName,
                   const TUtcClock& clock, TExistingFile existing) {
  WriteFileSafely(fileName, [&](TStream& stream) { WriteRendering(rendering, format, stream, clock); }, existing);
}

void ExportBMP24(const TRenderingSource& takeRendering, const std::string& fileName) {
  SaveRendering(*takeRendering(), TExportFormat::BMP24, fileName);
}

void ExportBMP32(const TRenderingSource& takeRendering, const std::string& fileName) {
  SaveRendering(*takeRendering(), TExportFormat::BMP32, fileName);
}

void ExportPNG(const TRenderingSource& takeRendering, const std::string& fileName, TClipboard& clipboard) {
  const std::unique_ptr<TBitmap> rendering = takeRendering();
  const std::unique_ptr<TRFLPNG> png = RenderingPNG(*rendering);
  png->SavePngToFile(fileName);
  clipboard.Assign(*png);
}

void CopyToClipboard(const TRenderingSource& takeRendering, TClipboard& clipboard) {
  const std::unique_ptr<TBitmap> rendering = takeRendering();
  clipboard.Assign(*CompositeOverBlack(*rendering));
}
