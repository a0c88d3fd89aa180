// Prints one digest of everything the core computes in extended precision, over seeded inputs:
// every scene set-up of the sliders at many picture and output sizes, the three extended-precision
// resamplers on random pictures and sizes, and the PNG row filter's score. Built once with the
// native x87 type and once with RFL_SOFT_EXTENDED=ON, the two digests must be equal
// (tools/soft_extended_check.sh runs both).
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "picture/png/RFLZLIB.h"
#include "resample/resize.h"
#include "scene/frame.h"
#include "scene/scene.h"

namespace {

std::uint64_t digest = 1469598103934665603u;

void Mix(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  for (std::size_t i = 0; i < size; ++i) digest = (digest ^ bytes[i]) * 1099511628211u;
}

void MixMatrix(const Matrix4& M) { Mix(M.m, sizeof M.m); }

}  // namespace

int main() {
  std::mt19937 random(18);
  long setups = 0, resizes = 0, scores = 0;
  const int sizes[][2] = {{1, 1}, {640, 480}, {333, 1001}, {1024, 768}, {97, 97}, {4000, 3}};
  for (const auto& source : sizes)
    for (int z = 1; z <= 10; ++z)
      for (int y = -5; y <= 5; ++y)
        for (int yaw = -5; yaw <= 5; ++yaw)
          for (int margin = 0; margin <= 10; ++margin) {
            const int width = 32 + int(random() % 481);
            const int height = 32 + int(random() % 481);
            TScene scene;
            CreateScene(scene, {z, y, yaw, margin}, source[0], source[1], width, height);
            MixMatrix(scene.ScreenMatrix);
            MixMatrix(scene.ImageFrame->GetWorldMatrix());
            MixMatrix(scene.ReflectionFrame->GetWorldMatrix());
            ++setups;
          }
  for (int i = 0; i < 300; ++i) {
    const TPixelFormat format = i % 2 ? pf24bit : pf32bit;
    // Each value drawn in a statement of its own: the order in which a call's arguments are
    // evaluated differs between compilers, and the digest must not. (The height first, as
    // x86-64's GCC evaluated the call this replaced, so that its digests stay comparable.)
    const int pictureHeight = 1 + int(random() % 120);
    const int pictureWidth = 1 + int(random() % 120);
    TBitmap picture(pictureWidth, pictureHeight, format);
    const int bytes = format == pf24bit ? 3 : 4;
    for (int row = 0; row < picture.Height(); ++row)
      for (int k = 0; k < picture.Width() * bytes; ++k) picture.ScanLine(row)[k] = std::uint8_t(random());
    const int width = 1 + int(random() % 200);
    const int height = 1 + int(random() % 200);
    for (TResizeMode mode : {rmNearest, rmBilinear, rmAverage}) {
      const auto result = ResizeBitmap(picture, width, height, mode);
      if (!result) continue;
      for (int row = 0; row < result->Height(); ++row) Mix(result->ScanLine(row), std::size_t(width) * bytes);
      ++resizes;
    }
  }
  std::vector<std::uint8_t> row(4096);
  std::int32_t histogram[256];
  for (int i = 0; i < 200000; ++i) {
    const int length = 1 + int(random() % row.size());
    const int spread = 1 + int(random() % 256);
    for (int k = 0; k < length; ++k) row[std::size_t(k)] = std::uint8_t(random() % unsigned(spread));
    const std::int64_t score = ScoreFilteredRow(row.data(), length, i % 3 == 0 ? 4 : 8, histogram);
    Mix(&score, sizeof score);
    ++scores;
  }
  std::printf("%ld scene set-ups, %ld resizes, %ld row scores: digest %016llx\n", setups, resizes, scores,
              static_cast<unsigned long long>(digest));
}
