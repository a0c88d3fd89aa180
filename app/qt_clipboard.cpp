#include "app/qt_clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <cstring>

QImage ClipboardImage(const TBitmap& bitmap, const std::vector<TRGBQuad>& palette) {
  const int width = bitmap.Width();
  const int height = bitmap.Height();
  auto copyRows = [&](const TBitmap& source, QImage::Format format, std::size_t rowBytes) {
    QImage image(width, height, format);
    for (int y = 0; y < height; ++y) std::memcpy(image.scanLine(y), source.ScanLine(y), rowBytes);
    return image;
  };
  switch (bitmap.PixelFormat()) {
    case pf24bit:
      return copyRows(bitmap, QImage::Format_BGR888, std::size_t(width) * 3);
    case pf32bit:
      return copyRows(bitmap, QImage::Format_ARGB32, std::size_t(width) * 4);
    case pf8bit: {
      QImage image = copyRows(bitmap, QImage::Format_Indexed8, std::size_t(width));
      QList<QRgb> table;
      for (const TRGBQuad& q : palette) table.append(qRgb(q.rgbRed, q.rgbGreen, q.rgbBlue));
      while (table.size() < 256) table.append(qRgb(0, 0, 0));  // indices beyond the table show black
      image.setColorTable(table);
      return image;
    }
    default:
      return copyRows(ConvertTo32Bit(bitmap), QImage::Format_RGB32, std::size_t(width) * 4);
  }
}

void TQtClipboard::SetBitmap(const TBitmap& bitmap, const std::vector<TRGBQuad>& palette) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (clipboard == nullptr) throw EClipboardException(SCannotOpenClipboard);
  clipboard->setImage(ClipboardImage(bitmap, palette));
}
