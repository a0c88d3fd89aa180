#include "picture/ycbcr.h"

#include <algorithm>

namespace {

constexpr int FractionBits = 24;
constexpr std::int64_t One = std::int64_t(1) << FractionBits;

// A coefficient in fixed point, rounded; evaluated by the compiler, never at run time.
constexpr std::int64_t Fixed(double v) { return std::int64_t(v * double(One) + 0.5); }

struct TMatrixCoefficients {
  std::int64_t RCr, GCb, GCr, BCb;
};

constexpr TMatrixCoefficients Coefficients(double kr, double kb) {
  const double kg = 1.0 - kr - kb;
  return {Fixed(2.0 * (1.0 - kr)), Fixed(2.0 * kb * (1.0 - kb) / kg), Fixed(2.0 * kr * (1.0 - kr) / kg), Fixed(2.0 * (1.0 - kb))};
}

constexpr TMatrixCoefficients BT601 = Coefficients(0.299, 0.114);
constexpr TMatrixCoefficients BT709 = Coefficients(0.2126, 0.0722);
constexpr TMatrixCoefficients BT2020 = Coefficients(0.2627, 0.0593);
constexpr TMatrixCoefficients FCC = Coefficients(0.30, 0.11);
constexpr TMatrixCoefficients SMPTE240 = Coefficients(0.212, 0.087);
static_assert(BT601.RCr == 23521657 && BT601.BCb == 29729227, "the BT.601 coefficients 1.402 and 1.772");

// a * b / c rounded half up, for non-negative operands that keep the product in 64 bits.
constexpr std::int64_t MulDiv(std::int64_t a, std::int64_t b, std::int64_t c) { return (a * b + c / 2) / c; }

inline std::uint8_t Clamp8(std::int64_t fixed) {
  // Half up: floor of value + 1/2, the shift of a negative value rounding towards minus infinity.
  const std::int64_t v = (fixed + One / 2) >> FractionBits;
  return std::uint8_t(std::clamp<std::int64_t>(v, 0, 255));
}

}  // namespace

TYCbCrMatrix YCbCrMatrixOf(int matrixCoefficients) {
  switch (matrixCoefficients) {
    case 0: return TYCbCrMatrix::Identity;
    case 1: return TYCbCrMatrix::BT709;
    case 4: return TYCbCrMatrix::FCC;
    case 7: return TYCbCrMatrix::SMPTE240;
    case 9:
    case 10: return TYCbCrMatrix::BT2020;
    default: return TYCbCrMatrix::BT601;
  }
}

TYCbCrConversion YCbCrConversion(TYCbCrMatrix matrix, bool fullRange, int bits) {
  TYCbCrConversion c;
  c.Bits = bits;
  c.FullRange = fullRange;
  c.Identity = matrix == TYCbCrMatrix::Identity;
  const std::int64_t maximum = (std::int64_t(1) << bits) - 1;
  const std::int64_t step = std::int64_t(1) << (bits - std::min(bits, 8));  // 2^(n - 8), 1 below 8 bits
  // The levels a unit of luma and of chroma spans.
  const std::int64_t lumaRange = fullRange ? maximum : 219 * step;
  const std::int64_t chromaRange = fullRange ? maximum : 224 * step;
  c.LumaOffset = fullRange ? 0 : 16 * step;
  c.ChromaOffset = std::int64_t(1) << (bits - 1);
  c.Luma = MulDiv(255, One, lumaRange);
  TMatrixCoefficients k{};
  switch (matrix) {
    case TYCbCrMatrix::BT709: k = BT709; break;
    case TYCbCrMatrix::BT2020: k = BT2020; break;
    case TYCbCrMatrix::FCC: k = FCC; break;
    case TYCbCrMatrix::SMPTE240: k = SMPTE240; break;
    default: k = BT601; break;
  }
  c.RCr = MulDiv(255, k.RCr, chromaRange);
  c.GCb = MulDiv(255, k.GCb, chromaRange);
  c.GCr = MulDiv(255, k.GCr, chromaRange);
  c.BCb = MulDiv(255, k.BCb, chromaRange);
  return c;
}

std::uint8_t LumaTo8Bits(const TYCbCrConversion& c, std::uint32_t y) {
  if (c.FullRange) return ScaleTo8Bits(y, c.Bits);
  return Clamp8(c.Luma * (std::int64_t(y) - c.LumaOffset));
}

namespace {

// The row loop for samples of one width (bytes, or 16-bit words), the conversion inlined.
template <typename Sample>
void RowOf(const TYCbCrConversion& c, const TPlane& y, const TPlane& cb, const TPlane& cr, int row, int width,
           int shiftX, int shiftY, std::uint8_t* out) {
  const auto rowOf = [](const TPlane& p, int r) { return p.Data + std::int64_t(p.Stride) * r; };
  const std::uint8_t* ys = rowOf(y, row);
  const std::uint8_t* bs = rowOf(cb, row >> shiftY);
  const std::uint8_t* rs = rowOf(cr, row >> shiftY);
  const auto at = [](const std::uint8_t* samples, int x) -> std::uint32_t {
    Sample v;
    __builtin_memcpy(&v, samples + sizeof(Sample) * std::size_t(x), sizeof v);
    return v;
  };
  for (int x = 0; x < width; ++x, out += 4) YCbCrToBGR(c, at(ys, x), at(bs, x >> shiftX), at(rs, x >> shiftX), out);
}

}  // namespace

void YCbCrRowToBGR(const TYCbCrConversion& c, const TPlane& y, const TPlane& cb, const TPlane& cr, int row, int width,
                   int shiftX, int shiftY, std::uint8_t* out) {
  if (y.Bits <= 8) {
    RowOf<std::uint8_t>(c, y, cb, cr, row, width, shiftX, shiftY, out);
  } else {
    RowOf<std::uint16_t>(c, y, cb, cr, row, width, shiftX, shiftY, out);
  }
}

void YCbCrToBGR(const TYCbCrConversion& c, std::uint32_t y, std::uint32_t cb, std::uint32_t cr, std::uint8_t* out) {
  if (c.Identity) {
    // Green, blue and red stored in the luma, Cb and Cr planes.
    out[0] = LumaTo8Bits(c, cb);
    out[1] = LumaTo8Bits(c, y);
    out[2] = LumaTo8Bits(c, cr);
    return;
  }
  const std::int64_t l = c.Luma * (std::int64_t(y) - c.LumaOffset);
  const std::int64_t u = std::int64_t(cb) - c.ChromaOffset;
  const std::int64_t v = std::int64_t(cr) - c.ChromaOffset;
  out[0] = Clamp8(l + c.BCb * u);
  out[1] = Clamp8(l - c.GCb * u - c.GCr * v);
  out[2] = Clamp8(l + c.RCr * v);
}
