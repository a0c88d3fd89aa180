#include "resample/resize.h"

#include "resample/sampling.h"
#include "toolkit/canvas.h"

std::unique_ptr<TBitmap> ResizeBitmap(const TBitmap& Source, int Width, int Height, TResizeMode Mode) {
  return ResizeBitmapWithProgress(Source, Width, Height, Mode, MakeResizeProgressInfo(nullptr, "", nullptr));
}

std::unique_ptr<TBitmap> ResizeBitmapWithProgress(const TBitmap& Source, int Width, int Height, TResizeMode Mode,
                                                  const ResizeProgressInfo& Info) {
  // An unchanged size is a plain copy, whatever the mode or the format.
  if (Width == Source.Width() && Height == Source.Height()) return std::make_unique<TBitmap>(Source);

  if (Mode == rmAuto) {
    // Averaging only when no side grows; any growth is better served by interpolation.
    if (Width > Source.Width()) Mode = rmBilinear;
    else if (Source.Height() >= Height) Mode = rmAverage;
    else Mode = rmBilinear;
  }
  // Which errors reach the caller differs by mode, on purpose; each catch sits in its mode.
  switch (Mode) {
    case rmStretch: return ResizeStretch(Source, Width, Height);          // any error: no result
    case rmNearest: return ResizeNearest(Source, Width, Height, Info);    // every error passes
    case rmBilinear: return ResizeBilinear(Source, Width, Height, Info);  // every error passes
    case rmAverage: return ResizeAverage(Source, Width, Height, Info);    // an error while computing: no result
    default: return nullptr;
  }
}

std::unique_ptr<TBitmap> ResizeStretch(const TBitmap& Source, int Width, int Height) {
  try {
    auto result = std::make_unique<TBitmap>();
    // The same depth, colour table and masks as the source, so that indexed and packed pixels keep
    // their meaning when they are copied across.
    result->Create(Width, Height, Source.PixelFormat(), /*topDown=*/false,
                   Source.PixelFormat() == pfCustom ? Source.BitCount() : 0);
    result->Palette() = Source.Palette();
    result->SetMasks(Source.RedMask(), Source.GreenMask(), Source.BlueMask());
    TBitmapCanvas(*result).StretchDraw(TRect{0, 0, Width, Height}, Source);
    return result;
  } catch (...) {
    // The stretch catches every error of its fill: the caller sees only "no result".
    return nullptr;
  }
}
