#include "scene/scene.h"

#include <cmath>
#include <utility>

#include "numeric/extended.h"
#include "toolkit/errors.h"

namespace {

// Near and far planes of the projection, in scene units from the camera.
constexpr float NearPlane = 0.1f;
constexpr float FarPlane = 100.0f;

}  // namespace

void CreateScene(TScene& scene, const TSceneSliders& sliders, int sourceWidth, int sourceHeight,
                 int outputWidth, int outputHeight) {
  InitTrigTables();
  // Built aside and moved in at the end, so that a refused size leaves the caller's scene intact.
  // It starts from TScene's defaults: the start-up field of view, with the gradient on.
  TScene fresh;
  fresh.RootFrame = TSXFrame::CreateRoot();
  fresh.ImageFrame = TSXFrame::Create(*fresh.RootFrame);
  fresh.ReflectionFrame = TSXFrame::Create(*fresh.ImageFrame);
  fresh.CameraFrame = TSXFrame::Create(*fresh.RootFrame);
  // The camera looks along +Z with +Y up; its axes never change afterwards.
  fresh.CameraFrame->SetOrientation(fresh.CameraFrame->Parent(), {0, 0, 1}, {0, 1, 0});
  UpdateProjection(fresh, outputWidth, outputHeight);
  SceneCameraZChange(fresh, sliders.CameraZ, sliders.CameraY, outputHeight);
  SceneYawChange(fresh, sliders.Yaw, sourceWidth, sourceHeight);
  SceneMarginChange(fresh, sliders.Margin);
  scene = std::move(fresh);
}

void UpdateProjection(TScene& scene, int outputWidth, int outputHeight) {
  if (outputWidth == 0) throw Exception(SZeroDivide);
  const float aspect = float(Extended(outputHeight) / outputWidth);
  scene.ProjectionMatrix = MakePerspectiveFov(scene.FieldOfView, aspect, NearPlane, FarPlane);
  scene.ViewportMatrix = MakeViewport(0, 0, outputWidth, outputHeight);
}

void UpdateScreenMatrix(TScene& scene) {
  scene.ScreenMatrix =
      MatrixMultiply(MatrixMultiply(scene.ViewMatrix, scene.ProjectionMatrix), scene.ViewportMatrix);
}

void SceneCameraZChange(TScene& scene, int cameraZPosition, int cameraYPosition, int outputHeight) {
  if (cameraZPosition == 0) throw Exception(SZeroDivide);
  scene.CameraDistance = cameraZPosition * 32;
  // The distance at which a picture plane outputHeight / CameraDistance units high fills the
  // output's height, so that one unit spans CameraDistance pixels.
  const Extended distance = (Extended(outputHeight) / 2) / (Extended(scene.CameraDistance) / 2) *
                            (Extended(0.5) / ExtTan(Extended(scene.FieldOfView) / 2));
  const Vector3 position{0, float(Extended(cameraYPosition) / 8), float(-distance)};
  scene.CameraFrame->SetPosition(scene.CameraFrame->Parent(), position);
  scene.ViewMatrix = scene.CameraFrame->GetInverseWorldMatrix();
  UpdateScreenMatrix(scene);
}

void SceneYawChange(TScene& scene, int yawPosition, int sourceWidth, int sourceHeight) {
  // The picture's longer side becomes one unit.
  float sx = 1, sy = 1;
  if (sourceWidth > sourceHeight) {
    sy = float(Extended(sourceHeight) / sourceWidth);
  } else {
    if (sourceHeight == 0) throw Exception(SZeroDivide);
    sx = float(Extended(sourceWidth) / sourceHeight);
  }
  const int angle = yawPosition * 40960 / 360;  // close to ten degrees a step, truncated toward zero
  const Matrix4 M = MatrixMultiply(MakeScale(sx, sy, 1), MakeRotationY(angle));
  scene.ImageFrame->SetMatrix(scene.ImageFrame->Parent(), M);
}

void SceneMarginChange(TScene& scene, int marginPosition) {
  // Mirror y, then move down by the margin: the reflection's near edge hangs marginPosition / 30
  // units below the floor line.
  const Matrix4 M =
      MatrixMultiply(MakeScale(1, -1, 1), MakeTranslation(0, float(-Extended(marginPosition) / 30), 0));
  scene.ReflectionFrame->SetMatrix(scene.ReflectionFrame->Parent(), M);
}
