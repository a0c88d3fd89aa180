#include "render/reflection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "numeric/extended.h"
#include "toolkit/errors.h"

namespace {

constexpr TBGRA kClear{0, 0, 0, 0};
constexpr TBGRA kWhite{255, 255, 255, 255};

TBitmap MakeImage(int width, int height, const std::function<TBGRA(int column, int row)>& pixel,
                  bool topDown = false) {
  TBitmap image;
  image.Create(width, height, pf32bit, topDown);
  for (int row = 0; row < height; ++row)
    for (int column = 0; column < width; ++column) {
      const TBGRA p = pixel(column, row);
      std::memcpy(image.ScanLine(row) + column * 4, &p, 4);
    }
  return image;
}

TBGRA At(const TBitmap& image, int column, int row) {
  TBGRA p;
  std::memcpy(&p, image.ScanLine(row) + column * 4, 4);
  return p;
}

// The start-up picture: one opaque white pixel.
TBitmap WhitePicture() { return MakeImage(1, 1, [](int, int) { return kWhite; }); }

struct Rendering {
  TScene scene;
  TBitmap output;
};

Rendering Render(const TBitmap& source, const TReflectionSliders& reflection = {}, const TSceneSliders& sliders = {},
                 int width = 256, int height = 256, bool highQuality = false, bool gradient = true) {
  Rendering r;
  CreateScene(r.scene, sliders, source.Width(), source.Height(), width, height);
  r.scene.GradientEnabled = gradient;
  r.output = TBitmap(width, height, pf32bit);
  std::memset(r.output.Bits(), 0xA5, r.output.BitsSize());  // every pixel must be rewritten
  RenderReflection(r.scene, reflection, source, r.output, highQuality);
  return r;
}

TEST(RenderReflection, DefaultWhitePictureAndItsFadingReflection) {
  for (const bool highQuality : {false, true}) {
    SCOPED_TRACE(highQuality ? "high quality" : "preview");
    const TBitmap out = Render(WhitePicture(), {}, {}, 256, 256, highQuality).output;
    for (int y = 0; y < 256; ++y)
      for (int x = 0; x < 256; ++x) {
        const TBGRA p = At(out, x, y);
        const bool columns = x >= 80 && x <= 176;
        if (columns && y >= 32 && y <= 128) {
          ASSERT_EQ(p, kWhite) << x << "," << y;
        } else if (columns && y > 128 && y <= 224) {
          // h runs from 0 at the floor line to 1 at row 224; the opacity falls from 0.8 to 0 at
          // h = 0.7 (row 195.2). The ray's h is within a hair of (y - 128) / 96.
          const double h = (y - 128) / 96.0;
          const double expected = 255 * std::max(0.0, 0.8 * (1 - h / 0.7));
          ASSERT_NEAR(p.Alpha, expected, 0.51) << x << "," << y;
          const std::uint8_t colour = !highQuality ? p.Alpha : p.Alpha > 0 ? 255 : 0;
          ASSERT_EQ(p, (TBGRA{colour, colour, colour, p.Alpha})) << x << "," << y;
        } else {
          // Nothing visible outside; the box may touch column 177 and row 225 with alpha-0 pixels
          // that carry the edge colour, everything beyond is cleared.
          ASSERT_EQ(p.Alpha, 0) << x << "," << y;
          if (x > 177 || y > 225 || x < 80 || y < 32) {
            ASSERT_EQ(p, kClear) << x << "," << y;
          }
        }
      }
    EXPECT_EQ(At(out, 128, 129).Alpha, 201);  // 0.8 x (1 - (1/96)/0.7) x 255 = 200.9
    EXPECT_EQ(At(out, 128, 195).Alpha, 1);
    EXPECT_EQ(At(out, 128, 196).Alpha, 0);
    EXPECT_EQ(At(out, 177, 100), (TBGRA{255, 255, 255, 0}));  // just beyond the right edge
  }
}

TEST(RenderReflection, PreviewScalesReflectionColourWhileHighQualityKeepsIt) {
  // Uniform opacity 0.5: 127.5 rounds to the even 128.
  const TReflectionSliders half{.OpacityPosition = 5, .OpacityMax = 10};
  const TBitmap preview = Render(WhitePicture(), half, {}, 256, 256, false, /*gradient=*/false).output;
  const TBitmap final = Render(WhitePicture(), half, {}, 256, 256, true, /*gradient=*/false).output;
  for (int y = 129; y <= 224; ++y)
    for (int x = 80; x <= 176; ++x) {
      ASSERT_EQ(At(preview, x, y), (TBGRA{128, 128, 128, 128})) << x << "," << y;
      ASSERT_EQ(At(final, x, y), (TBGRA{255, 255, 255, 128})) << x << "," << y;
    }
}

TEST(RenderReflection, OpacityAndLengthSliders) {
  auto reflectionRows = [](const TBitmap& out, const std::function<void(TBGRA, int, int)>& check) {
    for (int y = 129; y < out.Height(); ++y)
      for (int x = 0; x < out.Width(); ++x) check(At(out, x, y), x, y);
  };
  for (const bool highQuality : {false, true}) {
    SCOPED_TRACE(highQuality ? "high quality" : "preview");
    // No opacity: nothing at all below the floor line.
    reflectionRows(Render(WhitePicture(), {.OpacityPosition = 0}, {}, 256, 256, highQuality).output,
                   [](TBGRA p, int x, int y) { ASSERT_EQ(p, kClear) << x << "," << y; });
    // Gradient on with no length: no reflection either.
    reflectionRows(Render(WhitePicture(), {.LengthPosition = 0}, {}, 256, 256, highQuality).output,
                   [](TBGRA p, int x, int y) { ASSERT_EQ(p, kClear) << x << "," << y; });
    // Gradient off at full opacity: the reflection is the picture's samples exactly.
    reflectionRows(Render(WhitePicture(), {.OpacityPosition = 10}, {}, 256, 256, highQuality, false).output,
                   [](TBGRA p, int x, int y) {
                     if (x >= 80 && x <= 176 && y <= 224) {
                       ASSERT_EQ(p, kWhite) << x << "," << y;
                     }
                   });
  }

  // At 320 pixels a unit on a tall output, h = 0.35 falls on row 512 + 112 and h = 0.7 on row 736:
  // the opacity is 0.8 at the floor line, 0.4 at h = 0.35 and 0 from h = 0.7 on.
  const TBitmap tall = Render(WhitePicture(), {}, {.CameraZ = 10}, 64, 1024).output;
  EXPECT_EQ(At(tall, 32, 512), kWhite);
  EXPECT_EQ(At(tall, 32, 513).Alpha, 203);  // 0.8 x (1 - (1/320)/0.7) x 255 = 203.1
  EXPECT_EQ(At(tall, 32, 624).Alpha, 102);  // 0.4 x 255
  EXPECT_EQ(At(tall, 32, 735).Alpha, 1);
  for (int y = 736; y < 1024; ++y) ASSERT_EQ(At(tall, 32, y), kClear) << y;
}

// A 64 x 48 picture that exposes flips, channel swaps and row-order faults: red grows to the
// right, green downward, blue is constant, with a red block near the top left and a blue block
// near the bottom right.
TBGRA PhotoPixel(int column, int row) {
  if (column >= 4 && column <= 11 && row >= 4 && row <= 11) return {0, 0, 255, 255};
  if (column >= 48 && column <= 59 && row >= 30 && row <= 41) return {255, 0, 0, 255};
  return {100, std::uint8_t(5 * row), std::uint8_t(4 * column), 255};
}

TEST(RenderReflection, PhotoLikePictureLandsWhereTheGeometrySays) {
  // At the defaults a 64 x 48 picture is one unit (96 pixels) wide and 0.75 unit (72 pixels) high,
  // standing on row 128 between columns 80 and 176. Output pixel (x, y) above the floor line sees
  // the picture at x' = (x - 128) / 96 and y' = (128 - y) / 72, which is picture column
  // round(32 + 64 x') and row round(47 - 47 y').
  for (const bool topDown : {false, true}) {
    SCOPED_TRACE(topDown ? "top-down source" : "bottom-up source");
    const TBitmap photo = MakeImage(64, 48, PhotoPixel, topDown);
    const TBitmap preview = Render(photo).output;
    EXPECT_EQ(At(preview, 104, 80), PhotoPixel(16, 16));   // x' = -0.25, y' = 0.667: row 15.67
    EXPECT_EQ(At(preview, 104, 80), (TBGRA{100, 80, 64, 255}));
    EXPECT_EQ(At(preview, 89, 67), (TBGRA{0, 0, 255, 255}));   // column 6, row 7.18: red block
    EXPECT_EQ(At(preview, 158, 110), (TBGRA{255, 0, 0, 255}));  // column 52, row 35.25: blue block
    EXPECT_EQ(At(preview, 170, 57), PhotoPixel(60, 1));     // row 0.65, near the top
    EXPECT_EQ(At(preview, 170, 57), (TBGRA{100, 5, 240, 255}));
    // Beyond the right edge, inside the box: the edge column's colour, transparent.
    EXPECT_EQ(At(preview, 177, 80), (TBGRA{100, 80, 252, 0}));
    // Above the picture's top the box ends (row 56): untouched by the 0.1-unit band.
    EXPECT_EQ(At(preview, 128, 50), kClear);
    EXPECT_EQ(At(preview, 60, 80), kClear);

    // Below the floor line, 22 rows down: the reflection's h = 22/72 = 0.3056, picture row
    // round(47 - 14.36) = 33, column 16, colour (100, 165, 64); opacity 0.8 x (1 - h/0.7) = 0.45079.
    EXPECT_EQ(At(preview, 104, 150), (TBGRA{45, 74, 29, 115}));
    const TBitmap final = Render(photo, {}, {}, 256, 256, /*highQuality=*/true).output;
    EXPECT_EQ(At(final, 104, 150), (TBGRA{100, 165, 64, 115}));
    EXPECT_EQ(At(final, 104, 80), At(preview, 104, 80));
  }
}

TEST(RenderReflection, PictureWiderThanTheOutputFillsEveryColumn) {
  // trcCameraZ 10 on a 100-pixel output: 320 pixels a unit, the box runs from column 0 to 99.
  // (Row 50 is the floor line itself, which the last bit of the ray's height assigns.)
  const TBitmap out = Render(WhitePicture(), {}, {.CameraZ = 10}, 100, 100).output;
  for (int y = 0; y < 50; ++y) {
    ASSERT_EQ(At(out, 0, y), kWhite) << y;
    ASSERT_EQ(At(out, 99, y), kWhite) << y;
  }
  EXPECT_GT(At(out, 0, 99).Alpha, 0);
}

TEST(RenderReflection, HitBandEndsAtItsExactBounds) {
  // A hand-built scene in which every ray runs from (0, 0, -1) to (x + dx, y, 1) of the picture's
  // space and so meets the picture at half those coordinates. With dx = 0.2000000477 the ray of
  // column 1 hits x = 0.6000000238, the single-precision value nearest 0.6, which lies beyond 0.6:
  // that pixel is outside the band, and (with the reflection in the same place) stays cleared.
  // Column 0 hits x = 0.1000000238, well inside the picture.
  const float dx = 1.2f - 1.0f;
  Rendering r;
  r.scene.RootFrame = TSXFrame::CreateRoot();
  r.scene.ImageFrame = TSXFrame::Create(*r.scene.RootFrame);
  r.scene.ReflectionFrame = TSXFrame::Create(*r.scene.ImageFrame);
  r.scene.CameraFrame = TSXFrame::Create(*r.scene.RootFrame);
  r.scene.CameraFrame->LocalMatrix = MakeTranslation(0, 0, -1);
  r.scene.ScreenMatrix = MakeTranslation(-dx, 0, 0);
  r.output = TBitmap(4, 4, pf32bit);
  RenderReflection(r.scene, {}, WhitePicture(), r.output, false);
  EXPECT_EQ(At(r.output, 0, 1), kWhite);
  EXPECT_EQ(At(r.output, 1, 1), kClear);
}

TEST(RenderReflection, ExtremeSettingsStayInBoundsAndModesAgreeOnAlpha) {
  // Random sliders and output sizes, including a camera inside the near plane (trcCameraZ 10 on a
  // 32-pixel output with a strong tilt): rendering must stay in bounds (the sanitizer build checks),
  // both modes give the same alpha, and the preview's colour never exceeds the final rendering's.
  const TBitmap photo = MakeImage(7, 5, [](int c, int r) { return TBGRA{std::uint8_t(30 * c), std::uint8_t(50 * r), 200, 255}; });
  std::mt19937 random(2024);
  auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
  for (int i = 0; i < 60; ++i) {
    const TSceneSliders sliders{pick(1, 10), pick(-5, 5), pick(-5, 5), pick(0, 10)};
    const TReflectionSliders reflection{pick(0, 10), 10, pick(0, 10), 10};
    const int width = i < 10 ? 32 : pick(32, 160), height = i < 10 ? 32 : pick(32, 160);
    const bool gradient = pick(0, 1) == 1;
    const TBitmap preview = Render(photo, reflection, sliders, width, height, false, gradient).output;
    const TBitmap final = Render(photo, reflection, sliders, width, height, true, gradient).output;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        const TBGRA p = At(preview, x, y), f = At(final, x, y);
        ASSERT_EQ(p.Alpha, f.Alpha) << i << ": " << x << "," << y;
        ASSERT_LE(p.Blue, f.Blue);
        ASSERT_LE(p.Green, f.Green);
        ASSERT_LE(p.Red, f.Red);
        if (p.Alpha == 255) {
          ASSERT_EQ(p, f);
        }
      }
  }
}

// Sampling and blending as their description gives them, every step in the program's extended
// precision (the x87 format on every processor, not the compiler's long double, which is wider on
// ARM64) and rounded half to even: the references for the renderer's faster forms of the same steps.
int NearestIndex(Extended value, int max) {
  if (!(value >= 0)) return 0;
  if (value > max) return max;
  return int(ExtRint(value));
}

TBGRA SampledInExtended(const TBitmap& image, float x, float y) {
  const int ws = image.Width(), hs = image.Height();
  const int column = NearestIndex(Extended(ws) / 2 + Extended(x) * ws, ws - 1);
  const int row = NearestIndex((Extended(hs) - 1) - Extended(y) * (hs - 1), hs - 1);
  TBGRA pixel = At(image, column, row);
  if (!(x >= -0.5f && x <= 0.5f && y >= 0.0f && y <= 1.0f)) pixel.Alpha = 0;
  return pixel;
}

TBGRA BlendedInExtended(TBGRA a, TBGRA b, bool highQuality, float w) {
  if (w == 0) return a;
  if (w == 1) return b;
  auto mix = [&](std::uint8_t ca, std::uint8_t cb) {
    return std::uint8_t(NearestIndex((1 - Extended(w)) * ca + Extended(w) * cb, 255));
  };
  TBGRA result = b;
  if (!highQuality) result = {mix(a.Blue, b.Blue), mix(a.Green, b.Green), mix(a.Red, b.Red), 0};
  result.Alpha = mix(a.Alpha, b.Alpha);
  return result;
}

// The renderer's loop shares work along each row, forms steps in doubles where that gives the
// same single, and skips faded-out samples; here it is held to the rendering built pixel by pixel
// from the library's TransformPoint and IntersectRayPlane and the extended-precision sampling and
// blending above, with the box, the clear and the fade as the renderer's description gives them.
TBitmap RenderedPixelByPixel(const TScene& scene, const TReflectionSliders& sliders, const TBitmap& source, int width,
                             int height, bool highQuality) {
  const Plane plane = MakePlane({0, 0, 0}, {0, 0, 1});
  const Matrix4& image = scene.ImageFrame->LocalMatrix;
  const Matrix4 reflection = MatrixMultiply(scene.ReflectionFrame->LocalMatrix, image);
  const Matrix4 toScreen = MatrixMultiply(image, scene.ScreenMatrix);
  const Matrix4 mirroredToScreen = MatrixMultiply(reflection, scene.ScreenMatrix);
  const Matrix4 fromScreen = InvertMatrix(toScreen), mirroredFromScreen = InvertMatrix(mirroredToScreen);
  const Vector3 camera = TransformPoint({0, 0, 0}, MatrixMultiply(scene.CameraFrame->LocalMatrix, InvertMatrix(image)));
  const Vector3 mirroredCamera =
      TransformPoint({0, 0, 0}, MatrixMultiply(scene.CameraFrame->LocalMatrix, InvertMatrix(reflection)));
  const Vector3 p = TransformPoint({-0.5f, 1, 0}, toScreen), q = TransformPoint({0.5f, 1, 0}, toScreen);
  const Vector3 r = TransformPoint({-0.5f, 1, 0}, mirroredToScreen), s = TransformPoint({0.5f, 1, 0}, mirroredToScreen);
  int x0 = std::max(int(std::floor(p.x)), 0), x1 = std::min(int(std::ceil(q.x)), width - 1);
  int y0 = std::max(int(std::floor(std::min(p.y, q.y))), 0);
  int y1 = std::min(int(std::ceil(std::max(r.y, s.y))), height - 1);
  // A top corner at or behind the camera: every pixel is cast, and a plane counts only where the
  // ray meets it ahead of the camera (t > 0, t as IntersectRayPlane forms it).
  bool behind = false;
  for (const Matrix4* M : {&toScreen, &mirroredToScreen})
    for (float cx : {-0.5f, 0.5f}) behind = behind || !(TransformVector4({cx, 1, 0, 1}, *M).w > 0);
  if (behind) x0 = 0, x1 = width - 1, y0 = 0, y1 = height - 1;
  auto meets = [&](const Vector3& origin, const Vector3& far, Vector3& hit) {
    const Ray ray = MakeRay(origin, SubtractVectors(far, origin));
    if (!IntersectRayPlane(ray, plane, hit)) return false;
    const float t = float(-(Extended(Dot(ray.origin, plane.normal)) + plane.d) / Dot(ray.direction, plane.normal));
    return !behind || t > 0;
  };
  const float slope = sliders.LengthPosition == 0 ? 0.0f : float(-1 / (Extended(sliders.LengthPosition) / sliders.LengthMax));
  auto inside = [](const Vector3& h) { return h.x >= -0.6 && h.x <= 0.6 && h.y >= 0.0 && h.y <= 1.1; };
  TBitmap out(width, height, pf32bit);
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x) {
      Vector3 hit;
      const bool onPicture = meets(camera, TransformPoint({float(x), float(y), 1}, fromScreen), hit);
      // A ray that runs along the picture's plane is a miss (only when the camera is behind it may
      // the reflection show there).
      if (!onPicture && !behind) continue;
      TBGRA pixel{};
      if (onPicture && inside(hit)) {
        pixel = SampledInExtended(source, hit.x, hit.y);
      } else {
        const Vector3 far = TransformPoint({float(x), float(y), 1}, mirroredFromScreen);
        if (!meets(mirroredCamera, far, hit) || !inside(hit)) continue;
        float w = float(Extended(sliders.OpacityPosition) / sliders.OpacityMax);
        if (scene.GradientEnabled) {
          const float g = float(Extended(slope) * hit.y + 1);
          w = sliders.LengthPosition == 0 ? 0 : float(Extended(sliders.OpacityPosition) * g / sliders.OpacityMax);
          w = !(w >= 0) ? 0 : std::min(w, 1.0f);
        }
        pixel = BlendedInExtended(TBGRA{}, SampledInExtended(source, hit.x, hit.y), highQuality, w);
      }
      std::memcpy(out.ScanLine(y) + 4 * x, &pixel, 4);
    }
  return out;
}

// Random settings, among them large pictures turned past small views, whose near edge lies behind
// the camera (and which once came out empty).
TEST(RenderReflection, EqualsTheRenderingBuiltPixelByPixelFromTheLibrarysOperations) {
  std::mt19937 random(777);
  const TBitmap photo = MakeImage(31, 23, [&](int, int) {
    const std::uint32_t v = random();
    return TBGRA{std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24 | 0x0F)};
  });
  auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
  for (int i = 0; i < 156; ++i) {
    const TSceneSliders sliders{pick(1, 10), pick(-5, 5), pick(-5, 5), pick(0, 10)};
    const TReflectionSliders reflection{pick(0, 10), 10, pick(0, 10), 10};
    // The last few are as large as the final rendering's enlarged target.
    const int width = i < 150 ? pick(32, 400) : pick(1200, 2560), height = i < 150 ? pick(32, 400) : pick(1200, 2560);
    const bool highQuality = i % 2 == 1, gradient = i % 3 != 0;
    const Rendering r = Render(i % 5 == 0 ? WhitePicture() : photo, reflection, sliders, width, height, highQuality, gradient);
    const TBitmap expected =
        RenderedPixelByPixel(r.scene, reflection, i % 5 == 0 ? WhitePicture() : photo, width, height, highQuality);
    ASSERT_EQ(std::memcmp(r.output.Bits(), expected.Bits(), expected.BitsSize()), 0) << "setting " << i;
  }
}

TEST(RenderReflection, RefusesImagesItCannotAddress) {
  TScene scene;
  CreateScene(scene, {}, 1, 1, 256, 256);
  TBitmap output(256, 256, pf32bit);
  TBitmap rgb(4, 4, pf24bit);
  TBitmap empty(0, 0, pf32bit);
  EXPECT_THROW(RenderReflection(scene, {}, rgb, output, false), Exception);
  EXPECT_THROW(RenderReflection(scene, {}, empty, output, false), Exception);
  EXPECT_THROW(RenderReflection(scene, {}, WhitePicture(), rgb, false), Exception);
  EXPECT_THROW(RenderReflection(scene, {}, WhitePicture(), empty, false), Exception);
  EXPECT_THROW(SampleSource(rgb, 0, 0), Exception);
  // An output smaller than the scene was set up for is clipped, not overrun.
  TBitmap small(10, 300, pf32bit);
  EXPECT_NO_THROW(RenderReflection(scene, {}, WhitePicture(), small, false));
}

TEST(SampleSource, MapsTheUnitRectangleOntoPixels) {
  // 3 x 2: the unit width spans 3 columns, the unit height 1 row; rounding is half to even.
  const TBitmap image = MakeImage(3, 2, [](int c, int r) { return TBGRA{std::uint8_t(c), std::uint8_t(r), 7, 255}; });
  EXPECT_EQ(SampleSource(image, -0.5f, 0), (TBGRA{0, 1, 7, 255}));     // bottom-left corner
  EXPECT_EQ(SampleSource(image, 0.5f, 1), (TBGRA{2, 0, 7, 255}));      // column 3 clamps to 2
  EXPECT_EQ(SampleSource(image, 0, 0.5f), (TBGRA{2, 0, 7, 255}));      // 1.5 and 0.5 round to even
  EXPECT_EQ(SampleSource(image, -0.25f, 0), (TBGRA{1, 1, 7, 255}));
  // Outside the rectangle: nearest edge pixel, transparent.
  EXPECT_EQ(SampleSource(image, 0.55f, 0.5f), (TBGRA{2, 0, 7, 0}));
  EXPECT_EQ(SampleSource(image, 0, -0.01f), (TBGRA{2, 1, 7, 0}));
  EXPECT_EQ(SampleSource(image, -7, 1.05f), (TBGRA{0, 0, 7, 0}));
  EXPECT_EQ(SampleSource(image, NAN, 0.5f).Alpha, 0);
  EXPECT_EQ(SampleSource(image, 0, NAN).Alpha, 0);
}

TEST(BlendPixel, WeightsRoundHalfToEven) {
  const TBGRA white = kWhite, grey{100, 150, 200, 40}, clear = kClear;
  EXPECT_EQ(BlendPixel(grey, white, false, 0), grey);
  EXPECT_EQ(BlendPixel(grey, white, false, 1), white);
  EXPECT_EQ(BlendPixel(clear, white, false, 0.5f), (TBGRA{128, 128, 128, 128}));  // 127.5 -> 128
  EXPECT_EQ(BlendPixel(clear, TBGRA{253, 3, 5, 1}, false, 0.5f), (TBGRA{126, 2, 2, 0}));  // 126.5, 1.5, 2.5, 0.5
  EXPECT_EQ(BlendPixel(clear, white, true, 0.5f), (TBGRA{255, 255, 255, 128}));
  // 0.75 x a + 0.25 x b.
  EXPECT_EQ(BlendPixel(grey, white, false, 0.25f), (TBGRA{139, 176, 214, 94}));
  EXPECT_EQ(BlendPixel(grey, white, true, 0.25f), (TBGRA{255, 255, 255, 94}));
  // Weights outside 0..1 (no slider produces them) saturate instead of wrapping.
  EXPECT_EQ(BlendPixel(clear, white, false, 1.5f), (TBGRA{255, 255, 255, 255}));
  EXPECT_EQ(BlendPixel(white, clear, false, -0.5f), (TBGRA{255, 255, 255, 255}));
}

// Sampling lands on the pixel, and blending on the value, that the extended-precision forms give:
// at and beside every point halfway between two pixels (ties to even), for even and odd sides, and
// for every pair of channels at weights that put mixes exactly on and next to halves, and at
// weights too small for the fast form.
TEST(SampleSource, AndBlendPixelAgreeWithTheirExtendedForms) {
  for (const int side : {1, 2, 3, 4, 7, 640, 1023, 1024}) {
    const TBitmap image = MakeImage(side, side, [](int c, int r) {
      return TBGRA{std::uint8_t(c), std::uint8_t(c >> 8), std::uint8_t(r), std::uint8_t(r >> 8)};
    });
    for (int k = -2; k <= 2 * side + 2; ++k) {
      // k halves of a pixel from the left or bottom edge, and the singles on either side.
      const float half = float(Extended(k) / (2 * side) - Extended(0.5)), halfUp = float(Extended(k) / (2 * std::max(side - 1, 1)));
      for (float x : {half, std::nextafter(half, -1.0f), std::nextafter(half, 1.0f)})
        for (float y : {halfUp, std::nextafter(halfUp, -1.0f), std::nextafter(halfUp, 2.0f), 0.3f}) {
          ASSERT_EQ(SampleSource(image, x, y), SampledInExtended(image, x, y)) << side << " " << x << " " << y;
          ASSERT_EQ(SampleSource(image, y - 0.5f, x + 0.5f), SampledInExtended(image, y - 0.5f, x + 0.5f)) << side;
        }
    }
  }
  // Odd widths put the middle of the picture halfway between two columns; hits a hair beside it
  // are lost to a double's sum but not to the extended one.
  for (const int side : {3, 1025, 32767}) {
    const TBitmap row = MakeImage(side, 1, [](int c, int) { return TBGRA{std::uint8_t(c), std::uint8_t(c >> 8), 0, 255}; });
    for (int k = 20; k <= 80; ++k)
      for (const float x : {std::ldexp(1.0f, -k), -std::ldexp(1.0f, -k)})
        ASSERT_EQ(SampleSource(row, x, 0.5f), SampledInExtended(row, x, 0.5f)) << side << " " << x;
  }
  std::mt19937 random(255);
  std::vector<float> weights{0.5f, 0.25f, 0.75f, 1.0f / 3, 0x1p-29f, 0x1.fffffep-30f, 0x1p-40f, 1e-12f, 0.999999f,
                             1.5f, -0.5f, 0x1p30f, 0x1p31f, 1e30f, -1e30f};
  for (int i = 1; i < 256; i += 15) weights.push_back(float(i) / 256), weights.push_back(std::nextafter(float(i) / 256, 1.0f));
  for (int i = 0; i < 20; ++i) weights.push_back(std::uniform_real_distribution<float>(0, 1)(random));
  for (const float w : weights)
    for (int a = 0; a < 256; ++a)
      for (int b = 0; b < 256; ++b) {
        const TBGRA pa{std::uint8_t(a), std::uint8_t(b), std::uint8_t(255 - a), std::uint8_t(a ^ b)};
        const TBGRA pb{std::uint8_t(b), std::uint8_t(a), std::uint8_t(b ^ 0x55), std::uint8_t(b)};
        ASSERT_EQ(BlendPixel(pa, pb, false, w), BlendedInExtended(pa, pb, false, w)) << w << " " << a << " " << b;
        ASSERT_EQ(BlendPixel(pa, pb, true, w), BlendedInExtended(pa, pb, true, w)) << w << " " << a << " " << b;
      }
}

// The opacity along the reflection is the extended-precision fade's single: for the window's
// slider settings and others, for heights whose fade lands beside points halfway between two
// singles, and for fades built to lie a hair above such a point, where a double loses the hair and
// extended keeps it: slope -(1 + a 2^-23) at height 3 2^-25 (1 - a 2^-23) gives a fade of
// 1 - 3 2^-25 + 3 a^2 2^-71.
TEST(TReflectionCaster, OpacityIsTheExtendedFadesSingle) {
  TScene scene;
  CreateScene(scene, {}, 1, 1, 64, 64);
  const TBitmap picture = WhitePicture();
  std::mt19937 random(17);
  auto check = [&](const TReflectionSliders& sliders, bool gradient, const std::vector<float>& heights) {
    scene.GradientEnabled = gradient;
    const TReflectionCaster caster(scene, sliders, picture, 64, 64, true);
    const int length = sliders.LengthPosition, opacity = sliders.OpacityPosition;
    const float slope = length == 0 ? 0.0f : float(-1 / (Extended(length) / sliders.LengthMax));
    for (const float h : heights) {
      float want = float(Extended(opacity) / sliders.OpacityMax);
      if (gradient) {
        const float g = float(Extended(slope) * h + 1);
        want = length == 0 ? 0 : float(Extended(opacity) * g / sliders.OpacityMax);
        want = !(want >= 0) ? 0 : std::min(want, 1.0f);
      }
      const float got = caster.Opacity(h);
      ASSERT_EQ(std::memcmp(&got, &want, sizeof got), 0) << length << "/" << sliders.LengthMax << " " << h;
    }
  };
  for (int length = 0; length <= 12; ++length)
    for (int opacity = 0; opacity <= 12; ++opacity)
      for (const int max : {10, 7}) {
        const float slope = length == 0 ? 0.0f : float(-1 / (Extended(length) / max));
        std::vector<float> heights;
        for (int i = 0; i < 100; ++i) {
          const Extended target = 1 - (2 * Extended(1 + random() % 5000) + 1) * Extended(0x1p-25);
          float h = slope == 0 || i % 4 == 0 ? std::uniform_real_distribution<float>(-0.1f, 1.2f)(random)
                                             : float((target - 1) / slope);
          for (int step = 0; step < 3; ++step, h = std::nextafter(h, 2.0f)) heights.push_back(h);
        }
        check({opacity, max, length, max}, true, heights);
        check({opacity, max, length, max}, false, heights);
      }
  for (int a = 16; a <= 362; a += 2) check({1, 1, 1 << 23, (1 << 23) + a}, true, {3 * 0x1p-25f * (1 - a * 0x1p-23f)});
}

}  // namespace
