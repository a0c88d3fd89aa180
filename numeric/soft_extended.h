#pragma once
// The x87 80-bit extended format in software, for builds whose long double is another format: a
// 64-bit significand with an explicit leading bit, a 15-bit exponent (bias 16383), subnormals,
// signed zeros, infinities and NaN. Every operation rounds once, to nearest with ties to even, as
// the x87 unit does with its precision set to 64 bits, so each result is the x87 result bit for bit.
// NaN results carry no promised payload: the program only ever asks whether a value is NaN.
//
// The value is stored as the x87 unit stores it in memory (significand, then sign and exponent),
// so that a test can compare it with a native long double byte for byte.
#include <bit>
#include <concepts>
#include <cstdint>
#include <limits>
#include <utility>

#include "numeric/wide_unsigned.h"

struct SoftExtended {
  std::uint64_t significand = 0;
  std::uint16_t signExponent = 0;  // sign in bit 15, biased exponent in bits 0 to 14

  constexpr SoftExtended() = default;
  // Exact from any integer of up to 64 bits, from float and from double, as a built-in type is.
  template <std::integral I>
  constexpr SoftExtended(I value);
  constexpr SoftExtended(float value);
  constexpr SoftExtended(double value);

  // Correctly rounded to the narrower formats; integers truncate toward zero (NaN and values out
  // of the integer's range give its smallest value, as the x87 unit's "integer indefinite" does).
  explicit constexpr operator float() const;
  explicit constexpr operator double() const;
  template <std::integral I>
  explicit constexpr operator I() const;

  static constexpr SoftExtended FromBits(std::uint64_t significand, std::uint16_t signExponent) {
    SoftExtended v;
    v.significand = significand;
    v.signExponent = signExponent;
    return v;
  }

  friend constexpr SoftExtended operator+(SoftExtended a, SoftExtended b);
  friend constexpr SoftExtended operator-(SoftExtended a, SoftExtended b);
  friend constexpr SoftExtended operator*(SoftExtended a, SoftExtended b);
  friend constexpr SoftExtended operator/(SoftExtended a, SoftExtended b);
  friend constexpr SoftExtended operator-(SoftExtended a) { return FromBits(a.significand, a.signExponent ^ 0x8000); }
  friend constexpr SoftExtended operator+(SoftExtended a) { return a; }
  constexpr SoftExtended& operator+=(SoftExtended b) { return *this = *this + b; }
  constexpr SoftExtended& operator-=(SoftExtended b) { return *this = *this - b; }
  constexpr SoftExtended& operator*=(SoftExtended b) { return *this = *this * b; }
  constexpr SoftExtended& operator/=(SoftExtended b) { return *this = *this / b; }

  // IEEE comparisons: NaN is unordered, so every comparison with it but != is false; -0 == +0.
  friend constexpr bool operator==(SoftExtended a, SoftExtended b);
  friend constexpr bool operator<(SoftExtended a, SoftExtended b);
  friend constexpr bool operator!=(SoftExtended a, SoftExtended b) { return !(a == b); }
  friend constexpr bool operator>(SoftExtended a, SoftExtended b) { return b < a; }
  friend constexpr bool operator<=(SoftExtended a, SoftExtended b) { return a < b || a == b; }
  friend constexpr bool operator>=(SoftExtended a, SoftExtended b) { return b < a || a == b; }
};

// Correctly rounded square root; NaN for a value below zero, -0 for -0.
constexpr SoftExtended ExtSqrt(SoftExtended x);
// The whole number toward -infinity, toward zero, and nearest with halves to even; the sign of a
// zero result is the argument's.
constexpr SoftExtended ExtFloor(SoftExtended x);
constexpr SoftExtended ExtTrunc(SoftExtended x);
constexpr SoftExtended ExtRint(SoftExtended x);
// The x87 build's values for the arguments the program uses (recorded from it in known_trig.cpp);
// any other argument throws std::domain_error rather than give a value the x87 build would not.
SoftExtended ExtSin(SoftExtended x);
SoftExtended ExtCos(SoftExtended x);
SoftExtended ExtTan(SoftExtended x);

#include "numeric/soft_extended_ops.h"
