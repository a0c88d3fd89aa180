#include "render/final.h"

#include <gtest/gtest.h>

#include <cstring>

#include "render/messages.h"
#include "resample/resize.h"
#include "toolkit/errors.h"
#include "toolkit/worker_pool.h"

namespace {

const TBGRA PictureColour{30, 60, 90, 255};  // blue, green, red: a colour whose darkening would show

TBitmap OnePixelPicture() {
  TBitmap picture(1, 1, pf32bit);
  std::memcpy(picture.ScanLine(0), &PictureColour, 4);
  return picture;
}

TBGRA PixelAt(const TBitmap& image, int x, int y) {
  TBGRA p;
  std::memcpy(&p, image.ScanLine(y) + 4 * x, 4);
  return p;
}

bool SameBytes(const TBitmap& a, const TBitmap& b) {
  return a.Width() == b.Width() && a.Height() == b.Height() && a.PixelFormat() == b.PixelFormat() &&
         a.BitsSize() == b.BitsSize() && std::memcmp(a.Bits(), b.Bits(), a.BitsSize()) == 0;
}

// The window's state at start-up: the scene for the sliders and a 256 x 256 preview.
struct TWindowState {
  explicit TWindowState(TSceneSliders sceneSliders = {}) {
    CreateScene(scene, sceneSliders, source.Width(), source.Height(), 256, 256);
    RenderReflection(scene, sliders, source, output, false);
  }
  TScene scene;
  TReflectionSliders sliders;
  TBitmap source = OnePixelPicture();
  TBitmap output{256, 256, pf32bit};
};

TEST(RenderFinal, ShrinksAFiveFoldRenderingOfTheSameViewAndLeavesTheMatricesAsTheyWere) {
  TWindowState window;
  const Matrix4 projection = window.scene.ProjectionMatrix, viewport = window.scene.ViewportMatrix,
                screen = window.scene.ScreenMatrix;
  int repaints = 0;
  RenderFinal(window.scene, window.sliders, window.source, window.output, [&] {
    ++repaints;
    EXPECT_EQ(window.output.Width(), 256);  // the window is shown the final rendering at its own size
    EXPECT_EQ(window.output.Height(), 256);
  });
  EXPECT_EQ(repaints, 1);
  EXPECT_EQ(window.output.PixelFormat(), pf32bit);
  EXPECT_EQ(window.scene.ProjectionMatrix, projection);
  EXPECT_EQ(window.scene.ViewportMatrix, viewport);
  EXPECT_EQ(window.scene.ScreenMatrix, screen);

  // The same camera rendered at 1280 x 1280 and averaged five-fold.
  TWindowState reference;
  UpdateProjection(reference.scene, 1280, 1280);
  UpdateScreenMatrix(reference.scene);
  TBitmap large(1280, 1280, pf32bit);
  RenderReflection(reference.scene, reference.sliders, reference.source, large, true);
  EXPECT_TRUE(SameBytes(window.output, *ResizeBitmap(large, 256, 256, rmAverage)));
}

TEST(RenderFinal, AShrinkWithoutResultIsAnErrorThatKeepsThePreviewAndTheMatrices) {
  TWindowState window;
  const TBitmap preview = window.output;
  const Matrix4 projection = window.scene.ProjectionMatrix, viewport = window.scene.ViewportMatrix,
                screen = window.scene.ScreenMatrix;
  const auto noResult = [](const TBitmap& enlarged, int Width, int Height) {
    EXPECT_EQ(enlarged.Width(), 5 * Width);
    EXPECT_EQ(enlarged.Height(), 5 * Height);
    return std::unique_ptr<TBitmap>();
  };
  int repaints = 0;
  try {
    render_detail::RenderFinalWith(noResult, window.scene, window.sliders, window.source, window.output,
                                   [&] { ++repaints; });
    ADD_FAILURE() << "a missing final rendering passed for one";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), SFinalShrinkFailed);
  }
  EXPECT_EQ(repaints, 0);
  EXPECT_TRUE(SameBytes(window.output, preview));
  EXPECT_EQ(window.scene.ProjectionMatrix, projection);
  EXPECT_EQ(window.scene.ViewportMatrix, viewport);
  EXPECT_EQ(window.scene.ScreenMatrix, screen);
}

TEST(RenderFinal, PictureIsOpaqueAndTheReflectionFadesInAlphaOnly) {
  TWindowState window;
  RenderFinal(window.scene, window.sliders, window.source, window.output, nullptr);
  const TBitmap& out = window.output;
  for (int y = 33; y < 128; ++y)
    for (int x = 81; x < 176; ++x) ASSERT_EQ(PixelAt(out, x, y), PictureColour) << x << "," << y;
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x)
      if (x < 79 || x > 177 || y < 31 || y > 226) {
        ASSERT_EQ(PixelAt(out, x, y), TBGRA{}) << x << "," << y;
      }

  // Below the floor line (row 128) the picture's colour is kept whole while alpha falls from about
  // 0.8 of opaque to nothing 0.7 of the way down the 96-row reflection.
  int previousAlpha = 256;
  for (int y = 129; y < 190; ++y) {
    const TBGRA p = PixelAt(out, 128, y);
    EXPECT_EQ((TBGRA{p.Blue, p.Green, p.Red, 255}), PictureColour) << y;
    EXPECT_LT(p.Alpha, previousAlpha) << y;
    previousAlpha = p.Alpha;
  }
  // Row 129 holds the rays 5 to 9 of the 480 rows of the enlarged reflection.
  EXPECT_NEAR(PixelAt(out, 128, 129).Alpha, 255 * 0.8 * (1 - 7.0 / 480 / 0.7), 1);
  EXPECT_EQ(PixelAt(out, 128, 128 + 96 * 7 / 10 + 2).Alpha, 0);
}

TEST(RenderFinal, EdgesThatCrossPixelsGetPartialAlpha) {
  TSceneSliders turned;
  turned.Yaw = 3;  // the picture's vertical edges no longer fall on pixel boundaries
  TWindowState window(turned);
  RenderFinal(window.scene, window.sliders, window.source, window.output, nullptr);
  // Across the middle of the picture: transparent, partial, opaque ... opaque, partial, transparent.
  const int row = 80;
  int first = -1, last = -1;
  for (int x = 0; x < 256; ++x)
    if (PixelAt(window.output, x, row).Alpha == 255) {
      if (first < 0) first = x;
      last = x;
    }
  ASSERT_GT(first, 0);
  const int leftAlpha = PixelAt(window.output, first - 1, row).Alpha;
  const int rightAlpha = PixelAt(window.output, last + 1, row).Alpha;
  // A vertical edge crosses 1 to 4 of the five columns of rays under a pixel.
  EXPECT_GT(leftAlpha, 0);
  EXPECT_GT(rightAlpha, 0);
  EXPECT_EQ(leftAlpha % 51, 0);
  EXPECT_EQ(rightAlpha % 51, 0);
  EXPECT_EQ(PixelAt(window.output, first - 2, row).Alpha, 0);
  EXPECT_EQ(PixelAt(window.output, last + 2, row).Alpha, 0);
}

TEST(RenderFinal, AFailureKeepsThePreviewAndTheMatricesAndTheNextCallWorks) {
  TWindowState window;
  const TBitmap preview = window.output;
  const Matrix4 screen = window.scene.ScreenMatrix;
  TReflectionSliders broken = window.sliders;
  broken.OpacityMax = 0;
  EXPECT_THROW(RenderFinal(window.scene, broken, window.source, window.output, nullptr), Exception);
  const TBitmap empty;
  EXPECT_THROW(RenderFinal(window.scene, window.sliders, empty, window.output, nullptr), EInvalidGraphic);
  EXPECT_TRUE(SameBytes(window.output, preview));
  EXPECT_EQ(window.scene.ScreenMatrix, screen);

  RenderFinal(window.scene, window.sliders, window.source, window.output, nullptr);
  EXPECT_EQ(PixelAt(window.output, 128, 80), PictureColour);
}

TEST(TakeRendering, CopiesTheFinalRenderingWithOrWithoutAlpha) {
  TWindowState window;
  const auto withAlpha = TakeRendering(window.scene, window.sliders, window.source, window.output, nullptr, true);
  EXPECT_TRUE(SameBytes(*withAlpha, window.output));
  EXPECT_NE(withAlpha.get(), &window.output);
  const auto opaque = TakeRendering(window.scene, window.sliders, window.source, window.output, nullptr, false);
  ASSERT_EQ(opaque->PixelFormat(), pf24bit);
  for (int y : {40, 140, 250})
    for (int x = 0; x < 256; ++x) ASSERT_EQ(std::memcmp(opaque->ScanLine(y) + 3 * x, window.output.ScanLine(y) + 4 * x, 3), 0);
}

}  // namespace

// The banded rendering that the batch writes as it is cast: RenderFinal's bytes, read row by row
// alone or with the pool's other thread casting, at a tilted and a straight setting; the scene's
// matrices are back when it is made; an empty output is refused as RenderFinal refuses it.
TEST(TFinalRendering, GivesRenderFinalsBytesAndLeavesTheMatricesAsTheyWere) {
  for (const TSceneSliders settings : {TSceneSliders{}, TSceneSliders{.CameraZ = 2, .CameraY = -2, .Yaw = 2}}) {
    for (int helpers : {0, 1}) {
      TWindowState window(settings);
      const Matrix4 projection = window.scene.ProjectionMatrix, screen = window.scene.ScreenMatrix;
      TFinalRendering rendering(window.scene, window.sliders, window.source, 97, 64);
      EXPECT_EQ(window.scene.ProjectionMatrix, projection);
      EXPECT_EQ(window.scene.ScreenMatrix, screen);
      SharedWorkerPool().ParallelFor(std::size_t(helpers) + 1, [&](std::size_t task) {
        if (task != 0) return rendering.CastBands();
        for (int y = 0; y < 64; ++y) rendering.AwaitRow(y);
      });
      TWindowState reference(settings);
      TBitmap output(97, 64, pf32bit);
      RenderFinal(reference.scene, reference.sliders, reference.source, output, nullptr);
      EXPECT_TRUE(SameBytes(rendering.Image(), output)) << helpers;
    }
  }
  // An empty output: the same error as RenderFinal's.
  auto errorOf = [](const auto& render) -> std::string {
    try {
      render();
    } catch (const Exception& e) {
      return e.what();
    }
    return "none";
  };
  TWindowState window;
  TBitmap empty(0, 64, pf32bit);
  const std::string expected = errorOf([&] { RenderFinal(window.scene, window.sliders, window.source, empty, nullptr); });
  EXPECT_NE(expected, "none");
  EXPECT_EQ(errorOf([&] { TFinalRendering(window.scene, window.sliders, window.source, 0, 64); }), expected);
}

// A large picture turned past a small view: its near top corner lies behind the camera, whose
// projection once left the box of cast pixels empty and the rendering transparent. The picture
// fills most of the view, as it does at the next larger output.
TEST(RenderFinal, ALargePictureTurnedPastASmallViewFillsIt) {
  TBitmap photo(64, 48, pf32bit);
  std::memset(photo.Bits(), 0xFF, photo.BitsSize());
  for (const int tilt : {3, -3, 5}) {
    TScene scene;
    CreateScene(scene, {.CameraZ = 8, .Yaw = tilt}, photo.Width(), photo.Height(), 64, 64);
    TBitmap output(64, 64, pf32bit);
    RenderFinal(scene, {}, photo, output, nullptr);
    int opaque = 0;
    for (int y = 0; y < 64; ++y)
      for (int x = 0; x < 64; ++x) opaque += output.ScanLine(y)[4 * x + 3] == 255;
    EXPECT_GT(opaque, 64 * 64 / 3) << "tilt " << tilt;
  }
}
