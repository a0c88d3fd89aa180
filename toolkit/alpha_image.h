#pragma once
// Pixel operations on 32-bit images whose fourth byte is straight alpha: taking the alpha out as a
// mask, and blending the image over a solid colour. Both refuse any other pixel format.
#include <memory>

#include "toolkit/bitmap.h"
#include "toolkit/canvas.h"

// A new pf8bit image of the alpha bytes of a pf32bit image (255 minus alpha when Invert).
std::unique_ptr<TBitmap> ExtractAlphaMask(const TBitmap& Image, bool Invert);

// The pf32bit Image blended over Colour: a new 24-bit image of the same size.
TBitmap BlendOnColor(const TBitmap& Image, TColor Colour);

// Blends the pf32bit Image over Colour into a new 24-bit image and draws it on Canvas at (X, Y).
void CompositeOnColor(TCanvas& Canvas, int X, int Y, const TBitmap& Image, TColor Colour);

// The pf32bit rendering blended over black into a new 24-bit image of the same size.
std::unique_ptr<TBitmap> CompositeOverBlack(const TBitmap& rendering);
