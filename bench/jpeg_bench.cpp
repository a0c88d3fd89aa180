// Loading a 1024 x 768 photo-like JPEG file into the program's 32-bit source picture, as opening it
// does: the file read, the decode and the opaque 32-bit result. A grey file of the same size takes
// the quantised road; a photo with an EXIF orientation is turned on the way; a file of endless
// scans is refused.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "picture/loading.h"
#include "toolkit/errors.h"
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

// Loads the file made of `bytes` for every iteration; `refused` files must fail to load.
void LoadFile(benchmark::State& state, const std::string& name, const std::vector<std::uint8_t>& bytes, bool refused = false) {
  const std::string fileName = (std::filesystem::temp_directory_path() / name).string();
  std::ofstream(fileName, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  for (auto _ : state) {
    try {
      TBitmap picture = ReadSourcePicture(fileName, TPictureKind::JPEG);
      benchmark::DoNotOptimize(picture.Bits());
      if (refused) state.SkipWithError("loaded a file that should be refused");
    } catch (const Exception&) {
      if (!refused) state.SkipWithError("refused a good file");
    }
  }
  std::filesystem::remove(fileName);
}

void LoadPhoto(benchmark::State& state, int components, int orientation = 1) {
  std::vector<std::uint8_t> bytes = EncodeJPEG({kWidth, kHeight, components, PhotoSamples(components)}, /*quality=*/90);
  if (orientation != 1) bytes = WithMarker(bytes, 0xE1, ExifBlock(orientation));
  LoadFile(state, "rfl_bench_photo_" + std::to_string(components) + "_" + std::to_string(orientation) + ".jpg", bytes);
}

void BM_LoadJPEGPhoto1024x768(benchmark::State& state) { LoadPhoto(state, 3); }
void BM_LoadJPEGGrey1024x768(benchmark::State& state) { LoadPhoto(state, 1); }
// The same photo held upright when taken: turned a quarter while it is decoded.
void BM_LoadJPEGPhoto1024x768Turned(benchmark::State& state) { LoadPhoto(state, 3, 6); }

// How long a file of 20,000 empty scans (200 KB, declaring 2048 x 2048) takes to be refused: the
// scan limit stops it at its 501st scan.
void BM_RefuseJPEG20000Scans(benchmark::State& state) {
  const std::vector<std::uint8_t> grey = EncodeJPEG({16, 16, 1, std::vector<std::uint8_t>(256, 90)}, 90, true);
  LoadFile(state, "rfl_bench_scans.jpg", WithEmptyScans(WithDeclaredSize(grey, 2048, 2048), 20000), true);
}

BENCHMARK(BM_LoadJPEGPhoto1024x768)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadJPEGGrey1024x768)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadJPEGPhoto1024x768Turned)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RefuseJPEG20000Scans)->Unit(benchmark::kMillisecond);

}  // namespace
