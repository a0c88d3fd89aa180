// The cost of the software x87 type (what a WebAssembly build computes with) against the native
// long double, on the extended-precision steps that run per pixel or per byte: the bilinear
// resampler's channel, the average resampler's weighted sum and rounding, the PNG row filter's
// score, and the renderer's extended fallback (a mix and its rounding to a byte). The formulas are
// those of the core, written once for both types.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "numeric/extended.h"
#include "numeric/soft_extended.h"

namespace {

inline long double Rint(long double x) { return std::rint(x); }
inline SoftExtended Rint(SoftExtended x) { return ExtRint(x); }

struct Inputs {
  std::vector<std::uint8_t> bytes;
  std::vector<double> fractions;
  std::vector<float> weights;
  Inputs() {
    std::mt19937 random(18);
    for (int i = 0; i < 4096; ++i) {
      bytes.push_back(std::uint8_t(random()));
      fractions.push_back(double(random() % 1000) / 1000);
      weights.push_back(float(random() % 1000) / 999);
    }
  }
};
const Inputs& Data() {
  static const Inputs inputs;
  return inputs;
}

template <class T>
void BilinearChannel(benchmark::State& state) {
  const Inputs& d = Data();
  std::size_t i = 0;
  for (auto _ : state) {
    const double fx = d.fractions[i & 4095], fy = d.fractions[(i + 7) & 4095];
    const std::uint8_t a = d.bytes[i & 4095], b = d.bytes[(i + 1) & 4095], c = d.bytes[(i + 2) & 4095],
                       e = d.bytes[(i + 3) & 4095];
    const T gx = 1 - T(fx);
    const double top = static_cast<double>(gx * a + fx * T(b));
    const double bottom = static_cast<double>(gx * c + fx * T(e));
    benchmark::DoNotOptimize(static_cast<int>(Rint((1 - T(fy)) * top + fy * T(bottom))));
    ++i;
  }
  state.SetItemsProcessed(std::int64_t(state.iterations()));
}

template <class T>
void AverageTerm(benchmark::State& state) {
  const Inputs& d = Data();
  std::size_t i = 0;
  float sum = 0;
  for (auto _ : state) {
    const T w = T(double(d.weights[i & 4095])) * d.fractions[(i + 3) & 4095];
    sum = static_cast<float>(sum + w * d.bytes[i & 4095]);
    if ((i & 15) == 15) {
      benchmark::DoNotOptimize(static_cast<int>(Rint(T(sum) / 16.0f)));
      sum = 0;
    }
    ++i;
  }
  state.SetItemsProcessed(std::int64_t(state.iterations()));
}

template <class T>
void RowScore(benchmark::State& state) {
  int length = 1000;
  for (auto _ : state) {
    const T n = length;
    const T score = n / T(1.5) / 37 * 1000 + (std::int64_t(length / 3) + 11 + 7) / n * 1000;
    benchmark::DoNotOptimize(std::int64_t(score));
    length = 1000 + (length & 255);
  }
  state.SetItemsProcessed(std::int64_t(state.iterations()));
}

template <class T>
void RendererMix(benchmark::State& state) {
  const Inputs& d = Data();
  std::size_t i = 0;
  for (auto _ : state) {
    const float w = d.weights[i & 4095];
    const T v = 1 - T(w);
    const T mix = v * d.bytes[i & 4095] + T(w) * d.bytes[(i + 5) & 4095];
    benchmark::DoNotOptimize(int(double(Rint(mix))));
    ++i;
  }
  state.SetItemsProcessed(std::int64_t(state.iterations()));
}

BENCHMARK_TEMPLATE(BilinearChannel, long double);
BENCHMARK_TEMPLATE(BilinearChannel, SoftExtended);
BENCHMARK_TEMPLATE(AverageTerm, long double);
BENCHMARK_TEMPLATE(AverageTerm, SoftExtended);
BENCHMARK_TEMPLATE(RowScore, long double);
BENCHMARK_TEMPLATE(RowScore, SoftExtended);
BENCHMARK_TEMPLATE(RendererMix, long double);
BENCHMARK_TEMPLATE(RendererMix, SoftExtended);

}  // namespace
