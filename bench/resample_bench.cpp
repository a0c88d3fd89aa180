// Speed of the final rendering: its five-fold shrink (a 2560 x 2560 32-bit rendering averaged to
// 512 x 512) and the whole rendering of a photo-sized picture at the largest output, 512 x 512.
#include <benchmark/benchmark.h>

#include <random>

#include "render/final.h"
#include "resample/resize.h"

namespace {

TBitmap RandomImage(int width, int height) {
  TBitmap image(width, height, pf32bit);
  std::mt19937 random(7);
  for (std::size_t i = 0; i < image.BitsSize(); ++i) image.Bits()[i] = std::uint8_t(random());
  return image;
}

void BM_AverageFiveFold2560To512(benchmark::State& state) {
  const TBitmap source = RandomImage(2560, 2560);
  for (auto _ : state) {
    auto small = ResizeBitmap(source, 512, 512, rmAverage);
    benchmark::DoNotOptimize(small);
  }
}
BENCHMARK(BM_AverageFiveFold2560To512)->Unit(benchmark::kMillisecond);

void BM_RenderFinal512(benchmark::State& state) {
  TBitmap picture = RandomImage(800, 600);
  for (std::size_t i = 3; i < picture.BitsSize(); i += 4) picture.Bits()[i] = 255;
  TScene scene;
  CreateScene(scene, TSceneSliders{}, picture.Width(), picture.Height(), 512, 512);
  const TReflectionSliders sliders;
  TBitmap output(512, 512, pf32bit);
  for (auto _ : state) RenderFinal(scene, sliders, picture, output, nullptr);
}
BENCHMARK(BM_RenderFinal512)->Unit(benchmark::kMillisecond);

}  // namespace
