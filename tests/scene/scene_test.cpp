#include "scene/scene.h"

#include <gtest/gtest.h>

#include "toolkit/errors.h"

namespace {

// Where a point of the picture's rectangle lands on the output (column, row, depth).
Vector3 PictureOnScreen(const TScene& scene, float x, float y) {
  return TransformPoint({x, y, 0}, MatrixMultiply(scene.ImageFrame->LocalMatrix, scene.ScreenMatrix));
}

// Where a point of the reflection's rectangle lands (y = 0 is its near edge by the floor line).
Vector3 ReflectionOnScreen(const TScene& scene, float x, float y) {
  const Matrix4 world = MatrixMultiply(scene.ReflectionFrame->LocalMatrix, scene.ImageFrame->LocalMatrix);
  return TransformPoint({x, y, 0}, MatrixMultiply(world, scene.ScreenMatrix));
}

TScene MakeScene(const TSceneSliders& sliders = {}, int sourceWidth = 1, int sourceHeight = 1, int outputWidth = 256,
                 int outputHeight = 256) {
  TScene scene;
  CreateScene(scene, sliders, sourceWidth, sourceHeight, outputWidth, outputHeight);
  return scene;
}

// Single-precision screen coordinates of a few hundred pixels carry errors of a few 1e-5.
constexpr float kPixel = 1e-4f;

TEST(Scene, DefaultsPlaceThePictureOnTheOutputGrid) {
  const TScene scene = MakeScene();
  EXPECT_EQ(scene.CameraDistance, 96);
  EXPECT_EQ(scene.FieldOfView, 1.0471976f);
  EXPECT_TRUE(scene.GradientEnabled);
  const Matrix4& camera = scene.CameraFrame->LocalMatrix;
  EXPECT_EQ(camera.m[3][0], 0.0f);
  EXPECT_EQ(camera.m[3][1], 0.0f);
  EXPECT_NEAR(camera.m[3][2], -2.3094f, 1e-4f);
  EXPECT_EQ(scene.ViewMatrix, MakeTranslation(0, 0, -camera.m[3][2]));

  const Vector3 topLeft = PictureOnScreen(scene, -0.5f, 1);
  const Vector3 bottomRight = PictureOnScreen(scene, 0.5f, 0);
  EXPECT_NEAR(topLeft.x, 80, kPixel);
  EXPECT_NEAR(topLeft.y, 32, kPixel);
  EXPECT_NEAR(bottomRight.x, 176, kPixel);
  EXPECT_NEAR(bottomRight.y, 128, kPixel);
  EXPECT_GT(topLeft.z, 0.0f);
  EXPECT_LT(topLeft.z, 1.0f);
  // The homogeneous divide multiplies by a single-precision 1/w, which leaves the right edge a hair
  // beyond column 176; the renderer's box therefore reaches column 177.
  EXPECT_GT(bottomRight.x, 176.0f);

  EXPECT_NEAR(ReflectionOnScreen(scene, -0.5f, 0).y, 128, kPixel);
  EXPECT_NEAR(ReflectionOnScreen(scene, 0.5f, 1).y, 224, kPixel);
  EXPECT_NEAR(ReflectionOnScreen(scene, 0.5f, 1).x, 176, kPixel);
}

TEST(Scene, CameraSlidersMoveAndScaleTheScene) {
  // Five steps up of 1/8 unit each: the floor line moves down 5 x 96 / 8 = 60 rows.
  TScene scene = MakeScene({.CameraZ = 3, .CameraY = 5});
  EXPECT_FLOAT_EQ(scene.CameraFrame->LocalMatrix.m[3][1], 0.625f);
  EXPECT_NEAR(PictureOnScreen(scene, 0, 0).y, 188, kPixel);

  // trcCameraZ 10: one unit spans 320 pixels around the output's centre.
  SceneCameraZChange(scene, 10, 0, 256);
  EXPECT_EQ(scene.CameraDistance, 320);
  EXPECT_NEAR(PictureOnScreen(scene, 0.5f, 0).x, 128 + 160, 1e-3f);
  EXPECT_NEAR(PictureOnScreen(scene, 0, 0.25f).y, 128 - 80, 1e-3f);
}

TEST(Scene, PictureFrameFollowsProportionsAndTilt) {
  TScene scene = MakeScene();
  SceneYawChange(scene, 0, 400, 300);
  EXPECT_EQ(scene.ImageFrame->LocalMatrix, MakeScale(1, 0.75f, 1));
  EXPECT_NEAR(PictureOnScreen(scene, 0, 1).y, 128 - 72, kPixel);  // 0.75 of 96 pixels high
  SceneYawChange(scene, 0, 300, 400);
  EXPECT_EQ(scene.ImageFrame->LocalMatrix, MakeScale(0.75f, 1, 1));
  EXPECT_NEAR(PictureOnScreen(scene, 0.5f, 0).x, 128 + 36, kPixel);
  SceneYawChange(scene, 0, 300, 300);
  EXPECT_EQ(scene.ImageFrame->LocalMatrix, IdentityMatrix);

  // Steps of 40960 / 360 units, truncated toward zero; -113 is the same angle as 3983.
  SceneYawChange(scene, -1, 300, 300);
  EXPECT_EQ(scene.ImageFrame->LocalMatrix, MakeRotationY(3983));
  SceneYawChange(scene, 5, 400, 300);
  EXPECT_EQ(scene.ImageFrame->LocalMatrix, MatrixMultiply(MakeScale(1, 0.75f, 1), MakeRotationY(568)));
  // A positive tilt swings the right half toward the camera: nearer, so lower depth and taller.
  const Vector3 left = PictureOnScreen(scene, -0.5f, 1), right = PictureOnScreen(scene, 0.5f, 1);
  EXPECT_LT(right.z, left.z);
  EXPECT_LT(right.y, left.y);
}

TEST(Scene, MarginMovesTheReflectionBelowTheFloorLine) {
  TScene scene = MakeScene({.Margin = 10});
  // A third of a unit (32 pixels) of gap, then one unit of mirrored picture.
  EXPECT_NEAR(ReflectionOnScreen(scene, 0, 0).y, 128 + 32, kPixel);
  EXPECT_NEAR(ReflectionOnScreen(scene, 0, 1).y, 128 + 32 + 96, 1e-3f);
  SceneMarginChange(scene, 0);
  EXPECT_EQ(scene.ReflectionFrame->LocalMatrix, MakeScale(1, -1, 1));
}

TEST(Scene, OutputSizeChangesKeepOrScaleThePicture) {
  // A taller output moves the camera back: the picture keeps its 96 pixels and stays centred.
  TScene scene = MakeScene();
  UpdateProjection(scene, 256, 512);
  SceneCameraZChange(scene, 3, 0, 512);
  EXPECT_NEAR(PictureOnScreen(scene, -0.5f, 0).x, 80, kPixel);
  EXPECT_NEAR(PictureOnScreen(scene, 0, 0).y, 256, kPixel);
  EXPECT_NEAR(PictureOnScreen(scene, 0, 1).y, 256 - 96, kPixel);

  // Without moving the camera (the final rendering) a five-fold output shows the same view
  // five times larger.
  TScene big = MakeScene();
  UpdateProjection(big, 1280, 1280);
  UpdateScreenMatrix(big);
  EXPECT_NEAR(PictureOnScreen(big, -0.5f, 1).x, 400, 1e-3f);
  EXPECT_NEAR(PictureOnScreen(big, 0.5f, 1).y, 160, 1e-3f);
  EXPECT_NEAR(ReflectionOnScreen(big, 0.5f, 1).y, 1120, 1e-3f);

  // A wide output keeps a unit at CameraDistance pixels horizontally as well.
  TScene wide = MakeScene({}, 1, 1, 512, 256);
  EXPECT_NEAR(PictureOnScreen(wide, -0.5f, 0).x, 256 - 48, kPixel);
}

TEST(Scene, RebuildingReplacesTheTreeAndRefusesZeroSizes) {
  TScene scene = MakeScene({.CameraZ = 5, .Yaw = 2});
  CreateScene(scene, {}, 1, 1, 256, 256);
  EXPECT_EQ(scene.CameraDistance, 96);
  EXPECT_EQ(scene.RootFrame->Children().Count(), 2);
  EXPECT_EQ(scene.ImageFrame->Parent(), scene.RootFrame.get());
  EXPECT_EQ(scene.ReflectionFrame->Parent(), scene.ImageFrame);
  EXPECT_EQ(scene.CameraFrame->Parent(), scene.RootFrame.get());

  const Matrix4 before = scene.ScreenMatrix;
  EXPECT_THROW(CreateScene(scene, {}, 1, 1, 0, 256), Exception);
  EXPECT_THROW(CreateScene(scene, {.CameraZ = 0}, 1, 1, 256, 256), Exception);
  EXPECT_THROW(CreateScene(scene, {}, 0, 0, 256, 256), Exception);
  EXPECT_EQ(scene.ScreenMatrix, before);  // a refused rebuild leaves the scene as it was
  EXPECT_EQ(scene.CameraDistance, 96);
}

}  // namespace
