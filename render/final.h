#pragma once
// The final rendering: five times the output size in each direction, shrunk back by area averaging,
// and a copy of it for the export and copy commands.
#include <functional>
#include <memory>

#include "render/reflection.h"
#include "scene/scene.h"
#include "toolkit/bitmap.h"

// Replaces OutputImage by the final rendering, calls `repaint` (the window shows it), and leaves the
// projection, viewport and screen matrices as they were for the output size.
void RenderFinal(TScene& scene, const TReflectionSliders& sliders, const TBitmap& SourceImage, TBitmap& OutputImage,
                 const std::function<void()>& repaint);

// RenderFinal, then a new copy of OutputImage: pf32bit when WithAlpha, else pf24bit.
std::unique_ptr<TBitmap> TakeRendering(TScene& scene, const TReflectionSliders& sliders, const TBitmap& SourceImage,
                                       TBitmap& OutputImage, const std::function<void()>& repaint, bool WithAlpha);

