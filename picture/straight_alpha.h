#pragma once
// Pictures whose file stores the colour already multiplied by the alpha (a HEIF file's `prem`
// reference) made straight, as the program keeps every source picture.
//
// An 8-bit colour level c of a pixel with alpha a becomes the nearest level to c * 255 / a, halves
// rounded up: (c * 255 + a / 2) / a, at most 255 (lossy coding can leave a colour above its alpha).
// A pixel of alpha 0 has no colour left to recover and becomes black: colour 0.
#include <cstdint>

#include "toolkit/bitmap.h"

inline std::uint8_t StraightLevel(std::uint8_t colour, std::uint8_t alpha) {
  if (alpha == 0) return 0;
  const std::uint32_t level = (std::uint32_t(colour) * 255 + alpha / 2u) / alpha;
  return std::uint8_t(level > 255 ? 255 : level);
}

// Makes the colours of a pf32bit picture (blue, green, red, alpha) straight.
void MakeAlphaStraight(TBitmap& picture);
