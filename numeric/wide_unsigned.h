#pragma once
// An unsigned 128-bit integer for the software extended type's exact intermediate results.
// WideUnsigned is the compiler's unsigned __int128 where it has one (64-bit processors,
// WebAssembly) and PortableU128 elsewhere (32-bit x86, 32-bit ARM): two 64-bit halves with the
// operations the extended type uses, wrapping modulo 2^128 as the built-in type does.
#include <bit>
#include <concepts>
#include <cstdint>
#include <type_traits>

class PortableU128 {
 public:
  constexpr PortableU128() = default;
  template <std::integral I>
  constexpr PortableU128(I value)  // NOLINT: converts as a built-in integer does
      : high_(std::is_signed_v<I> && value < 0 ? ~std::uint64_t(0) : 0), low_(std::uint64_t(value)) {}
  static constexpr PortableU128 FromHalves(std::uint64_t high, std::uint64_t low) {
    PortableU128 r;
    r.high_ = high;
    r.low_ = low;
    return r;
  }
  constexpr std::uint64_t High() const { return high_; }
  constexpr std::uint64_t Low() const { return low_; }

  // The low bits, as a conversion of a built-in integer.
  template <std::integral I>
  explicit constexpr operator I() const {
    if constexpr (std::same_as<I, bool>) return (high_ | low_) != 0;
    else return I(low_);
  }

  friend constexpr bool operator==(PortableU128 a, PortableU128 b) = default;
  friend constexpr bool operator<(PortableU128 a, PortableU128 b) {
    return a.high_ != b.high_ ? a.high_ < b.high_ : a.low_ < b.low_;
  }
  friend constexpr bool operator>(PortableU128 a, PortableU128 b) { return b < a; }
  friend constexpr bool operator<=(PortableU128 a, PortableU128 b) { return !(b < a); }
  friend constexpr bool operator>=(PortableU128 a, PortableU128 b) { return !(a < b); }

  friend constexpr PortableU128 operator+(PortableU128 a, PortableU128 b) {
    const std::uint64_t low = a.low_ + b.low_;
    return FromHalves(a.high_ + b.high_ + (low < a.low_), low);
  }
  friend constexpr PortableU128 operator-(PortableU128 a, PortableU128 b) {
    return FromHalves(a.high_ - b.high_ - (a.low_ < b.low_), a.low_ - b.low_);
  }
  friend constexpr PortableU128 operator*(PortableU128 a, PortableU128 b) {
    PortableU128 r = Product(a.low_, b.low_);
    r.high_ += a.high_ * b.low_ + a.low_ * b.high_;
    return r;
  }
  friend constexpr PortableU128 operator/(PortableU128 a, PortableU128 b) {
    PortableU128 quotient, remainder;
    DivMod(a, b, quotient, remainder);
    return quotient;
  }
  friend constexpr PortableU128 operator%(PortableU128 a, PortableU128 b) {
    PortableU128 quotient, remainder;
    DivMod(a, b, quotient, remainder);
    return remainder;
  }

  friend constexpr PortableU128 operator|(PortableU128 a, PortableU128 b) {
    return FromHalves(a.high_ | b.high_, a.low_ | b.low_);
  }
  friend constexpr PortableU128 operator&(PortableU128 a, PortableU128 b) {
    return FromHalves(a.high_ & b.high_, a.low_ & b.low_);
  }
  // Shifts by 0 to 127 bits, as for the built-in type.
  friend constexpr PortableU128 operator<<(PortableU128 a, int shift) {
    if (shift == 0) return a;
    if (shift >= 64) return FromHalves(a.low_ << (shift - 64), 0);
    return FromHalves((a.high_ << shift) | (a.low_ >> (64 - shift)), a.low_ << shift);
  }
  friend constexpr PortableU128 operator>>(PortableU128 a, int shift) {
    if (shift == 0) return a;
    if (shift >= 64) return FromHalves(0, a.high_ >> (shift - 64));
    return FromHalves(a.high_ >> shift, (a.low_ >> shift) | (a.high_ << (64 - shift)));
  }

  constexpr PortableU128& operator+=(PortableU128 b) { return *this = *this + b; }
  constexpr PortableU128& operator-=(PortableU128 b) { return *this = *this - b; }
  constexpr PortableU128& operator|=(PortableU128 b) { return *this = *this | b; }
  constexpr PortableU128& operator&=(PortableU128 b) { return *this = *this & b; }
  constexpr PortableU128& operator<<=(int shift) { return *this = *this << shift; }
  constexpr PortableU128& operator>>=(int shift) { return *this = *this >> shift; }

  // Bits above the highest set one (128 for zero).
  friend constexpr int LeadingZeros(PortableU128 a) {
    return a.high_ != 0 ? std::countl_zero(a.high_) : 64 + std::countl_zero(a.low_);
  }

 private:
  // The full product of two 64-bit numbers, from four 32-bit ones.
  static constexpr PortableU128 Product(std::uint64_t a, std::uint64_t b) {
    const std::uint64_t a0 = a & 0xFFFFFFFFu, a1 = a >> 32, b0 = b & 0xFFFFFFFFu, b1 = b >> 32;
    const std::uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
    const std::uint64_t middle = (p00 >> 32) + (p01 & 0xFFFFFFFFu) + (p10 & 0xFFFFFFFFu);
    return FromHalves(p11 + (p01 >> 32) + (p10 >> 32) + (middle >> 32), (middle << 32) | (p00 & 0xFFFFFFFFu));
  }

  // Long division, one quotient bit at a time from the dividend's highest set bit down. The
  // divisor must not be zero.
  static constexpr void DivMod(PortableU128 a, PortableU128 b, PortableU128& quotient, PortableU128& remainder) {
    quotient = remainder = PortableU128();
    for (int bit = 127 - LeadingZeros(a); bit >= 0; --bit) {
      // A remainder shifted past 128 bits is above any divisor; the subtraction wraps back.
      const bool carry = (remainder.high_ >> 63) != 0;
      remainder = (remainder << 1) | ((a >> bit) & 1);
      quotient <<= 1;
      if (carry || remainder >= b) {
        remainder -= b;
        quotient |= 1;
      }
    }
  }

  std::uint64_t high_ = 0;
  std::uint64_t low_ = 0;
};

#if defined(__SIZEOF_INT128__) && !defined(RFL_PORTABLE_U128)
__extension__ typedef unsigned __int128 WideUnsigned;

constexpr int LeadingZeros(WideUnsigned m) {
  const auto high = std::uint64_t(m >> 64);
  return high != 0 ? std::countl_zero(high) : 64 + std::countl_zero(std::uint64_t(m));
}
#else
using WideUnsigned = PortableU128;
#endif
