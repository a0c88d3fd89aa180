#include "render/reflection.h"

#include <algorithm>
#include <cstdint>
#include <cmath>
#include <cstring>
#include <limits>

#include "numeric/extended.h"
#include "toolkit/compat.h"
#include "toolkit/errors.h"

namespace {

// Hits are accepted 0.1 unit beyond the picture's rectangle on the left, right and far sides (and
// not below the floor line); SampleSource gives that band alpha 0 with the colour of the nearest
// edge pixel, so anti-aliasing of the final rendering fades into the edge colour, not into black.
// The bounds are doubles: 0.6f and 1.1f lie a hair beyond 0.6 and 1.1 and would let in the one
// single-precision hit on each side that lies past the band. No float lies between a bound and its
// double, so these comparisons are exact.
bool InsideHitBand(const Vector3& hit) {
  return hit.x >= -0.6 && hit.x <= 0.6 && hit.y >= 0.0 && hit.y <= 1.1;  // false for NaN
}

// 1.5 x 2^(p-1) for a p-bit mantissa: any value of magnitude below 2^(p-2) added to it keeps no
// fraction bits.
constexpr Extended RoundingMagic() {
  Extended magic = 1.5;
  for (int i = 1; i < ExtendedDigits; ++i) magic *= 2;
  return magic;
}

// Rounds to the nearest integer, halves to even: the addition rounds under the default rounding
// mode and the subtraction is exact. (nearbyintl saves and restores the floating-point environment
// on every call and would dominate the renderer's time.)
Extended RoundHalfEven(Extended value) {
  constexpr Extended magic = RoundingMagic();
  return (value + magic) - magic;
}

// The nearest integer to `value` clamped into 0..max; NaN counts as 0.
int RoundIndex(Extended value, int max) {
  if (!(value >= 0)) return 0;
  if (value > max) return max;  // also keeps the rounding step in range
  // The rounded value is a whole number that a double holds exactly; converting through it spares
  // the switch of the x87 rounding mode that a direct truncation of an x87 long double costs.
  return int(double(RoundHalfEven(value)));
}

// floor / ceiling of a box bound, clamped into -1..limit + 1 before it becomes an integer so that a
// corner thrown far off the output (or NaN) cannot overflow the conversion. NaN takes `fallback`.
int BoxBound(float value, int limit, int fallback) {
  if (std::isnan(value)) return fallback;
  return int(std::clamp(value, -1.0f, float(limit) + 1));
}

// The renderer reads and writes four bytes a pixel; anything else would be read out of bounds.
void RequireImage(const TBitmap& image) {
  if (image.PixelFormat() != pf32bit || image.Empty()) throw EInvalidGraphic(SInvalidBitmap);
}

TBGRA LoadPixel(const std::uint8_t* row, int x) {
  TBGRA pixel;
  std::memcpy(&pixel, row + std::ptrdiff_t(x) * 4, 4);
  return pixel;
}

void StorePixel(std::uint8_t* row, int x, TBGRA pixel) { std::memcpy(row + std::ptrdiff_t(x) * 4, &pixel, 4); }

std::uint8_t RoundChannel(Extended value) { return std::uint8_t(RoundIndex(value, 255)); }

// RoundIndex of a value that the extended path forms from singles and integers with one rounding
// (a sum of two exact terms), here formed with one rounding in a double: `value`. Rounding is
// monotonic and every whole and half number in range is a double, so the double and the extended
// sum lie on the same side of each of them, and give the same index, unless the double lands on a
// half exactly; then `extended` forms the extended sum.
template <class TExtended>
int RoundIndexOfDouble(double value, int max, const TExtended& extended) {
  if (!(value >= 0)) return 0;
  if (value > max) return max;
  constexpr double magic = 6755399441055744.0;  // 1.5 x 2^52: rounds to whole numbers, halves to even
  const double rounded = (value + magic) - magic;
  if (std::fabs(value - rounded) == 0.5) {
    ++ExtendedSteps().roundings;
    return RoundIndex(extended(), max);
  }
  return int(rounded);
}

// SampleSource for one image, with the row addressing worked out once per render.
class SourceSampler {
 public:
  explicit SourceSampler(const TBitmap& image)
      : ws_(image.Width()), hs_(image.Height()), top_(image.ScanLine(0)),
        rowStep_(hs_ > 1 ? image.ScanLine(1) - top_ : 0) {}

  TBGRA operator()(float x, float y) const {
    const bool outside = !(x >= -0.5f && x <= 0.5f && y >= 0.0f && y <= 1.0f);
    // The unit width spans ws pixels (x = 0.5 lands on column ws, clamped back to the last one);
    // the unit height spans hs - 1 rows, so the floor line is the bottom row and y = 1 the top row.
    // A single times a picture's side is exact in a double (bitmaps are far below 2^29 pixels a side).
    const int column = RoundIndexOfDouble(double(ws_) / 2 + double(x) * ws_, ws_ - 1,
                                          [&] { return Extended(ws_) / 2 + Extended(x) * ws_; });
    const int row = RoundIndexOfDouble(double(hs_ - 1) - double(y) * (hs_ - 1), hs_ - 1,
                                       [&] { return (Extended(hs_) - 1) - Extended(y) * (hs_ - 1); });
    TBGRA pixel = LoadPixel(top_ + row * rowStep_, column);
    if (outside) pixel.Alpha = 0;
    return pixel;
  }

 private:
  int ws_, hs_;
  const std::uint8_t* top_;  // row 0, the top row of the picture
  std::ptrdiff_t rowStep_;   // from one row to the next one down: negative when stored bottom-up
};

// True when the single nearest to `value`, a double one rounding away from an exact result, is
// also the single nearest to that result's extended rounding: `value` lies more than two units in
// its last place from every point halfway between two singles (so the exact result, and its
// extended rounding, lie on its side of that point), and it is 0 or in the range of normal singles.
inline bool SameSingleAsExtended(double value) {
  const std::uint64_t bits = compat::bit_cast<std::uint64_t>(value);
  const int exponent = int((bits >> 52) & 0x7ff);
  const std::uint32_t dropped = std::uint32_t(bits & 0x1fffffff);  // the bits a single lets go
  if (value == 0) return true;
  return exponent >= 1023 - 126 && exponent <= 1023 + 127 && dropped - (0x10000000u - 2) > 4;
}

// BlendPixel, inlined into the renderer's loop, which blends every reflection pixel.
[[gnu::always_inline]] inline TBGRA Blend(TBGRA a, TBGRA b, bool HighQuality, float w) {
  if (w == 0) return a;
  if (w == 1) return b;
  // Formed only where a channel needs the extended mix: most blends never do.
  auto extendedMix = [&](std::uint8_t ca, std::uint8_t cb) { return (1 - Extended(w)) * ca + Extended(w) * cb; };
  // For w from 2^-29 to 2^30 in magnitude, 1 - w and its products with a channel are exact in
  // extended, so the extended mix is one rounding of the exact v ca + w cb; ca + w (cb - ca) is the
  // same exact value with one rounding in a double (w times a channel difference is exact).
  const bool viaDouble = std::fabs(w) >= 0x1p-29f && std::fabs(w) <= 0x1p30f;
  auto mix = [&](std::uint8_t ca, std::uint8_t cb) {
    if (!viaDouble) {
      ++ExtendedSteps().roundings;
      return RoundChannel(extendedMix(ca, cb));
    }
    return std::uint8_t(RoundIndexOfDouble(double(ca) + double(w) * (int(cb) - int(ca)), 255,
                                           [&] { return extendedMix(ca, cb); }));
  };
  TBGRA result = b;
  if (!HighQuality) {
    result.Blue = mix(a.Blue, b.Blue);
    result.Green = mix(a.Green, b.Green);
    result.Red = mix(a.Red, b.Red);
  }
  result.Alpha = mix(a.Alpha, b.Alpha);
  return result;
}

}  // namespace

TBGRA SampleSource(const TBitmap& SourceImage, float x, float y) {
  RequireImage(SourceImage);
  return SourceSampler(SourceImage)(x, y);
}

TBGRA BlendPixel(TBGRA a, TBGRA b, bool HighQuality, float w) { return Blend(a, b, HighQuality, w); }

TReflectionCaster::TReflectionCaster(const TScene& scene, const TReflectionSliders& sliders,
                                     const TBitmap& SourceImage, int width, int height, bool HighQuality)
    : source_(SourceImage), sliders_(sliders), gradient_(scene.GradientEnabled), highQuality_(HighQuality) {
  RequireImage(SourceImage);
  if (sliders.OpacityMax == 0 || sliders.LengthMax == 0) throw Exception(SZeroDivide);

  // The picture lies on z = 0 of the image frame's space, the reflection on z = 0 of its own.
  const Plane zPlane = MakePlane({0, 0, 0}, {0, 0, 1});
  const Matrix4& imageLocal = scene.ImageFrame->LocalMatrix;
  const Matrix4 reflectionWorld = MatrixMultiply(scene.ReflectionFrame->LocalMatrix, imageLocal);
  const Matrix4& cameraLocal = scene.CameraFrame->LocalMatrix;
  const Matrix4 pictureToScreen = MatrixMultiply(imageLocal, scene.ScreenMatrix);
  screenToPicture_ = InvertMatrix(pictureToScreen);
  const Matrix4 reflectionToScreen = MatrixMultiply(reflectionWorld, scene.ScreenMatrix);
  screenToReflection_ = InvertMatrix(reflectionToScreen);
  fromCamera_ = {TransformPoint({0, 0, 0}, MatrixMultiply(cameraLocal, InvertMatrix(imageLocal))), zPlane};
  fromMirroredCamera_ = {TransformPoint({0, 0, 0}, MatrixMultiply(cameraLocal, InvertMatrix(reflectionWorld))), zPlane};

  // The camera is never pitched or rolled, so the picture's top corners give the horizontal extent
  // of the picture and its reflection, and the box runs from the picture's top to the reflection's
  // far edge.
  const Vector3 p = TransformPoint({-0.5f, 1, 0}, pictureToScreen);
  const Vector3 q = TransformPoint({0.5f, 1, 0}, pictureToScreen);
  const Vector3 r = TransformPoint({-0.5f, 1, 0}, reflectionToScreen);
  const Vector3 s = TransformPoint({0.5f, 1, 0}, reflectionToScreen);
  x0_ = std::max(BoxBound(std::floor(p.x), width, 0), 0);
  x1_ = std::min(BoxBound(std::ceil(q.x), width, width - 1), width - 1);
  y0_ = std::max(BoxBound(std::floor(std::min(p.y, q.y)), height, 0), 0);
  y1_ = std::min(BoxBound(std::ceil(std::max(r.y, s.y)), height, height - 1), height - 1);
  // A corner at or behind the camera projects through it to the far side of the view (or not at
  // all), which would leave the box empty or cut while the picture fills the view.
  for (const Vector4 corner : {TransformVector4({-0.5f, 1, 0, 1}, pictureToScreen),
                               TransformVector4({0.5f, 1, 0, 1}, pictureToScreen),
                               TransformVector4({-0.5f, 1, 0, 1}, reflectionToScreen),
                               TransformVector4({0.5f, 1, 0, 1}, reflectionToScreen)})
    cornerBehindCamera_ = cornerBehindCamera_ || !(corner.w > 0);
  if (cornerBehindCamera_) x0_ = 0, x1_ = width - 1, y0_ = 0, y1_ = height - 1;

  // The reflection fades from full opacity at its near edge to nothing at LengthPosition / LengthMax
  // of its height.
  smallPosition_ = std::abs(sliders.OpacityPosition) < (1 << 24);
  // Without the gradient every reflection pixel has the same weight: one extended division here
  // instead of one a pixel.
  uniformOpacity_ = float(Extended(sliders.OpacityPosition) / sliders.OpacityMax);
  slope_ = sliders.LengthPosition == 0 ? 0.0f : float(-1 / (Extended(sliders.LengthPosition) / sliders.LengthMax));
}

[[gnu::always_inline]] inline float TReflectionCaster::Fade(float h) const {
  if (!gradient_) return uniformOpacity_;
  if (sliders_.LengthPosition == 0) return 0;
  // Each step is one rounding of an exact value (a product of two singles, or of a single and a
  // slider position, is exact in a double and in extended), taken in a double where that gives the
  // extended step's single.
  const double gd = double(slope_) * h + 1;
  float g;
  if (SameSingleAsExtended(gd)) {
    g = float(gd);
  } else {
    ++ExtendedSteps().roundings;
    g = float(Extended(slope_) * h + 1);
  }
  const double wd = double(sliders_.OpacityPosition) * g / sliders_.OpacityMax;
  float w;
  if (smallPosition_ && SameSingleAsExtended(wd)) {
    w = float(wd);
  } else {
    ++ExtendedSteps().roundings;
    w = float(Extended(sliders_.OpacityPosition) * g / sliders_.OpacityMax);
  }
  if (!(w >= 0)) return 0;
  return w > 1 ? 1 : w;
}

float TReflectionCaster::Opacity(float h) const { return Fade(h); }

void TReflectionCaster::CastRow(int y, std::uint8_t* pixels, int column) const {
  const SourceSampler sample(source_);
  // The far-plane points along the row, (x, y, 1) for each pixel's top-left corner, to which the
  // camera's rays run: each value is what TransformPoint and IntersectRayPlane give, with the parts
  // shared by the whole row formed once.
  const TRowTransform toPicture(screenToPicture_, float(y), x1_), toReflection(screenToReflection_, float(y), x1_);
  // Pixel x from its ray's hit on the picture's plane and, where that misses the picture, its hit on
  // the reflection's plane, which `reflectionHit` gives (false where the ray does not meet it).
  auto shade = [&](int x, const Vector3& onPicture, const auto& reflectionHit) {
    if (InsideHitBand(onPicture)) return StorePixel(pixels, x - column, sample(onPicture.x, onPicture.y));
    Vector3 onReflection;
    if (!reflectionHit(onReflection) || !InsideHitBand(onReflection)) return;
    // Where the reflection has faded out, the blend gives the current pixel back: the sample is not
    // needed.
    const float w = Fade(onReflection.y);
    if (w == 0) return;
    StorePixel(pixels, x - column,
               Blend(LoadPixel(pixels, x - column), sample(onReflection.x, onReflection.y), highQuality_, w));
  };
  // A run of pixels at a time, with the hits on each plane formed many columns at once: the
  // reflection's for the whole run as soon as one pixel of it misses the picture (forming them all
  // costs less than picking out the ones needed). Where the hits cannot be promised, the run goes
  // one ray at a time.
  constexpr int Run = 64;
  float far[3][Run], pictureHit[2][Run], reflectionHit[2][Run];
  std::uint8_t meetsPicture[Run], meetsReflection[Run];
  // Where a corner lies behind the camera, only hits ahead of it count, and a ray that does not
  // meet the picture's plane ahead may still see the reflection (see cornerBehindCamera_).
  const bool ahead = cornerBehindCamera_;
  auto missesPicture = [&](int count) {
    for (int i = 0; i < count; ++i)
      if (meetsPicture[i] ? !InsideHitBand({pictureHit[0][i], pictureHit[1][i], 0}) : ahead) return true;
    return false;
  };
  const Vector3 nowhere{NAN, NAN, 0};  // outside every hit band
  for (int first = x0_; first <= x1_; first += Run) {
    const int count = std::min(Run, x1_ - first + 1);
    const bool formed =
        toPicture.AtColumns(first, count, far[0], far[1], far[2]) &&
        fromCamera_.IntersectAll(count, far[0], far[1], far[2], pictureHit[0], pictureHit[1], meetsPicture, ahead) &&
        (!missesPicture(count) ||
         (toReflection.AtColumns(first, count, far[0], far[1], far[2]) &&
          fromMirroredCamera_.IntersectAll(count, far[0], far[1], far[2], reflectionHit[0], reflectionHit[1],
                                          meetsReflection, ahead)));
    for (int i = 0; i < count; ++i) {
      const int x = first + i;
      if (formed) {
        if (!meetsPicture[i] && !ahead) continue;
        shade(x, meetsPicture[i] ? Vector3{pictureHit[0][i], pictureHit[1][i], 0} : nowhere, [&](Vector3& hit) {
          hit = {reflectionHit[0][i], reflectionHit[1][i], 0};
          return meetsReflection[i] != 0;
        });
      } else if (!ahead) {
        Vector3 hit;
        if (!fromCamera_.Intersect(toPicture.At(x), hit)) continue;
        shade(x, hit, [&](Vector3& onReflection) { return fromMirroredCamera_.Intersect(toReflection.At(x), onReflection); });
      } else {
        Vector3 hit;
        if (!fromCamera_.IntersectAhead(toPicture.At(x), hit)) hit = nowhere;
        shade(x, hit, [&](Vector3& onReflection) { return fromMirroredCamera_.IntersectAhead(toReflection.At(x), onReflection); });
      }
    }
  }
}

void RenderReflection(const TScene& scene, const TReflectionSliders& sliders, const TBitmap& SourceImage,
                      TBitmap& OutputImage, bool HighQuality) {
  RequireImage(SourceImage);
  RequireImage(OutputImage);
  const TReflectionCaster caster(scene, sliders, SourceImage, OutputImage.Width(), OutputImage.Height(), HighQuality);
  std::memset(OutputImage.Bits(), 0, OutputImage.BitsSize());
  for (int y = caster.FirstRow(); y <= caster.LastRow(); ++y) caster.CastRow(y, OutputImage.ScanLine(y), 0);
}
