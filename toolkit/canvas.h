#pragma once
// TCanvas: the drawing surface that images are composited onto. The window paints through a Qt
// implementation; TBitmapCanvas draws into a TBitmap so that the same compositing code fills a
// 24-bit image for export or the clipboard.
#include "toolkit/bitmap.h"
#include "toolkit/graphics_types.h"

class TCanvas {
 public:
  virtual ~TCanvas() = default;
  // Fills the rectangle (clipped to the surface) with a solid colour.
  virtual void FillRect(const TRect& rect, TColor colour) = 0;
  // Draws `image` with its top-left pixel at (x, y), clipped to the surface. Colour bytes are
  // copied; a 32-bit image drawn onto a 32-bit image keeps its fourth bytes, other pairs give 0.
  virtual void Draw(int x, int y, const TBitmap& image) = 0;
  // Stretches the whole of `image` over `rect` by repeating or skipping pixels (no smoothing).
  virtual void StretchDraw(const TRect& rect, const TBitmap& image) = 0;
  // Sets one pixel; outside the surface nothing happens.
  virtual void SetPixel(int x, int y, TColor colour) = 0;
  // Draws the one-pixel outline of the rectangle (right and bottom edges exclusive) as four fills.
  void FrameRect(const TRect& rect, TColor colour);
};

// A canvas over a 24-bit, 32-bit or device-format image.
class TBitmapCanvas final : public TCanvas {
 public:
  explicit TBitmapCanvas(TBitmap& target);
  void FillRect(const TRect& rect, TColor colour) override;
  void Draw(int x, int y, const TBitmap& image) override;
  void StretchDraw(const TRect& rect, const TBitmap& image) override;
  void SetPixel(int x, int y, TColor colour) override;

 private:
  TBitmap& target_;
};
