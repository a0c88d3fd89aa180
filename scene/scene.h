#pragma once
// The scene the main window keeps: four frames, four matrices, the field of view, the camera
// distance and the gradient flag. The window owns one TScene; its slider handlers call the update
// functions below with the slider positions and the output size, then render and repaint.
#include <cstdint>
#include <memory>

#include "scene/frame.h"
#include "scene/vector_math.h"

struct TScene {
  std::unique_ptr<TSXFrame> RootFrame;   // owns the whole frame tree
  TSXFrame* ImageFrame = nullptr;        // child of RootFrame: places the picture
  TSXFrame* ReflectionFrame = nullptr;   // child of ImageFrame: the mirrored picture
  TSXFrame* CameraFrame = nullptr;       // child of RootFrame: camera position and axes
  Matrix4 ViewMatrix{};
  Matrix4 ProjectionMatrix{};
  Matrix4 ViewportMatrix{};
  Matrix4 ScreenMatrix{};
  float FieldOfView = 1.0471976f;        // vertical field of view, radians (pi/3 in single precision)
  std::int32_t CameraDistance = 0;       // output pixels one scene unit spans on the picture plane
  bool GradientEnabled = true;           // fading reflection (true) or uniform opacity (false)
};

// The slider positions the scene follows.
struct TSceneSliders {
  int CameraZ = 3;  // trcCameraZ, 1..10
  int CameraY = 0;  // trcCameraY, -5..5
  int Yaw = 0;      // trcYaw, -5..5
  int Margin = 0;   // trcMargin, 0..10
};

// Builds the frames and every matrix for the sliders, the picture size and the output size, in the
// start-up order: frames, camera orientation, projection, camera, picture frame, reflection frame.
void CreateScene(TScene& scene, const TSceneSliders& sliders, int sourceWidth, int sourceHeight,
                 int outputWidth, int outputHeight);

// ProjectionMatrix and ViewportMatrix for the output size. Does not refresh ScreenMatrix.
void UpdateProjection(TScene& scene, int outputWidth, int outputHeight);
// ScreenMatrix = ViewMatrix x ProjectionMatrix x ViewportMatrix.
void UpdateScreenMatrix(TScene& scene);

// The scene side of trcCameraZChange: CameraDistance, camera position, ViewMatrix, ScreenMatrix.
void SceneCameraZChange(TScene& scene, int cameraZPosition, int cameraYPosition, int outputHeight);
// The scene side of trcYawChange: scales the picture frame to the picture's proportions and turns it.
void SceneYawChange(TScene& scene, int yawPosition, int sourceWidth, int sourceHeight);
// The scene side of trcMarginChange: mirrors the reflection frame and moves it down by the margin.
void SceneMarginChange(TScene& scene, int marginPosition);
