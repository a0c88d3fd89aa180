// Where the scene puts the picture and its reflection on the output: the four corners that
// ImageMagick's -distort Perspective takes for the picture stacked over its flipped copy, so that
// the comparison scripts hand ImageMagick the same placement as ours at any tilt and camera height.
//
//   picture_corners PICTURE_WIDTH PICTURE_HEIGHT SIDE SIZE TILT HEIGHT
//
// prints "0,0 X,Y W,0 X,Y 0,2H X,Y W,2H X,Y": the picture's top corners, then the reflection's far
// corners (the stacked image is the picture on top of its flipped copy, 2H high), in output pixels.
#include <cstdio>
#include <exception>
#include <string>

#include "scene/scene.h"

int main(int argc, char** argv) {
  if (argc != 7) {
    std::fprintf(stderr, "usage: %s PICTURE_WIDTH PICTURE_HEIGHT SIDE SIZE TILT HEIGHT\n", argv[0]);
    return 2;
  }
  try {
    const int width = std::stoi(argv[1]), height = std::stoi(argv[2]), side = std::stoi(argv[3]);
    TScene scene;
    CreateScene(scene, {.CameraZ = std::stoi(argv[4]), .CameraY = std::stoi(argv[6]), .Yaw = std::stoi(argv[5])},
                width, height, side, side);
    const Matrix4& image = scene.ImageFrame->LocalMatrix;
    const Matrix4 pictureToScreen = MatrixMultiply(image, scene.ScreenMatrix);
    const Matrix4 reflectionToScreen =
        MatrixMultiply(MatrixMultiply(scene.ReflectionFrame->LocalMatrix, image), scene.ScreenMatrix);
    auto corner = [](const Matrix4& M, float x) {
      const Vector3 p = TransformPoint({x, 1, 0}, M);
      char text[64];
      std::snprintf(text, sizeof text, "%.2f,%.2f", p.x, p.y);
      return std::string(text);
    };
    std::printf("0,0 %s %d,0 %s 0,%d %s %d,%d %s\n", corner(pictureToScreen, -0.5f).c_str(), width,
                corner(pictureToScreen, 0.5f).c_str(), 2 * height, corner(reflectionToScreen, -0.5f).c_str(), width,
                2 * height, corner(reflectionToScreen, 0.5f).c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
