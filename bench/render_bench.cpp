// Speed of the renderer with a 1024 x 768 photo: the preview at 256 x 256 and 512 x 512, the
// high-quality pass over a 2560 x 2560 target, the final rendering of a 512 x 512 and a
// 256 x 256 output on one and on two threads, and the slider path of the window (the preview plus
// the repaint's composite over black).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <thread>

#include "render/final.h"
#include "render/reflection.h"
#include "toolkit/alpha_image.h"
#include "toolkit/worker_pool.h"

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

// Arguments: the output side, and the number of threads that work (the caller included).
void BM_RenderFinal(benchmark::State& state) {
  const int size = int(state.range(0));
  SetSharedWorkerPoolSize(unsigned(state.range(1)));
  const TBitmap source = Photo();
  TScene scene;
  CreateScene(scene, {}, source.Width(), source.Height(), size, size);
  const TReflectionSliders sliders;
  TBitmap output(size, size, pf32bit);
  for (auto _ : state) {
    RenderFinal(scene, sliders, source, output, nullptr);
    benchmark::DoNotOptimize(output.Bits());
  }
  SetSharedWorkerPoolSize(std::max(std::thread::hardware_concurrency(), 1u));
}
BENCHMARK(BM_RenderFinal)->ArgsProduct({{512, 256}, {1, 2}})->ArgNames({"size", "threads"})->Unit(benchmark::kMillisecond);

// What a slider move costs before the window's own drawing: the preview, then the repaint's
// composite over black drawn on a canvas of the output's size.
void BM_PreviewAndRepaint512(benchmark::State& state) {
  const TBitmap source = Photo();
  TScene scene;
  CreateScene(scene, {}, source.Width(), source.Height(), 512, 512);
  TBitmap output(512, 512, pf32bit), window(512, 512, pf24bit);
  TBitmapCanvas canvas(window);
  for (auto _ : state) {
    RenderReflection(scene, {}, source, output, false);
    CompositeOnColor(canvas, 0, 0, output, clBlack);
    benchmark::DoNotOptimize(window.Bits());
  }
}
BENCHMARK(BM_PreviewAndRepaint512)->Unit(benchmark::kMillisecond);

void BM_CompositeOnColor512(benchmark::State& state) {
  const TBitmap source = Photo();
  TScene scene;
  CreateScene(scene, {}, source.Width(), source.Height(), 512, 512);
  TBitmap output(512, 512, pf32bit), window(512, 512, pf24bit);
  TBitmapCanvas canvas(window);
  RenderReflection(scene, {}, source, output, false);
  for (auto _ : state) {
    CompositeOnColor(canvas, 0, 0, output, clBlack);
    benchmark::DoNotOptimize(window.Bits());
  }
}
BENCHMARK(BM_CompositeOnColor512)->Unit(benchmark::kMillisecond);

}  // namespace
