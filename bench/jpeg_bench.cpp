// Loading a 1024 x 768 photo-like JPEG file into the program's 32-bit source picture, as opening it
// does: the file read, the decode and the opaque 32-bit result. A grey file of the same size takes
// the quantised road.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "picture/loading.h"

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

std::vector<std::uint8_t> Encode(const std::vector<std::uint8_t>& samples, int components) {
  jpeg_compress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = kWidth;
  info.image_height = kHeight;
  info.input_components = components;
  info.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 90, TRUE);
  jpeg_start_compress(&info, TRUE);
  const std::size_t stride = std::size_t(kWidth) * std::size_t(components);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(samples.data() + info.next_scanline * stride);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  std::vector<std::uint8_t> bytes(buffer, buffer + size);
  jpeg_destroy_compress(&info);
  std::free(buffer);
  return bytes;
}

void LoadPhoto(benchmark::State& state, int components) {
  const std::string fileName =
      (std::filesystem::temp_directory_path() / ("rfl_bench_photo_" + std::to_string(components) + ".jpg")).string();
  {
    const std::vector<std::uint8_t> bytes = Encode(PhotoSamples(components), components);
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
