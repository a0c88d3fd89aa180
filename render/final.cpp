#include "render/final.h"

#include <cstdint>
#include <limits>
#include <string>

#include "render/messages.h"
#include "render/supersample.h"
#include "resample/five_fold.h"
#include "resample/resize.h"
#include "toolkit/errors.h"

namespace {

// The final rendering casts FinalScale x FinalScale rays per output pixel.
constexpr int FinalScale = FiveFold;

// Puts the projection, viewport and screen matrices back as they were when it was made, also when
// the rendering between fails, so the scene always describes the output image the window shows.
class TViewMatrixKeeper {
 public:
  explicit TViewMatrixKeeper(TScene& scene)
      : scene_(scene),
        projection_(scene.ProjectionMatrix),
        viewport_(scene.ViewportMatrix),
        screen_(scene.ScreenMatrix) {}
  ~TViewMatrixKeeper() {
    scene_.ProjectionMatrix = projection_;
    scene_.ViewportMatrix = viewport_;
    scene_.ScreenMatrix = screen_;
  }
  TViewMatrixKeeper(const TViewMatrixKeeper&) = delete;
  TViewMatrixKeeper& operator=(const TViewMatrixKeeper&) = delete;

 private:
  TScene& scene_;
  const Matrix4 projection_, viewport_, screen_;
};

int Enlarged(int side) {
  if (std::int64_t(side) * FinalScale > std::numeric_limits<int>::max())
    throw EOutOfResources(std::string(SImageTooLarge) + " (" + std::to_string(side) + ")");
  return side * FinalScale;
}

// The plain path's frame: runs `finalPass`(target width, target height, W, H) with the scene's
// matrices set for the enlarged target of the W x H output, puts the W x H image it returns in
// OutputImage, and repaints. The matrices are put back whatever happens, and OutputImage keeps the
// preview until the result replaces it whole.
template <class TFinalPass>
void RenderEnlarged(TScene& scene, TBitmap& OutputImage, const std::function<void()>& repaint,
                    const TFinalPass& finalPass) {
  const int W = OutputImage.Width(), H = OutputImage.Height();
  {
    const TViewMatrixKeeper keeper(scene);
    const int targetWidth = Enlarged(W), targetHeight = Enlarged(H);
    UpdateProjection(scene, targetWidth, targetHeight);
    UpdateScreenMatrix(scene);
    OutputImage = finalPass(targetWidth, targetHeight, W, H);
  }
  if (repaint) repaint();
}

// The high-quality caster of the W x H output's enlarged target. The camera stays where it is for
// the output height, so the enlarged target shows the same view at five times the resolution. The
// caster keeps what it needs of the enlarged view, so the scene's matrices go back before it is
// returned, whatever happens.
std::unique_ptr<TReflectionCaster> EnlargedCaster(TScene& scene, const TReflectionSliders& sliders,
                                                  const TBitmap& SourceImage, int W, int H) {
  const TViewMatrixKeeper keeper(scene);
  const int targetWidth = Enlarged(W), targetHeight = Enlarged(H);
  UpdateProjection(scene, targetWidth, targetHeight);
  UpdateScreenMatrix(scene);
  // An empty target has no pixel to cast, as RenderReflection refuses an empty image.
  if (targetWidth == 0 || targetHeight == 0) throw EInvalidGraphic(SInvalidBitmap);
  return std::make_unique<TReflectionCaster>(scene, sliders, SourceImage, targetWidth, targetHeight,
                                             /*HighQuality=*/true);
}

}  // namespace

void RenderFinal(TScene& scene, const TReflectionSliders& sliders, const TBitmap& SourceImage, TBitmap& OutputImage,
                 const std::function<void()>& repaint) {
  const int W = OutputImage.Width(), H = OutputImage.Height();
  const std::unique_ptr<TReflectionCaster> caster = EnlargedCaster(scene, sliders, SourceImage, W, H);
  // Cast and averaged a few rows at a time on the worker pool, byte for byte what the plain path
  // below gives. Colour and alpha are averaged on their own: the high-quality reflection keeps its
  // colour unscaled, so the means stay straight-alpha. OutputImage keeps the preview until the
  // result replaces it whole, so a failure leaves the window's picture as it was.
  OutputImage = CastFiveFoldShrunk(*caster, W, H);
  if (repaint) repaint();
}

TFinalRendering::TFinalRendering(TScene& scene, const TReflectionSliders& sliders, const TBitmap& SourceImage, int W,
                                 int H)
    : caster_(EnlargedCaster(scene, sliders, SourceImage, W, H)),
      bands_(std::make_unique<TFiveFoldBands>(*caster_, W, H)) {}

void render_detail::RenderFinalWith(const TShrink& shrink, TScene& scene, const TReflectionSliders& sliders,
                                    const TBitmap& SourceImage, TBitmap& OutputImage,
                                    const std::function<void()>& repaint) {
  RenderEnlarged(scene, OutputImage, repaint, [&](int targetWidth, int targetHeight, int W, int H) {
    TBitmap target(targetWidth, targetHeight, pf32bit);
    RenderReflection(scene, sliders, SourceImage, target, /*HighQuality=*/true);
    // The average swallows its own failures (no result); keeping the preview then would pass it
    // off as the final rendering.
    std::unique_ptr<TBitmap> small = shrink(target, W, H);
    if (!small) throw Exception(SFinalShrinkFailed);
    return std::move(*small);
  });
}

std::unique_ptr<TBitmap> TakeRendering(TScene& scene, const TReflectionSliders& sliders, const TBitmap& SourceImage,
                                       TBitmap& OutputImage, const std::function<void()>& repaint, bool WithAlpha) {
  RenderFinal(scene, sliders, SourceImage, OutputImage, repaint);
  auto copy = std::make_unique<TBitmap>(OutputImage);
  if (!WithAlpha) copy->SetPixelFormat(pf24bit);  // drops alpha, keeps the colour bytes
  return copy;
}
