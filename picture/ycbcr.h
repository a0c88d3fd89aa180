#pragma once
// Turning decoded YCbCr planes into the program's 8-bit blue, green, red in integer arithmetic, so
// that no compiler, processor or library setting can change a pixel.
//
// Chroma is upsampled by replication: each output pixel takes the chroma sample that covers it
// (x >> 1 and y >> 1 for 4:2:0, x >> 1 for 4:2:2), exact and the same in every build. The matrix
// (Kr, Kb) and range come from the file's colour description:
//   R = Y' + 2(1 - Kr) Cr'        G = Y' - 2Kb(1 - Kb)/Kg Cb' - 2Kr(1 - Kr)/Kg Cr'        B = Y' + 2(1 - Kb) Cb'
// where Y' and the chroma differences Cb', Cr' are the samples scaled to 0..1 and -0.5..0.5 by the
// full range (0..2^n - 1) or the video range (16..235 and 16..240, times 2^(n - 8)). Each result is
// 255 times its value rounded half up to an integer and clamped to 0..255. The coefficients are
// fixed point with 24 fraction bits, computed when the program is compiled; a result differs from
// the exact real one by less than 1/100 of a level before rounding.
//
// The identity matrix (samples stored as G, B, R) and grey pictures only scale each sample, full
// range samples as (v * 255 + m / 2) / m with m = 2^n - 1.
#include <cstdint>

// The matrix coefficients of the colour description (ITU-T H.273 numbering).
enum class TYCbCrMatrix { Identity, BT601, BT709, BT2020, FCC, SMPTE240 };

// The matrix of an H.273 matrix_coefficients value: 0 identity, 1 BT.709, 4 FCC, 5 and 6 BT.601,
// 7 SMPTE 240M, 9 and 10 BT.2020; every other value (2, unspecified, among them) BT.601.
TYCbCrMatrix YCbCrMatrixOf(int matrixCoefficients);

// A plane of samples: 8-bit bytes, or 16-bit words in the machine's order for deeper samples.
struct TPlane {
  const std::uint8_t* Data = nullptr;
  int Stride = 0;  // bytes from one row to the next
  int Bits = 8;    // significant bits of a sample, 1 to 16
  std::uint32_t At(int x, int y) const {
    const std::uint8_t* row = Data + std::int64_t(Stride) * y;
    if (Bits <= 8) return row[x];
    std::uint16_t v;
    __builtin_memcpy(&v, row + 2 * x, 2);
    return v;
  }
};

// The conversion of one picture's samples, set up once for its matrix, range and depth.
struct TYCbCrConversion {
  std::int64_t Luma = 0;                       // 255 * 2^24 / range of luma, per level
  std::int64_t RCr = 0, GCb = 0, GCr = 0, BCb = 0;  // per chroma level
  std::int64_t LumaOffset = 0, ChromaOffset = 0;    // the levels of black and of zero chroma
  bool Identity = false;
  int Bits = 8;
  bool FullRange = true;
};
TYCbCrConversion YCbCrConversion(TYCbCrMatrix matrix, bool fullRange, int bits);

// One pixel: writes blue, green, red to out[0..2].
void YCbCrToBGR(const TYCbCrConversion& c, std::uint32_t y, std::uint32_t cb, std::uint32_t cr, std::uint8_t* out);

// One row of `width` pixels, as YCbCrToBGR converts each: luma from row `row` of `y`, chroma from
// row row >> shiftY and column x >> shiftX of `cb` and `cr` (the three planes of one depth).
// Writes blue, green, red at out[4x..4x+2]; the fourth bytes are left as they are.
void YCbCrRowToBGR(const TYCbCrConversion& c, const TPlane& y, const TPlane& cb, const TPlane& cr, int row, int width,
                   int shiftX, int shiftY, std::uint8_t* out);

// A sample of `bits` bits (full range) to 8 bits: (v * 255 + m / 2) / m with m = 2^bits - 1.
inline std::uint8_t ScaleTo8Bits(std::uint32_t v, int bits) {
  const std::uint32_t m = (std::uint32_t(1) << bits) - 1;
  return std::uint8_t((v * 255 + m / 2) / m);
}

// A luma sample alone (grey pictures) to 8 bits by the conversion's range.
std::uint8_t LumaTo8Bits(const TYCbCrConversion& c, std::uint32_t y);
