#pragma once
// The final rendering: five times the output size in each direction, shrunk back by area averaging,
// and a copy of it for the export and copy commands.
#include <functional>
#include <memory>

#include "render/reflection.h"
#include "scene/scene.h"
#include "toolkit/bitmap.h"

// Replaces OutputImage by the final rendering, calls `repaint` (the window shows it), and leaves the
// projection, viewport and screen matrices as they were for the output size. When the shrink gives
// no result it throws Exception(SFinalShrinkFailed); OutputImage and the matrices then stay as they
// were and `repaint` is not called.
void RenderFinal(TScene& scene, const TReflectionSliders& sliders, const TBitmap& SourceImage, TBitmap& OutputImage,
                 const std::function<void()>& repaint);

namespace render_detail {
// How RenderFinal brings the enlarged rendering back to the output size: the area average of the
// resampler in the program, a stand-in in the tests that need a shrink without result.
using TShrink = std::function<std::unique_ptr<TBitmap>(const TBitmap& enlarged, int Width, int Height)>;
void RenderFinalWith(const TShrink& shrink, TScene& scene, const TReflectionSliders& sliders,
                     const TBitmap& SourceImage, TBitmap& OutputImage, const std::function<void()>& repaint);
}  // namespace render_detail

// RenderFinal, then a new copy of OutputImage: pf32bit when WithAlpha, else pf24bit.
std::unique_ptr<TBitmap> TakeRendering(TScene& scene, const TReflectionSliders& sliders, const TBitmap& SourceImage,
                                       TBitmap& OutputImage, const std::function<void()>& repaint, bool WithAlpha);

