#pragma once
// The final rendering: five times the output size in each direction, shrunk back by area averaging,
// and a copy of it for the export and copy commands.
#include <functional>
#include <memory>

#include "render/reflection.h"
#include "scene/scene.h"
#include "toolkit/bitmap.h"

// Replaces OutputImage by the final rendering, calls `repaint` (the window shows it), and leaves the
// projection, viewport and screen matrices as they were for the output size. The enlarged image is
// never made whole: it is cast and averaged a few rows at a time, in bands shared out over the
// shared worker pool, and the call returns when every band is done. A failure in any band stops
// the work and is raised once; OutputImage and the matrices then stay as they were and `repaint`
// is not called.
void RenderFinal(TScene& scene, const TReflectionSliders& sliders, const TBitmap& SourceImage, TBitmap& OutputImage,
                 const std::function<void()>& repaint);

namespace render_detail {
// The plain path whose bytes RenderFinal's banded one gives: the whole enlarged image rendered by
// RenderReflection, then brought back to the output size by `shrink` (ResizeBitmap in rmAverage,
// or a stand-in in the tests that need a shrink without result). A shrink without result throws
// Exception(SFinalShrinkFailed), keeping OutputImage and the matrices and not repainting.
using TShrink = std::function<std::unique_ptr<TBitmap>(const TBitmap& enlarged, int Width, int Height)>;
void RenderFinalWith(const TShrink& shrink, TScene& scene, const TReflectionSliders& sliders,
                     const TBitmap& SourceImage, TBitmap& OutputImage, const std::function<void()>& repaint);
}  // namespace render_detail

// RenderFinal, then a new copy of OutputImage: pf32bit when WithAlpha, else pf24bit.
std::unique_ptr<TBitmap> TakeRendering(TScene& scene, const TReflectionSliders& sliders, const TBitmap& SourceImage,
                                       TBitmap& OutputImage, const std::function<void()>& repaint, bool WithAlpha);

