// BMP files through a memory stream at the largest size the program renders: 2560 x 2560 pixels.
#include <benchmark/benchmark.h>

#include "picture/bmp_file.h"

namespace {

constexpr int kSide = 2560;

TBitmap Picture(TPixelFormat format) {
  TBitmap image(kSide, kSide, format);
  for (int y = 0; y < kSide; ++y) {
    std::uint8_t* row = image.ScanLine(y);
    for (std::size_t i = 0; i < image.Stride(); ++i) row[i] = std::uint8_t(i * 7 + y);
  }
  return image;
}

// An 8-bit run-length file whose rows alternate runs and absolute runs, as a photo's would.
std::vector<std::uint8_t> RunLengthFile() {
  std::vector<std::uint8_t> data;
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; x += 160) {
      data.insert(data.end(), {128, std::uint8_t(y)});
      data.insert(data.end(), {0, 32});
      for (int i = 0; i < 32; ++i) data.push_back(std::uint8_t(i + x));
    }
    data.insert(data.end(), {0, 0});
  }
  data.insert(data.end(), {0, 1});
  std::vector<std::uint8_t> file(14 + 40 + 1024, 0);
  auto put32 = [&](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) file[at + i] = std::uint8_t(v >> (8 * i));
  };
  file[0] = 'B';
  file[1] = 'M';
  put32(10, 14 + 40 + 1024);
  put32(14, 40);
  put32(18, kSide);
  put32(22, kSide);
  file[26] = 1;
  file[28] = 8;
  put32(30, 1);
  put32(34, std::uint32_t(data.size()));
  for (int i = 0; i < 256; ++i) file[54 + 4 * i] = file[55 + 4 * i] = file[56 + 4 * i] = std::uint8_t(i);
  file.insert(file.end(), data.begin(), data.end());
  return file;
}

void Read(benchmark::State& state, std::vector<std::uint8_t> file) {
  TMemoryStream stream(std::move(file));
  TBitmap image;
  for (auto _ : state) {
    stream.SetPosition(0);
    ReadBitmapFile(stream, image);
    benchmark::DoNotOptimize(image.Bits());
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * stream.Size());
  state.SetItemsProcessed(std::int64_t(state.iterations()) * kSide * kSide);  // pixels
}

std::vector<std::uint8_t> Written(const TBitmap& image) {
  TMemoryStream stream;
  WriteBitmapFile(image, stream);
  return stream.Data();
}

void BM_Read32Bit(benchmark::State& state) { Read(state, Written(Picture(pf32bit))); }
void BM_Read24Bit(benchmark::State& state) { Read(state, Written(Picture(pf24bit))); }
void BM_ReadRunLength8Bit(benchmark::State& state) { Read(state, RunLengthFile()); }

void Write(benchmark::State& state, TPixelFormat format) {
  const TBitmap image = Picture(format);
  std::int64_t bytes = 0;
  for (auto _ : state) {
    TMemoryStream stream;
    WriteBitmapFile(image, stream);
    bytes = stream.Size();
    benchmark::DoNotOptimize(stream.Data().data());
  }
  state.SetBytesProcessed(std::int64_t(state.iterations()) * bytes);
}

void BM_Write32Bit(benchmark::State& state) { Write(state, pf32bit); }
void BM_Write24Bit(benchmark::State& state) { Write(state, pf24bit); }

BENCHMARK(BM_Read32Bit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Read24Bit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadRunLength8Bit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Write32Bit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Write24Bit)->Unit(benchmark::kMillisecond);

}  // namespace
