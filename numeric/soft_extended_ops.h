#pragma once
// Definitions of SoftExtended's operations (included by soft_extended.h, not on its own).
//
// Inside, a finite value other than zero is unpacked into sign, exponent and a significand with its
// leading bit at bit 63: value = significand x 2^(exponent - 63). An exact intermediate result is
// held in 128 bits with everything below them folded into the lowest bit ("sticky"), which then
// cannot change the rounding at bit 64 or above; Pack rounds it once.

namespace soft_extended_detail {

using U128 = WideUnsigned;

inline constexpr int Bias = 16383;
inline constexpr int MaxBiased = 0x7FFF;           // infinities and NaN
inline constexpr int MinExponent = 1 - Bias;       // of the normal numbers and of the subnormals' scale
inline constexpr std::uint64_t Lead = std::uint64_t(1) << 63;

enum class Kind { Zero, Finite, Infinite, NaN };

struct Unpacked {
  Kind kind = Kind::Zero;
  bool negative = false;
  int exponent = 0;           // Finite: value = significand x 2^(exponent - 63)
  std::uint64_t significand = 0;  // Finite: leading bit at bit 63
};

// m shifted right by `shift` bits, any bit shifted out folded into the lowest bit.
constexpr U128 ShiftRightSticky(U128 m, int shift) {
  if (shift <= 0) return m;
  if (shift >= 128) return m != 0;
  return (m >> shift) | U128((m & ((U128(1) << shift) - 1)) != 0);
}

constexpr Unpacked Unpack(SoftExtended v) {
  Unpacked u;
  u.negative = (v.signExponent & 0x8000) != 0;
  const int biased = v.signExponent & 0x7FFF;
  if (biased == MaxBiased) {
    u.kind = (v.significand << 1) == 0 ? Kind::Infinite : Kind::NaN;
    return u;
  }
  if (v.significand == 0) return u;  // zero (also the unnormals the program never forms)
  u.kind = Kind::Finite;
  const int shift = std::countl_zero(v.significand);
  u.significand = v.significand << shift;
  u.exponent = (biased == 0 ? MinExponent : biased - Bias) - shift;
  return u;
}

constexpr SoftExtended Zero(bool negative) { return SoftExtended::FromBits(0, negative ? 0x8000 : 0); }
constexpr SoftExtended Infinity(bool negative) {
  return SoftExtended::FromBits(Lead, std::uint16_t((negative ? 0x8000 : 0) | MaxBiased));
}
// The x87 unit's default NaN (negative, quiet).
constexpr SoftExtended DefaultNaN() { return SoftExtended::FromBits(Lead | (Lead >> 1), 0xFFFF); }
// A NaN operand passes through, made quiet.
constexpr SoftExtended Quiet(SoftExtended v) { return SoftExtended::FromBits(v.significand | Lead | (Lead >> 1), v.signExponent); }

// The value m x 2^exponent, m not zero, rounded once to the x87 format.
constexpr SoftExtended Pack(bool negative, int exponent, U128 m) {
  const int shift = LeadingZeros(m);
  m <<= shift;
  exponent -= shift;
  // Now the leading bit is at 127: its weight is 2^(exponent + 127).
  int biased = exponent + 127 + Bias;
  if (biased <= 0) {
    // Subnormal: the significand's lowest bit weighs 2^(MinExponent - 63) whatever the value.
    m = ShiftRightSticky(m, 1 - biased);
    biased = 0;
  }
  std::uint64_t significand = std::uint64_t(m >> 64);
  const std::uint64_t rest = std::uint64_t(m);
  constexpr std::uint64_t half = Lead;
  if (rest > half || (rest == half && (significand & 1) != 0)) {
    ++significand;
    if (significand == 0) {  // carried out of the top: the next power of two
      significand = Lead;
      ++biased;
    }
  }
  if (biased == 0 && (significand & Lead) != 0) biased = 1;  // rounded up into the normal range
  if (biased >= MaxBiased) return Infinity(negative);
  if (significand == 0) return Zero(negative);
  return SoftExtended::FromBits(significand, std::uint16_t((negative ? 0x8000 : 0) | biased));
}

constexpr SoftExtended FromMagnitude(bool negative, std::uint64_t magnitude) {
  if (magnitude == 0) return Zero(negative);
  return Pack(negative, 0, magnitude);
}

// A binary interchange format's bits (1 sign bit, exponentBits, fractionBits) to the exact value.
template <int ExponentBits, int FractionBits>
constexpr SoftExtended FromInterchange(std::uint64_t bits) {
  const bool negative = (bits >> (ExponentBits + FractionBits)) & 1;
  const int biased = int((bits >> FractionBits) & ((1u << ExponentBits) - 1));
  const std::uint64_t fraction = bits & ((std::uint64_t(1) << FractionBits) - 1);
  const int bias = (1 << (ExponentBits - 1)) - 1;
  if (biased == (1 << ExponentBits) - 1) {
    if (fraction == 0) return Infinity(negative);
    return SoftExtended::FromBits(Lead | (Lead >> 1) | (fraction << (63 - FractionBits)),
                                  std::uint16_t((negative ? 0x8000 : 0) | MaxBiased));
  }
  if (biased == 0) {
    if (fraction == 0) return Zero(negative);
    return Pack(negative, 1 - bias - FractionBits, fraction);
  }
  return Pack(negative, biased - bias - FractionBits, fraction | (std::uint64_t(1) << FractionBits));
}

// Correctly rounded to a binary interchange format, subnormals and overflow included.
template <int ExponentBits, int FractionBits>
constexpr std::uint64_t ToInterchange(SoftExtended v) {
  const Unpacked u = Unpack(v);
  const int bias = (1 << (ExponentBits - 1)) - 1;
  const std::uint64_t maxBiased = (std::uint64_t(1) << ExponentBits) - 1;
  const std::uint64_t sign = std::uint64_t(u.negative) << (ExponentBits + FractionBits);
  switch (u.kind) {
    case Kind::Zero: return sign;
    case Kind::Infinite: return sign | (maxBiased << FractionBits);
    case Kind::NaN:
      return sign | (maxBiased << FractionBits) | (std::uint64_t(1) << (FractionBits - 1)) |
             ((v.significand << 2) >> (65 - FractionBits));
    case Kind::Finite: break;
  }
  const int minExponent = 1 - bias;
  // Bits of the significand below the kept ones: 63 - FractionBits for a normal result, more below it.
  int drop = 63 - FractionBits + (u.exponent < minExponent ? minExponent - u.exponent : 0);
  std::uint64_t kept = 0;
  if (drop < 64) {
    kept = u.significand >> drop;
    const std::uint64_t rest = u.significand & ((std::uint64_t(1) << drop) - 1);
    const std::uint64_t half = std::uint64_t(1) << (drop - 1);
    if (rest > half || (rest == half && (kept & 1) != 0)) ++kept;
  } else if (drop == 64 && u.significand > Lead) {
    kept = 1;  // above half the smallest subnormal (exactly half goes to the even 0)
  }
  if (u.exponent < minExponent) return sign | kept;  // a carry into the normal range encodes itself
  int exponent = u.exponent;
  if (kept >> (FractionBits + 1)) {  // rounded up to the next power of two
    kept >>= 1;
    ++exponent;
  }
  if (exponent + bias >= int(maxBiased)) return sign | (maxBiased << FractionBits);
  return sign | (std::uint64_t(exponent + bias) << FractionBits) | (kept & ((std::uint64_t(1) << FractionBits) - 1));
}

constexpr SoftExtended Add(SoftExtended a, SoftExtended b, bool negateB) {
  Unpacked x = Unpack(a), y = Unpack(b);
  if (x.kind == Kind::NaN) return Quiet(a);
  if (y.kind == Kind::NaN) return Quiet(b);
  y.negative ^= negateB;
  if (x.kind == Kind::Infinite || y.kind == Kind::Infinite) {
    if (x.kind == Kind::Infinite && y.kind == Kind::Infinite && x.negative != y.negative) return DefaultNaN();
    return Infinity(x.kind == Kind::Infinite ? x.negative : y.negative);
  }
  if (x.kind == Kind::Zero && y.kind == Kind::Zero) return Zero(x.negative && y.negative);
  if (x.kind == Kind::Zero) return SoftExtended::FromBits(b.significand, std::uint16_t(b.signExponent ^ (negateB ? 0x8000 : 0)));
  if (y.kind == Kind::Zero) return a;
  if (x.exponent < y.exponent || (x.exponent == y.exponent && x.significand < y.significand)) std::swap(x, y);
  // |x| >= |y|. Two bits of headroom above, 62 below.
  const U128 mx = U128(x.significand) << 62;
  const U128 my = ShiftRightSticky(U128(y.significand) << 62, x.exponent - y.exponent);
  const U128 m = x.negative == y.negative ? mx + my : mx - my;
  if (m == 0) return Zero(false);  // exact cancellation gives +0 when rounding to nearest
  return Pack(x.negative, x.exponent - 63 - 62, m);
}

}  // namespace soft_extended_detail

template <std::integral I>
constexpr SoftExtended::SoftExtended(I value) {
  using namespace soft_extended_detail;
  const bool negative = value < 0;
  const std::uint64_t magnitude = negative ? std::uint64_t(0) - std::uint64_t(value) : std::uint64_t(value);
  *this = FromMagnitude(negative, magnitude);
}

constexpr SoftExtended::SoftExtended(float value)
    : SoftExtended(soft_extended_detail::FromInterchange<8, 23>(__builtin_bit_cast(std::uint32_t, value))) {}

constexpr SoftExtended::SoftExtended(double value)
    : SoftExtended(soft_extended_detail::FromInterchange<11, 52>(__builtin_bit_cast(std::uint64_t, value))) {}

constexpr SoftExtended::operator float() const {
  return __builtin_bit_cast(float, std::uint32_t(soft_extended_detail::ToInterchange<8, 23>(*this)));
}

constexpr SoftExtended::operator double() const {
  return __builtin_bit_cast(double, soft_extended_detail::ToInterchange<11, 52>(*this));
}

template <std::integral I>
constexpr SoftExtended::operator I() const {
  using namespace soft_extended_detail;
  const Unpacked u = Unpack(*this);
  if (u.kind == Kind::Zero) return I(0);
  constexpr int bits = std::numeric_limits<I>::digits;  // value bits, the sign not counted
  if (u.kind != Kind::Finite || u.exponent >= bits) return std::numeric_limits<I>::min();
  if (u.exponent < 0) return I(0);
  const std::uint64_t magnitude = u.significand >> (63 - u.exponent);
  if (!u.negative) return I(magnitude);
  if constexpr (std::numeric_limits<I>::is_signed) return I(-std::int64_t(magnitude));
  else return std::numeric_limits<I>::min();
}

constexpr SoftExtended operator+(SoftExtended a, SoftExtended b) { return soft_extended_detail::Add(a, b, false); }
constexpr SoftExtended operator-(SoftExtended a, SoftExtended b) { return soft_extended_detail::Add(a, b, true); }

constexpr SoftExtended operator*(SoftExtended a, SoftExtended b) {
  using namespace soft_extended_detail;
  const Unpacked x = Unpack(a), y = Unpack(b);
  if (x.kind == Kind::NaN) return Quiet(a);
  if (y.kind == Kind::NaN) return Quiet(b);
  const bool negative = x.negative != y.negative;
  if (x.kind == Kind::Infinite || y.kind == Kind::Infinite) {
    if (x.kind == Kind::Zero || y.kind == Kind::Zero) return DefaultNaN();
    return Infinity(negative);
  }
  if (x.kind == Kind::Zero || y.kind == Kind::Zero) return Zero(negative);
  return Pack(negative, x.exponent + y.exponent - 126, U128(x.significand) * y.significand);
}

constexpr SoftExtended operator/(SoftExtended a, SoftExtended b) {
  using namespace soft_extended_detail;
  const Unpacked x = Unpack(a), y = Unpack(b);
  if (x.kind == Kind::NaN) return Quiet(a);
  if (y.kind == Kind::NaN) return Quiet(b);
  const bool negative = x.negative != y.negative;
  if (x.kind == Kind::Infinite) return y.kind == Kind::Infinite ? DefaultNaN() : Infinity(negative);
  if (y.kind == Kind::Infinite) return Zero(negative);
  if (y.kind == Kind::Zero) return x.kind == Kind::Zero ? DefaultNaN() : Infinity(negative);
  if (x.kind == Kind::Zero) return Zero(negative);
  // Two rounds of 128-by-64 division give the quotient to 64 fraction bits past the first 64 or 65
  // and a remainder; 62 of those extra bits and the sticky remainder are plenty to round.
  const U128 dividend = U128(x.significand) << 64;
  const U128 q1 = dividend / y.significand, r1 = dividend % y.significand;
  const U128 q2 = (r1 << 64) / y.significand, r2 = (r1 << 64) % y.significand;
  const U128 m = (q1 << 62) | (q2 >> 2) | U128((q2 & 3) != 0 || r2 != 0);
  return Pack(negative, x.exponent - y.exponent - 64 - 62, m);
}

constexpr bool operator==(SoftExtended a, SoftExtended b) {
  using namespace soft_extended_detail;
  const Unpacked x = Unpack(a), y = Unpack(b);
  if (x.kind == Kind::NaN || y.kind == Kind::NaN) return false;
  if (x.kind == Kind::Zero && y.kind == Kind::Zero) return true;
  return x.kind == y.kind && x.negative == y.negative && x.exponent == y.exponent && x.significand == y.significand;
}

constexpr bool operator<(SoftExtended a, SoftExtended b) {
  using namespace soft_extended_detail;
  const Unpacked x = Unpack(a), y = Unpack(b);
  if (x.kind == Kind::NaN || y.kind == Kind::NaN) return false;
  // Order of magnitudes: zero, then finite by exponent and significand, then infinity.
  auto rank = [](const Unpacked& u) { return u.kind == Kind::Zero ? 0 : u.kind == Kind::Finite ? 1 : 2; };
  auto magnitudeLess = [&](const Unpacked& p, const Unpacked& q) {
    if (rank(p) != rank(q)) return rank(p) < rank(q);
    if (p.kind != Kind::Finite) return false;
    return p.exponent != q.exponent ? p.exponent < q.exponent : p.significand < q.significand;
  };
  const bool xNegative = x.negative && x.kind != Kind::Zero, yNegative = y.negative && y.kind != Kind::Zero;
  if (xNegative != yNegative) return xNegative;
  return xNegative ? magnitudeLess(y, x) : magnitudeLess(x, y);
}

constexpr SoftExtended ExtSqrt(SoftExtended v) {
  using namespace soft_extended_detail;
  const Unpacked u = Unpack(v);
  if (u.kind == Kind::NaN) return Quiet(v);
  if (u.kind == Kind::Zero) return v;
  if (u.negative) return DefaultNaN();
  if (u.kind == Kind::Infinite) return v;
  // value = n x 2^e with e even; the root of n x 4^34 to the whole number, digit pair by digit
  // pair, gives 66 or 67 bits and a remainder that tells whether anything is left.
  int e = u.exponent - 63;
  U128 n = u.significand;
  if (e % 2 != 0) {
    n <<= 1;
    --e;
  }
  U128 root = 0, remainder = 0;
  for (int pair = 32 + 34; pair >= 0; --pair) {
    const int digits = pair >= 34 ? int((n >> (2 * (pair - 34))) & 3) : 0;
    remainder = (remainder << 2) | U128(digits);
    const U128 trial = (root << 2) | 1;
    root <<= 1;
    if (remainder >= trial) {
      remainder -= trial;
      root |= 1;
    }
  }
  return Pack(false, e / 2 - 34 - 1, (root << 1) | U128(remainder != 0));
}

namespace soft_extended_detail {

enum class Rounding { Floor, Trunc, Nearest };

constexpr SoftExtended RoundToWhole(SoftExtended v, Rounding rounding) {
  const Unpacked u = Unpack(v);
  if (u.kind == Kind::NaN) return Quiet(v);
  if (u.kind != Kind::Finite || u.exponent >= 63) return v;  // already whole
  // Fraction bits: all 64 when the exponent is below 0 (the whole part is then 0).
  const int fractionBits = u.exponent < 0 ? 64 : 63 - u.exponent;
  std::uint64_t whole = fractionBits == 64 ? 0 : u.significand >> fractionBits;
  U128 fraction = u.exponent < -1 ? U128(1) : U128(u.significand);  // far below a half: only "some"
  if (fractionBits < 64) fraction &= (U128(1) << fractionBits) - 1;
  const U128 half = u.exponent < -1 ? U128(2) : U128(1) << (fractionBits - 1);
  bool up = false;
  switch (rounding) {
    case Rounding::Floor: up = u.negative && fraction != 0; break;
    case Rounding::Trunc: break;
    case Rounding::Nearest: up = fraction > half || (fraction == half && (whole & 1) != 0); break;
  }
  if (!up) return FromMagnitude(u.negative, whole);
  return Pack(u.negative, 0, U128(whole) + 1);
}

}  // namespace soft_extended_detail

constexpr SoftExtended ExtFloor(SoftExtended x) {
  return soft_extended_detail::RoundToWhole(x, soft_extended_detail::Rounding::Floor);
}
constexpr SoftExtended ExtTrunc(SoftExtended x) {
  return soft_extended_detail::RoundToWhole(x, soft_extended_detail::Rounding::Trunc);
}
constexpr SoftExtended ExtRint(SoftExtended x) {
  return soft_extended_detail::RoundToWhole(x, soft_extended_detail::Rounding::Nearest);
}
