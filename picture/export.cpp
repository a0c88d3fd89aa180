#include "picture/export.h"

#include "picture/bmp_file.h"
#include "picture/png/RFLPNG.h"
#include "picture/png/RFLPNGStream.h"
#include "toolkit/alpha_image.h"

std::unique_ptr<TRFLPNG> RenderingPNG(TBitmap rendering, TUtcClock clock) {
  // The picture keeps its transparency as a mask of 255 minus alpha; the encoder turns it back
  // into the file's alpha channel. It takes the rendering and the mask themselves, not copies.
  auto png = std::make_unique<TRFLPNG>(std::move(clock));
  png->SetAlphaMask(std::move(*ExtractAlphaMask(rendering, true)));
  png->AssignPicture(std::move(rendering));
  png->UseAlpha = true;
  return png;
}

void WriteRendering(const TBitmap& rendering, TExportFormat format, TStream& stream, const TUtcClock& clock) {
  switch (format) {
    case TExportFormat::BMP24: return WriteBitmapFile(*CompositeOverBlack(rendering), stream);
    case TExportFormat::BMP32: return WriteBitmapFile(rendering, stream);
    case TExportFormat::PNG: return RenderingPNG(rendering, clock)->SavePngToStream(stream);
  }
}

void WriteRenderingPNGAsRowsArrive(const TBitmap& rendering, const std::function<void(int row)>& awaitRow,
                                   TStream& stream, const TUtcClock& clock) {
  // RenderingPNG's picture writes its image with its settings and its clock and offers its mask;
  // here the mask's rows are taken from the rendering's as they become final.
  const TRFLPNG picture(clock);
  TBitmap mask(rendering.Width(), rendering.Height(), pf8bit);
  TRFLPNGWriteStream encoder;
  encoder.Settings = picture.Settings;
  encoder.Clock = clock ? clock : TUtcClock(CurrentUtcTime);
  encoder.BeforeRow = [&](int y) {
    awaitRow(y);
    const std::uint8_t* in = rendering.ScanLine(y);
    std::uint8_t* out = mask.ScanLine(y);
    for (int x = 0; x < rendering.Width(); ++x) out[x] = std::uint8_t(255 - in[4 * x + 3]);
  };
  encoder.WriteImage(rendering, mask, stream);
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
  const std::unique_ptr<TRFLPNG> png = RenderingPNG(std::move(*takeRendering()));
  png->SavePngToFile(fileName);
  // What the picture puts on the clipboard is its image with the image's colour table: handed
  // over as it is, not through a copy.
  clipboard.Assign(png->HeldImage());
}

void CopyToClipboard(const TRenderingSource& takeRendering, TClipboard& clipboard) {
  const std::unique_ptr<TBitmap> rendering = takeRendering();
  clipboard.Assign(*CompositeOverBlack(*rendering));
}
