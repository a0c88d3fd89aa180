#pragma once
// The ray-cast renderer: the picture standing on the floor line and its mirrored, fading
// reflection, cast one ray per output pixel into a 32-bit image with straight alpha.
#include <cstdint>

#include "render/supersample.h"
#include "scene/scene.h"
#include "toolkit/bitmap.h"
#include "toolkit/graphics_types.h"

// The reflection sliders the renderer reads (positions and maxima).
struct TReflectionSliders {
  int OpacityPosition = 8;  // trcOpacity
  int OpacityMax = 10;
  int LengthPosition = 7;   // trcLength
  int LengthMax = 10;
};

// What RenderReflection works out once per render for a scene, its sliders, the picture and the
// target size: the inverted matrices, the camera in the picture's and in the reflection's space, the
// box of pixels that rays are cast for, and the reflection's fade. Each row of the box can then be
// cast on its own, in any order and on any thread at once, and comes out exactly as RenderReflection
// casts it into a cleared image. SourceImage must outlive the caster and stay unchanged.
class TReflectionCaster final : public TRowCaster {
 public:
  // Throws, as RenderReflection does, for a picture that is empty or not pf32bit, for a zero slider
  // maximum, and for matrices that cannot be inverted; width and height are the target's (> 0).
  TReflectionCaster(const TScene& scene, const TReflectionSliders& sliders, const TBitmap& SourceImage, int width,
                    int height, bool HighQuality);

  // Pixels that no ray hits are left as they are.
  void CastRow(int y, std::uint8_t* pixels, int column) const override;

  // The reflection's opacity where a ray hits it at height h of its own plane (0 at its near edge):
  // the blend weight of its sample.
  float Opacity(float h) const;

 private:
  // Opacity, inlined into the renderer's loop.
  inline float Fade(float h) const;

  const TBitmap& source_;
  TReflectionSliders sliders_;
  bool gradient_;
  bool highQuality_;
  float slope_;
  bool smallPosition_;  // the opacity position times a single is exact in a double
  float uniformOpacity_;  // the weight of every reflection pixel without the gradient
  Matrix4 screenToPicture_, screenToReflection_;
  // The rays from the camera, in the picture's space and in the reflection's, to their planes.
  TRaysFromPoint fromCamera_, fromMirroredCamera_;
};

// Renders the scene into OutputImage (pf32bit, any size the scene's ScreenMatrix is current for).
// Every pixel is rewritten. HighQuality keeps the reflection's colour unscaled and puts its opacity
// in alpha only (the final rendering); the preview blends all four channels onto transparent black.
void RenderReflection(const TScene& scene, const TReflectionSliders& sliders, const TBitmap& SourceImage,
                      TBitmap& OutputImage, bool HighQuality);

// The SourceImage pixel nearest to the point (x, y) of the picture's unit rectangle; alpha 0 for a
// point outside it (the colour of the nearest edge pixel is kept).
TBGRA SampleSource(const TBitmap& SourceImage, float x, float y);

// Blends b over a with weight w (0 gives a, 1 gives b).
TBGRA BlendPixel(TBGRA a, TBGRA b, bool HighQuality, float w);
