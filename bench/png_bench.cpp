// The PNG export against libpng: both write 8-bit RGBA rows with filter None through zlib at
// level 6, window 15 bits, memory level 8 and the default strategy, so both spend their time in
// deflate and the difference is the encoders' own work.
#include <benchmark/benchmark.h>
#include <png.h>
#include <zlib.h>

#include <cmath>
#include <vector>

#include "picture/png/RFLPNG.h"
#include "toolkit/alpha_image.h"

namespace {

// A rendering-like picture: a transparent field, a shaded rectangle with fine grain, and a
// reflection below it whose alpha fades out. The fourth byte is the alpha, as in the export.
TBitmap MakeRendering(int size) {
  TBitmap image(size, size, pf32bit);
  std::uint32_t noise = 12345;
  for (int y = 0; y < size; ++y) {
    std::uint8_t* row = image.ScanLine(y);
    for (int x = 0; x < size; ++x) {
      std::uint8_t* p = row + 4 * x;
      const bool inPicture = x >= size / 4 && x < 3 * size / 4 && y >= size / 8 && y < size / 2;
      const bool inReflection = x >= size / 4 && x < 3 * size / 4 && y >= size / 2 && y < 3 * size / 4;
      if (!inPicture && !inReflection) continue;
      noise = noise * 1664525u + 1013904223u;
      const int grain = int(noise >> 29);
      p[0] = std::uint8_t(x * 255 / size + grain);
      p[1] = std::uint8_t(y * 255 / size + grain);
      p[2] = std::uint8_t(128 + grain * 3);
      p[3] = inPicture ? 255 : std::uint8_t(160 - (y - size / 2) * 160 / (size / 4));
    }
  }
  return image;
}

void BM_RFLPNGExport(benchmark::State& state) {
  const TBitmap image = MakeRendering(int(state.range(0)));
  const auto mask = ExtractAlphaMask(image, /*Invert=*/true);
  TRFLPNG png;
  png.AssignPicture(image);
  png.UseAlpha = true;
  png.SetAlphaMask(*mask);
  std::size_t bytes = 0;
  for (auto _ : state) {
    TMemoryStream out;
    png.SavePngToStream(out);
    bytes = out.Data().size();
    benchmark::DoNotOptimize(bytes);
  }
  state.counters["file_bytes"] = double(bytes);
}

void WriteToVector(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

void FlushNothing(png_structp) {}

std::size_t WriteWithLibpng(const TBitmap& image, std::vector<std::uint8_t>& out) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return 0;
  }
  png_set_write_fn(png, &out, WriteToVector, FlushNothing);
  png_set_IHDR(png, info, png_uint_32(image.Width()), png_uint_32(image.Height()), 8, PNG_COLOR_TYPE_RGBA,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
  png_set_compression_level(png, Z_DEFAULT_COMPRESSION);
  png_set_compression_strategy(png, Z_DEFAULT_STRATEGY);
  png_set_compression_window_bits(png, 15);
  png_set_compression_mem_level(png, 8);
  png_set_gAMA_fixed(png, info, 45455);
  png_write_info(png, info);
  png_set_bgr(png);  // the bitmap holds blue, green, red, alpha
  for (int y = 0; y < image.Height(); ++y) png_write_row(png, image.ScanLine(y));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out.size();
}

void BM_LibpngSamePixels(benchmark::State& state) {
  const TBitmap image = MakeRendering(int(state.range(0)));
  std::size_t bytes = 0;
  for (auto _ : state) {
    std::vector<std::uint8_t> out;
    bytes = WriteWithLibpng(image, out);
    benchmark::DoNotOptimize(bytes);
  }
  state.counters["file_bytes"] = double(bytes);
}

}  // namespace

BENCHMARK(BM_RFLPNGExport)->Arg(512)->Arg(2560)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibpngSamePixels)->Arg(512)->Arg(2560)->Unit(benchmark::kMillisecond);
