#include "picture/straight_alpha.h"

#include <array>
#include <memory>

void MakeAlphaStraight(TBitmap& picture) {
  // Every level for every alpha, so a photo's pixels cost a look-up, not three divisions.
  static const auto table = [] {
    auto t = std::make_unique<std::array<std::uint8_t, 256 * 256>>();
    for (int a = 0; a < 256; ++a)
      for (int c = 0; c < 256; ++c) (*t)[std::size_t(a) * 256 + std::size_t(c)] = StraightLevel(std::uint8_t(c), std::uint8_t(a));
    return t;
  }();
  for (int y = 0; y < picture.Height(); ++y) {
    std::uint8_t* p = picture.ScanLine(y);
    for (int x = 0; x < picture.Width(); ++x, p += 4) {
      if (p[3] == 255) continue;
      const std::uint8_t* levels = &(*table)[std::size_t(p[3]) * 256];
      p[0] = levels[p[0]];
      p[1] = levels[p[1]];
      p[2] = levels[p[2]];
    }
  }
}
