// Speed of the final rendering's shrink: a 2560 x 2560 32-bit rendering averaged five-fold to 512 x 512.
#include <benchmark/benchmark.h>

#include <random>

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

}  // namespace
