#pragma once
// The final rendering: five times the output size in each direction, shrunk back by area averaging,
// and a copy of it for the export and copy commands.
#include <functional>
#include <memory>

#include "render/reflection.h"
#include "render/supersample.h"
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

// RenderFinal's image, byte for byte, made band by band for a consumer that takes its rows in order
// while later bands are still being cast (the batch writing a PNG file): run CastBands on the
// worker pool's other thread while the consumer calls AwaitRow before it reads each row; on one
// thread, AwaitRow alone casts every band in turn. The scene's matrices are as they were once the
// constructor returns; it raises what RenderFinal raises before casting. SourceImage must outlive
// it.
class TFinalRendering {
 public:
  TFinalRendering(TScene& scene, const TReflectionSliders& sliders, const TBitmap& SourceImage, int W, int H);
  const TBitmap& Image() const { return bands_->Image(); }
  void CastBands() { bands_->CastBands(); }
  void AwaitRow(int y) { bands_->AwaitRow(y); }

 private:
  std::unique_ptr<TReflectionCaster> caster_;
  std::unique_ptr<TFiveFoldBands> bands_;
};

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

