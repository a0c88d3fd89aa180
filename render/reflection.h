#pragma once
// The ray-cast renderer: the picture standing on the floor line and its mirrored, fading
// reflection, cast one ray per output pixel into a 32-bit image with straight alpha.
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
