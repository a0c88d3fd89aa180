#include "render/final.h"

#include <cstdint>
#include <limits>
#include <string>

#include "render/messages.h"
#include "resample/resize.h"
#include "toolkit/errors.h"

namespace {

// The final rendering casts FinalScale x FinalScale rays per output pixel.
constexpr int FinalScale = 5;

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

std::unique_ptr<TBitmap> ShrinkByAverage(const TBitmap& enlarged, int Width, int Height) {
  return ResizeBitmap(enlarged, Width, Height, rmAverage);
}

}  // namespace

void RenderFinal(TScene& scene, const TReflectionSliders& sliders, const TBitmap& SourceImage, TBitmap& OutputImage,
                 const std::function<void()>& repaint) {
  render_detail::RenderFinalWith(ShrinkByAverage, scene, sliders, SourceImage, OutputImage, repaint);
}

void render_detail::RenderFinalWith(const TShrink& shrink, TScene& scene, const TReflectionSliders& sliders,
                                    const TBitmap& SourceImage, TBitmap& OutputImage,
                                    const std::function<void()>& repaint) {
  const int W = OutputImage.Width(), H = OutputImage.Height();
  {
    const TViewMatrixKeeper keeper(scene);
    // The camera stays where it is for the output height, so the enlarged target shows the same
    // view at five times the resolution. OutputImage keeps the preview until the shrunk result
    // replaces it whole, so a failure leaves the window's picture as it was.
    TBitmap target(Enlarged(W), Enlarged(H), pf32bit);
    UpdateProjection(scene, target.Width(), target.Height());
    UpdateScreenMatrix(scene);
    RenderReflection(scene, sliders, SourceImage, target, /*HighQuality=*/true);
    // Colour and alpha are averaged on their own: the high-quality reflection keeps its colour
    // unscaled, so the means stay straight-alpha. The average swallows its own failures (no
    // result); keeping the preview then would pass it off as the final rendering.
    std::unique_ptr<TBitmap> small = shrink(target, W, H);
    if (!small) throw Exception(SFinalShrinkFailed);
    OutputImage = std::move(*small);
  }
  if (repaint) repaint();
}

std::unique_ptr<TBitmap> TakeRendering(TScene& scene, const TReflectionSliders& sliders, const TBitmap& SourceImage,
                                       TBitmap& OutputImage, const std::function<void()>& repaint, bool WithAlpha) {
  RenderFinal(scene, sliders, SourceImage, OutputImage, repaint);
  auto copy = std::make_unique<TBitmap>(OutputImage);
  if (!WithAlpha) copy->SetPixelFormat(pf24bit);  // drops alpha, keeps the colour bytes
  return copy;
}
