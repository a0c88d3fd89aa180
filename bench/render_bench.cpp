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
#include "scene/vector_math.h"
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

// The grid: each benchmark's name carries its picture size (trcCameraZ), output side, tilt (trcYaw),
// camera height (trcCameraY) and threads. Narrow it with a filter, for example
//   render_bench --benchmark_filter='FinalGrid/size:3/out:512/.*/threads:1'
// Counters: `rays` cast per rendering (the final pass's box of the enlarged target), the time per
// ray, and the steps per rendering that fell back to extended precision (`extended_*`).
constexpr int GridPictureSizes[] = {1, 3, 8, 10};

TSceneSliders GridSliders(const benchmark::State& state) {
  return {.CameraZ = int(state.range(0)), .CameraY = int(state.range(3)), .Yaw = int(state.range(2))};
}

void ReportExtendedSteps(benchmark::State& state, const TExtendedSteps& before) {
  const TExtendedSteps& after = ExtendedSteps();
  const double renders = double(state.iterations());
  state.counters["extended_points"] = double(after.points - before.points) / renders;
  state.counters["extended_intersections"] = double(after.intersections - before.intersections) / renders;
  state.counters["extended_roundings"] = double(after.roundings - before.roundings) / renders;
}

void BM_FinalGrid(benchmark::State& state) {
  const int side = int(state.range(1));
  SetSharedWorkerPoolSize(unsigned(state.range(4)));
  const TBitmap source = Photo();
  TScene scene;
  CreateScene(scene, GridSliders(state), source.Width(), source.Height(), side, side);
  const TReflectionSliders sliders;
  double rays = 0;
  {
    TScene enlarged = std::move(scene);
    UpdateProjection(enlarged, side * 5, side * 5);
    UpdateScreenMatrix(enlarged);
    const TReflectionCaster caster(enlarged, sliders, source, side * 5, side * 5, true);
    rays = std::max(0.0, double(caster.LastColumn() - caster.FirstColumn() + 1)) *
           std::max(0.0, double(caster.LastRow() - caster.FirstRow() + 1));
    UpdateProjection(enlarged, side, side);
    UpdateScreenMatrix(enlarged);
    scene = std::move(enlarged);
  }
  TBitmap output(side, side, pf32bit);
  // Only the calling thread's steps are counted: the grid's one-core runs count them all.
  const TExtendedSteps before = ExtendedSteps();
  for (auto _ : state) {
    RenderFinal(scene, sliders, source, output, nullptr);
    benchmark::DoNotOptimize(output.Bits());
  }
  if (state.range(4) == 1) ReportExtendedSteps(state, before);
  state.counters["rays"] = rays;
  state.counters["ray_time"] = benchmark::Counter(rays, benchmark::Counter::kIsIterationInvariantRate |
                                                            benchmark::Counter::kInvert);
  SetSharedWorkerPoolSize(std::max(std::thread::hardware_concurrency(), 1u));
}
BENCHMARK(BM_FinalGrid)
    ->ArgsProduct({{std::begin(GridPictureSizes), std::end(GridPictureSizes)},
                   {64, 256, 512, 333},
                   benchmark::CreateDenseRange(-5, 5, 1),
                   benchmark::CreateDenseRange(-5, 5, 1),
                   {1, 2}})
    ->ArgNames({"size", "out", "tilt", "height", "threads"})
    ->Unit(benchmark::kMillisecond);

// A slider move's frame over the grid: the 512 x 512 preview and the repaint's composite, one core.
void BM_PreviewFrameGrid(benchmark::State& state) {
  const TBitmap source = Photo();
  TScene scene;
  CreateScene(scene, GridSliders(state), source.Width(), source.Height(), 512, 512);
  TBitmap output(512, 512, pf32bit), window(512, 512, pf24bit);
  TBitmapCanvas canvas(window);
  const TExtendedSteps before = ExtendedSteps();
  for (auto _ : state) {
    RenderReflection(scene, {}, source, output, false);
    CompositeOnColor(canvas, 0, 0, output, clBlack);
    benchmark::DoNotOptimize(window.Bits());
  }
  ReportExtendedSteps(state, before);
}
BENCHMARK(BM_PreviewFrameGrid)
    ->ArgsProduct({{std::begin(GridPictureSizes), std::end(GridPictureSizes)},
                   {512},
                   benchmark::CreateDenseRange(-5, 5, 1),
                   benchmark::CreateDenseRange(-5, 5, 1)})
    ->ArgNames({"size", "out", "tilt", "height"})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
