#include "resample/sampling.h"

TRowTable MakeRowTable(const TBitmap& image) {
  TRowTable rows(static_cast<std::size_t>(image.Height()));
  for (int y = 0; y < image.Height(); ++y) rows[std::size_t(y)] = image.ScanLine(y);
  return rows;
}

std::unique_ptr<TBitmap> MakeResizeTarget(TPixelFormat format, int Width, int Height) {
  auto image = std::make_unique<TBitmap>();
  image->SetPixelFormat(format);
  image->SetWidth(Width);
  image->SetHeight(Height);
  return image;
}
