#include "app/qt_canvas.h"

#include <QColor>
#include <QPainter>
#include <cstring>

namespace {

QColor ToQColor(TColor colour) { return QColor(GetRValue(colour), GetGValue(colour), GetBValue(colour)); }

QRect ToQRect(const TRect& rect) { return QRect(rect.Left, rect.Top, rect.Width(), rect.Height()); }

}  // namespace

QImage RowsToQImage(const TBitmap& image, QImage::Format format) {
  QImage result(image.Width(), image.Height(), format);
  const std::size_t rowBytes = std::size_t(image.Width()) * std::size_t(result.depth()) / 8;
  for (int y = 0; y < image.Height(); ++y) std::memcpy(result.scanLine(y), image.ScanLine(y), rowBytes);
  return result;
}

QImage ToQImage(const TBitmap& image) {
  if (image.Empty()) return QImage();
  switch (image.PixelFormat()) {
    case pf24bit: return RowsToQImage(image, QImage::Format_BGR888);
    case pf32bit: return RowsToQImage(image, QImage::Format_RGB32);
    default: return RowsToQImage(ConvertTo32Bit(image), QImage::Format_RGB32);
  }
}

TQtCanvas::TQtCanvas(QPainter& painter) : painter_(painter) {}

void TQtCanvas::FillRect(const TRect& rect, TColor colour) { painter_.fillRect(ToQRect(rect), ToQColor(colour)); }

void TQtCanvas::Draw(int x, int y, const TBitmap& image) {
  if (!image.Empty()) painter_.drawImage(QPoint(x, y), ToQImage(image));
}

void TQtCanvas::StretchDraw(const TRect& rect, const TBitmap& image) {
  if (image.Empty() || rect.Width() <= 0 || rect.Height() <= 0) return;
  painter_.save();
  painter_.setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter_.drawImage(ToQRect(rect), ToQImage(image));
  painter_.restore();
}

void TQtCanvas::SetPixel(int x, int y, TColor colour) { painter_.fillRect(QRect(x, y, 1, 1), ToQColor(colour)); }
