#include "toolkit/clipboard.h"

void TClipboard::Assign(const TGraphic& picture) {
  std::uint16_t format = CF_BITMAP;
  TBitmap data;
  std::vector<TRGBQuad> palette;
  picture.ExportClipboardData(format, data, palette);
  SetBitmap(data, palette);
}
