// Speed of the ray-cast renderer with a 1024 x 768 photo: the preview at 256 x 256 and 512 x 512,
// and the high-quality pass of the final rendering of a 512 x 512 output (2560 x 2560).
#include <benchmark/benchmark.h>

#include <random>

#include "render/reflection.h"

namespace {

TBitmap Photo() {
  TBitmap image(1024, 768, pf32bit);
  std::mt19937 random(11);
  for (std::size_t i = 0; i < image.BitsSize(); ++i) image.Bits()[i] = std::uint8_t(random());
  return image;
}

void RenderAt(benchmark::State& state, int outputSize, int renderSize, bool highQuality) {
  const TBitmap source = Photo();
  TScene scene;
  CreateScene(scene, {}, source.Width(), source.Height(), outputSize, outputSize);
  // The final rendering enlarges the output without moving the camera.
  UpdateProjection(scene, renderSize, renderSize);
  UpdateScreenMatrix(scene);
  TBitmap output(renderSize, renderSize, pf32bit);
  for (auto _ : state) {
    RenderReflection(scene, {}, source, output, highQuality);
    benchmark::DoNotOptimize(output.Bits());
  }
}

void BM_RenderPreview256(benchmark::State& state) { RenderAt(state, 256, 256, false); }
void BM_RenderPreview512(benchmark::State& state) { RenderAt(state, 512, 512, false); }
void BM_RenderHighQuality2560(benchmark::State& state) { RenderAt(state, 512, 2560, true); }

BENCHMARK(BM_RenderPreview256)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderPreview512)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderHighQuality2560)->Unit(benchmark::kMillisecond);

}  // namespace
