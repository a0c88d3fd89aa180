// Loading a 1024 x 768 cut-out with alpha in each of the new formats into the program's 32-bit
// source picture, beside the same library's own plain decode of the same file (the file read and
// the decoder's usual 8-bit RGBA output): our readers should stay within 1.2 times the library.
// The pictures are made by Debian's encoders (ImageMagick, cwebp, heif-enc, avifenc) at start.
#include <benchmark/benchmark.h>
#include <libheif/heif.h>
#include <spng.h>
#include <webp/decode.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "picture/loading.h"

extern "C" {
typedef int (*VP8CPUInfo)(int feature);
extern VP8CPUInfo VP8GetCPUInfo;
}

namespace {

std::string Folder() { return (std::filesystem::temp_directory_path() / "rfl_decode_bench").string(); }

// Makes the pictures once: a swirled gradient with an alpha ramp, as a cut-out would be.
const std::string& Pictures() {
  static const std::string folder = [] {
    const std::string f = Folder();
    std::filesystem::create_directories(f);
    const std::string make =
        "cd " + f + " && /usr/bin/convert -size 1024x768 gradient:orange-navy -swirl 120 -attenuate 0.3 +noise Gaussian"
        " -alpha set -channel A -fx 'i < 100 || i > 924 ? 0 : 1' +channel png32:cut.png"
        " && cwebp -quiet -q 80 cut.png -o lossy.webp && cwebp -quiet -lossless cut.png -o lossless.webp"
        " && heif-enc -q 80 cut.png -o cut.heic >/dev/null && avifenc -s 6 cut.png cut.avif >/dev/null";
    if (std::system(make.c_str()) != 0) std::abort();
    VP8GetCPUInfo = nullptr;  // the library's own decode with the C code the loader uses
    return f;
  }();
  return folder;
}

std::vector<std::uint8_t> Bytes(const std::string& name) {
  std::ifstream in(Pictures() + "/" + name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void Ours(benchmark::State& state, const char* name, TPictureKind kind) {
  const std::string file = Pictures() + "/" + name;
  for (auto _ : state) {
    TBitmap picture = ReadSourcePicture(file, kind);
    benchmark::DoNotOptimize(picture.Bits());
  }
}

void PlainSpng(benchmark::State& state) {
  for (auto _ : state) {
    const std::vector<std::uint8_t> file = Bytes("cut.png");
    spng_ctx* ctx = spng_ctx_new(0);
    spng_set_png_buffer(ctx, file.data(), file.size());
    std::size_t size = 0;
    spng_decoded_image_size(ctx, SPNG_FMT_RGBA8, &size);
    std::vector<std::uint8_t> out(size);
    if (spng_decode_image(ctx, out.data(), size, SPNG_FMT_RGBA8, SPNG_DECODE_TRNS) != 0) state.SkipWithError("spng");
    spng_ctx_free(ctx);
    benchmark::DoNotOptimize(out.data());
  }
}

void PlainWebP(benchmark::State& state, const char* name) {
  for (auto _ : state) {
    const std::vector<std::uint8_t> file = Bytes(name);
    int width = 0, height = 0;
    std::uint8_t* out = WebPDecodeBGRA(file.data(), file.size(), &width, &height);
    if (!out) state.SkipWithError("webp");
    benchmark::DoNotOptimize(out);
    WebPFree(out);
  }
}

void PlainHeif(benchmark::State& state, const char* name) {
  for (auto _ : state) {
    heif_context* ctx = heif_context_alloc();
    heif_image_handle* handle = nullptr;
    heif_image* image = nullptr;
    if (heif_context_read_from_file(ctx, (Pictures() + "/" + name).c_str(), nullptr).code != heif_error_Ok ||
        heif_context_get_primary_image_handle(ctx, &handle).code != heif_error_Ok ||
        heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGBA, nullptr).code != heif_error_Ok) {
      state.SkipWithError("heif");
    }
    benchmark::DoNotOptimize(image);
    heif_image_release(image);
    heif_image_handle_release(handle);
    heif_context_free(ctx);
  }
}

}  // namespace

BENCHMARK_CAPTURE(Ours, png, "cut.png", TPictureKind::Png)->Unit(benchmark::kMillisecond);
BENCHMARK(PlainSpng)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Ours, webp_lossy, "lossy.webp", TPictureKind::WebP)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlainWebP, lossy, "lossy.webp")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Ours, webp_lossless, "lossless.webp", TPictureKind::WebP)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlainWebP, lossless, "lossless.webp")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Ours, heic, "cut.heic", TPictureKind::Heif)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlainHeif, heic, "cut.heic")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Ours, avif, "cut.avif", TPictureKind::Heif)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlainHeif, avif, "cut.avif")->Unit(benchmark::kMillisecond);
