// Loading a 1024 x 768 photo-like JPEG file into the program's 32-bit source picture, as opening it
// does: the file read, the decode and the opaque 32-bit result. A grey file of the same size takes
// the quantised road.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "picture/loading.h"
#include "tests/support/jpeg_writer.h"

namespace {

constexpr int kWidth = 1024;
constexpr int kHeight = 768;

// Smooth colour fields with edges and a little grain: what a camera gives, so that the entropy
// decoder and the inverse DCT see a photo's amount of detail.
std::vector<std::uint8_t> PhotoSamples(int components) {
  std::vector<std::uint8_t> samples;
  samples.reserve(std::size_t(kWidth) * kHeight * std::size_t(components));
  std::mt19937 random(5);
  std::normal_distribution<float> grain(0.0f, 4.0f);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const float sky = 0.5f + 0.5f * std::sin(x * 0.011f + y * 0.004f);
      const bool hill = y > 420 + 60 * std::sin(x * 0.007f);
      const float disc = std::hypot(x - 700.0f, y - 250.0f) < 120.0f ? 1.0f : 0.0f;
      float rgb[3] = {hill ? 60 + 40 * sky : 120 + 100 * sky + 100 * disc,
                      hill ? 110 + 50 * sky : 150 + 80 * sky + 90 * disc,
                      hill ? 40 + 20 * sky : 220 - 60 * sky};
      for (float& c : rgb) c = std::clamp(c + grain(random), 0.0f, 255.0f);
      if (components == 1)
        samples.push_back(std::uint8_t(0.299f * rgb[0] + 0.587f * rgb[1] + 0.114f * rgb[2]));
      else
        for (float c : rgb) samples.push_back(std::uint8_t(c));
    }
  }
  return samples;
}

void LoadPhoto(benchmark::State& state, int components) {
  const std::string fileName =
      (std::filesystem::temp_directory_path() / ("rfl_bench_photo_" + std::to_string(components) + ".jpg")).string();
  {
    const std::vector<std::uint8_t> bytes =
        EncodeJPEG({kWidth, kHeight, components, PhotoSamples(components)}, /*quality=*/90);
    std::ofstream(fileName, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  }
  for (auto _ : state) {
    TBitmap picture = ReadSourcePicture(fileName, TPictureKind::JPEG);
    benchmark::DoNotOptimize(picture.Bits());
  }
  std::filesystem::remove(fileName);
}

void BM_LoadJPEGPhoto1024x768(benchmark::State& state) { LoadPhoto(state, 3); }
void BM_LoadJPEGGrey1024x768(benchmark::State& state) { LoadPhoto(state, 1); }

BENCHMARK(BM_LoadJPEGPhoto1024x768)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadJPEGGrey1024x768)->Unit(benchmark::kMillisecond);

}  // namespace
