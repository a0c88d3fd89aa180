#pragma once
// TQtCanvas: the drawing operations of TCanvas on a QPainter, so that the window paints images with
// the same compositing code that fills export images.
#include <QImage>

#include "toolkit/canvas.h"

class QPainter;

class TQtCanvas final : public TCanvas {
 public:
  explicit TQtCanvas(QPainter& painter);
  void FillRect(const TRect& rect, TColor colour) override;
  void Draw(int x, int y, const TBitmap& image) override;
  void StretchDraw(const TRect& rect, const TBitmap& image) override;
  void SetPixel(int x, int y, TColor colour) override;

 private:
  QPainter& painter_;
};

// A new QImage of the image's size holding its rows byte for byte; `format` must store pixels of
// the image's own depth.
QImage RowsToQImage(const TBitmap& image, QImage::Format format);

// The colour bytes of an image as an opaque QImage of the same size (the fourth byte of a 32-bit
// image is not drawn).
QImage ToQImage(const TBitmap& image);
