// The final rendering, cast and averaged a band at a time on several threads, against the plain
// path: RenderReflection into the whole 5W x 5H image, then ResizeBitmap in rmAverage.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <thread>

#include "render/final.h"
#include "resample/resize.h"
#include "toolkit/worker_pool.h"

namespace {

// A photo-like picture: smooth shading, fine grain and a hard edge, opaque.
TBitmap PhotoPicture(int width, int height, std::mt19937& random) {
  TBitmap image(width, height, pf32bit);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      std::uint8_t* p = image.ScanLine(y) + 4 * x;
      const int grain = int(random() % 9);
      p[0] = std::uint8_t(40 + x * 180 / width + grain);
      p[1] = std::uint8_t(x < width / 3 ? 30 + grain : 200 - y * 150 / height);
      p[2] = std::uint8_t(90 + (x * y) % 97 + grain);
      p[3] = 255;
    }
  return image;
}

TBitmap WhitePixel() {
  TBitmap image(1, 1, pf32bit);
  std::memset(image.Bits(), 255, 4);
  return image;
}

// A 32-bit picture that carries its own alpha: fully, partly and not at all transparent parts.
TBitmap PictureWithAlpha(std::mt19937& random) {
  TBitmap image(23, 37, pf32bit);
  for (std::size_t i = 0; i < image.BitsSize(); ++i) image.Bits()[i] = std::uint8_t(random());
  for (int y = 0; y < 37; ++y) {
    image.ScanLine(y)[3] = 0;
    image.ScanLine(y)[4 * 22 + 3] = 255;
  }
  return image;
}

// Mostly small outputs, to keep the plain path's whole 5W x 5H image affordable, but every side
// from 32 to 512 can come up, odd ones included.
int OutputSide(std::mt19937& random) {
  return random() % 20 == 0 ? 32 + int(random() % 481) : 32 + int(random() % 65);
}

TEST(RenderFinal, BandsOnSeveralThreadsGiveThePlainPathsBytesForRandomSettings) {
  SetSharedWorkerPoolSize(4);
  std::mt19937 random(20261208);
  const TBitmap pictures[] = {PhotoPicture(160, 120, random), PhotoPicture(45, 91, random), WhitePixel(),
                              PictureWithAlpha(random)};
  auto in = [&](int lo, int hi) { return lo + int(random() % unsigned(hi - lo + 1)); };
  for (int round = 0; round < 300; ++round) {
    const TBitmap& source = pictures[round % 4];
    TSceneSliders sceneSliders;
    sceneSliders.CameraZ = in(1, 10);
    sceneSliders.CameraY = in(-5, 5);
    sceneSliders.Yaw = in(-5, 5);
    sceneSliders.Margin = in(0, 10);
    TReflectionSliders sliders;
    sliders.OpacityPosition = in(0, 10);
    sliders.LengthPosition = in(0, 10);
    const int W = OutputSide(random), H = OutputSide(random);
    TScene scene;
    CreateScene(scene, sceneSliders, source.Width(), source.Height(), W, H);
    scene.GradientEnabled = round % 3 != 0;

    TBitmap output(W, H, pf32bit), plain(W, H, pf32bit);
    RenderFinal(scene, sliders, source, output, nullptr);
    const auto average = [](const TBitmap& enlarged, int Width, int Height) {
      return ResizeBitmap(enlarged, Width, Height, rmAverage);
    };
    render_detail::RenderFinalWith(average, scene, sliders, source, plain, nullptr);
    ASSERT_EQ(output.PixelFormat(), plain.PixelFormat());
    ASSERT_EQ(output.TopDown(), plain.TopDown());
    ASSERT_EQ(output.BitsSize(), plain.BitsSize());
    ASSERT_EQ(std::memcmp(output.Bits(), plain.Bits(), plain.BitsSize()), 0)
        << "round " << round << ": " << W << "x" << H << " camera " << sceneSliders.CameraZ << "/"
        << sceneSliders.CameraY << " yaw " << sceneSliders.Yaw << " margin " << sceneSliders.Margin << " opacity "
        << sliders.OpacityPosition << " length " << sliders.LengthPosition << " gradient " << scene.GradientEnabled;
  }
  SetSharedWorkerPoolSize(std::max(std::thread::hardware_concurrency(), 1u));
}

// The batch renders far beyond the window's 512 x 512; there the bands must still give the plain
// path's bytes, at a common screen size and at odd sizes whose bands end part way.
TEST(RenderFinal, BandsGiveThePlainPathsBytesForLargeOutputs) {
  SetSharedWorkerPoolSize(3);
  std::mt19937 random(1024768);
  const TBitmap source = PhotoPicture(211, 157, random);
  const struct {
    int W, H, yaw, cameraY;
  } sizes[] = {{1024, 768, -2, 1}, {601, 533, 3, -4}, {769, 515, 0, 0}};
  for (const auto& size : sizes) {
    TSceneSliders sceneSliders;
    sceneSliders.Yaw = size.yaw;
    sceneSliders.CameraY = size.cameraY;
    TScene scene;
    CreateScene(scene, sceneSliders, source.Width(), source.Height(), size.W, size.H);
    TBitmap output(size.W, size.H, pf32bit), plain(size.W, size.H, pf32bit);
    RenderFinal(scene, TReflectionSliders(), source, output, nullptr);
    render_detail::RenderFinalWith(
        [](const TBitmap& enlarged, int Width, int Height) { return ResizeBitmap(enlarged, Width, Height, rmAverage); },
        scene, TReflectionSliders(), source, plain, nullptr);
    ASSERT_EQ(output.BitsSize(), plain.BitsSize());
    EXPECT_EQ(std::memcmp(output.Bits(), plain.Bits(), plain.BitsSize()), 0) << size.W << "x" << size.H;
  }
  SetSharedWorkerPoolSize(std::max(std::thread::hardware_concurrency(), 1u));
}

}  // namespace
