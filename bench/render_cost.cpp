// One final rendering at one setting of the grid, on one thread, for instruction counts, which
// stay steady on a loaded machine where times do not:
//
//   valgrind --tool=callgrind --toggle-collect='RenderFinal*' render_cost SIZE OUT TILT HEIGHT
//
// The same 1024 x 768 photo and scene as render_bench's FinalGrid. Prints the steps that fell back
// to extended precision and the rays cast (the instructions per ray compare settings whose boxes
// differ).
#include <algorithm>
#include <cstdio>
#include <random>
#include <string>

#include "render/final.h"
#include "render/reflection.h"
#include "scene/vector_math.h"
#include "toolkit/worker_pool.h"

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s SIZE OUT TILT HEIGHT\n", argv[0]);
    return 2;
  }
  const int size = std::stoi(argv[1]), side = std::stoi(argv[2]);
  SetSharedWorkerPoolSize(1);
  TBitmap source(1024, 768, pf32bit);
  std::mt19937 random(11);
  for (std::size_t i = 0; i < source.BitsSize(); ++i) source.Bits()[i] = std::uint8_t(random());
  TScene scene;
  CreateScene(scene, {.CameraZ = size, .CameraY = std::stoi(argv[4]), .Yaw = std::stoi(argv[3])}, source.Width(),
              source.Height(), side, side);
  // The rays the final pass casts: its caster's box of the enlarged target.
  double rays = 0;
  {
    UpdateProjection(scene, side * 5, side * 5);
    UpdateScreenMatrix(scene);
    const TReflectionCaster caster(scene, {}, source, side * 5, side * 5, true);
    rays = std::max(0.0, double(caster.LastColumn() - caster.FirstColumn() + 1)) *
           std::max(0.0, double(caster.LastRow() - caster.FirstRow() + 1));
    UpdateProjection(scene, side, side);
    UpdateScreenMatrix(scene);
  }
  TBitmap output(side, side, pf32bit);
  RenderFinal(scene, {}, source, output, nullptr);
  const TExtendedSteps& steps = ExtendedSteps();
  std::printf("extended points %llu intersections %llu roundings %llu rays %.0f\n", (unsigned long long)steps.points,
              (unsigned long long)steps.intersections, (unsigned long long)steps.roundings, rays);
  return 0;
}
