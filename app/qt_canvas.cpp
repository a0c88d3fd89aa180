#include "app/qt_canvas.h"

#include <QColor>
#include <QPainter>
#include <cstring>

namespace {

QColor ToQColor(TColor colour) { return QColor(GetRValue(colour), GetGValue(colour), GetBValue(colour)); }

QRect ToQRect(const TRect& rect) { return QRect(rect.Left, rect.Top, rect.Width(), rect.Height()); }

}  // namespace

QImage ToQImage(const TBitmap& image) {
  if (image.Empty()) return QImage();
  const bool direct = image.PixelFormat() == pf24bit || image.PixelFormat() == pf32bit;
  const TBitmap converted = direct ? TBitmap() : ConvertTo32Bit(image);
  const TBitmap& source = direct ? image : converted;
  const bool is24 = source.PixelFormat() == pf24bit;
  QImage result(source.Width(), source.Height(), is24 ? QImage::Format_BGR888 : QImage::Format_RGB32);
  const std::size_t rowBytes = std::size_t(source.Width()) * (is24 ? 3 : 4);
  for (int y = 0; y < source.Height(); ++y) std::memcpy(result.scanLine(y), source.ScanLine(y), rowBytes);
  return result;
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
