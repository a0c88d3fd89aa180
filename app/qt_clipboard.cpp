#include "app/qt_clipboard.h"

#include <QClipboard>
#include <QGuiApplication>

#include "app/qt_canvas.h"

QImage ClipboardImage(const TBitmap& bitmap, const std::vector<TRGBQuad>& palette) {
  switch (bitmap.PixelFormat()) {
    case pf24bit:
      return RowsToQImage(bitmap, QImage::Format_BGR888);
    case pf32bit:
      return RowsToQImage(bitmap, QImage::Format_ARGB32);
    case pf8bit: {
      QImage image = RowsToQImage(bitmap, QImage::Format_Indexed8);
      QList<QRgb> table;
      for (const TRGBQuad& q : palette) table.append(qRgb(q.rgbRed, q.rgbGreen, q.rgbBlue));
      while (table.size() < 256) table.append(qRgb(0, 0, 0));  // indices beyond the table show black
      image.setColorTable(table);
      return image;
    }
    default:
      return RowsToQImage(ConvertTo32Bit(bitmap), QImage::Format_RGB32);
  }
}

void TQtClipboard::SetBitmap(const TBitmap& bitmap, const std::vector<TRGBQuad>& palette) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (clipboard == nullptr) throw EClipboardException(SCannotOpenClipboard);
  clipboard->setImage(ClipboardImage(bitmap, palette));
}
