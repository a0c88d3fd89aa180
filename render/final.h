#pragma once
// The final rendering (five times the output size in each direction, shrunk back by area
// averaging) and the image operations around it: a copy of it, its alpha mask, and compositing a
// 32-bit image over a solid colour.
#include <functional>
#include <memory>

#include "render/reflection.h"
#include "scene/scene.h"
#include "toolkit/bitmap.h"
#include "toolkit/canvas.h"

// Replaces OutputImage by the final rendering, calls `repaint` (the window shows it), and leaves the
// projection, viewport and screen matrices as they were for the output size.
void RenderFinal(TScene& scene, const TReflectionSliders& sliders, const TBitmap& SourceImage, TBitmap& OutputImage,
                 const std::function<void()>& repaint);

// RenderFinal, then a new copy of OutputImage: pf32bit when WithAlpha, else pf24bit.
std::unique_ptr<TBitmap> TakeRendering(TScene& scene, const TReflectionSliders& sliders, const TBitmap& SourceImage,
                                       TBitmap& OutputImage, const std::function<void()>& repaint, bool WithAlpha);

// A new pf8bit image of the alpha bytes of a pf32bit image (255 minus alpha when Invert).
std::unique_ptr<TBitmap> ExtractAlphaMask(const TBitmap& Image, bool Invert);

// Blends the pf32bit Image over Colour into a new 24-bit image and draws it on Canvas at (X, Y).
void CompositeOnColor(TCanvas& Canvas, int X, int Y, const TBitmap& Image, TColor Colour);
