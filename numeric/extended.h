#pragma once
// The extended precision the program computes in: the x87 80-bit format (a 64-bit significand with
// an explicit leading bit, a 15-bit exponent, subnormals, rounding to nearest with ties to even).
// Where the compiler's long double is that format (x86 with GCC or clang) it is used directly;
// elsewhere (WebAssembly's long double has a 113-bit significand) SoftExtended computes the same
// results bit for bit, so that every build forms the same pixels and the same file bytes.
//
// Call sites are written once for both: arithmetic, comparisons and conversions as on a built-in
// type (conversions out of Extended written as casts), and the functions below in place of <cmath>.
#include <cmath>
#include <cstdint>

// float and double rounded at every step as on every other processor, not kept in the x87 unit's
// wider registers (cmake/arithmetic.cmake sets this for the whole build).
#if defined(__i386__) && !defined(__SSE2_MATH__)
#error "32-bit x86 needs SSE2 arithmetic for float and double: build with -msse2 -mfpmath=sse"
#endif

#if defined(RFL_SOFT_EXTENDED) || !(__LDBL_MANT_DIG__ == 64 && __LDBL_MAX_EXP__ == 16384)
#include "numeric/soft_extended.h"
using Extended = SoftExtended;
inline constexpr bool ExtendedIsNative = false;
#else
using Extended = long double;
inline constexpr bool ExtendedIsNative = true;

inline long double ExtSqrt(long double x) { return std::sqrt(x); }
inline long double ExtFloor(long double x) { return std::floor(x); }
inline long double ExtTrunc(long double x) { return std::trunc(x); }
// Ties to even under the default rounding mode.
inline long double ExtRint(long double x) { return std::rint(x); }
inline long double ExtSin(long double x) { return std::sin(x); }
inline long double ExtCos(long double x) { return std::cos(x); }
inline long double ExtTan(long double x) { return std::tan(x); }
#endif

// Bits in the significand, the leading one included.
inline constexpr int ExtendedDigits = 64;

// significand x 2^exponent, exact when the result is a normal number: how constants are written,
// so that every build holds the same bits (a decimal long double literal would be rounded to the
// platform's own format).
template <class T = Extended>
constexpr T ExtendedScaled(std::uint64_t significand, int exponent) {
  T value = T(significand);
  for (; exponent > 0; --exponent) value *= 2;
  for (; exponent < 0; ++exponent) value /= 2;
  return value;
}

// pi rounded to 64 bits.
template <class T>
inline constexpr T ExtendedPi = ExtendedScaled<T>(0xC90FDAA22168C235u, -62);
inline constexpr Extended ExtPi = ExtendedPi<Extended>;
