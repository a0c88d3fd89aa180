// The software x87 type against the processor's own x87 arithmetic, operation by operation, over
// seeded random operands built to reach every rounding case. RFL_SOFT_EXTENDED_COUNT sets the
// operands per operation (default 2^20; a long run: 2^26).
#include "numeric/soft_extended.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <numbers>
#include <random>
#include <stdexcept>

#include "numeric/extended.h"
#include "numeric/known_trig.h"

#if defined(__x86_64__) || defined(__i386__)

namespace {

static_assert(std::numeric_limits<long double>::digits == 64, "the reference is the x87 unit");

SoftExtended Soft(long double v) {
  SoftExtended s;
  std::memcpy(&s.significand, &v, 8);
  std::memcpy(&s.signExponent, reinterpret_cast<const char*>(&v) + 8, 2);
  return s;
}

long double Native(SoftExtended s) {
  long double v = 0;
  std::memcpy(&v, &s.significand, 8);
  std::memcpy(reinterpret_cast<char*>(&v) + 8, &s.signExponent, 2);
  return v;
}

// Same bits, or both NaN.
bool Same(SoftExtended actual, long double expected) {
  if (std::isnan(expected)) return std::isnan(Native(actual));
  const SoftExtended e = Soft(expected);
  return actual.significand == e.significand && actual.signExponent == e.signExponent;
}

std::uint64_t Count() {
  const char* text = std::getenv("RFL_SOFT_EXTENDED_COUNT");
  return text ? std::strtoull(text, nullptr, 10) : std::uint64_t(1) << 20;
}

// Random operands: every exponent class, signed zeros, infinities, NaN, and significands whose low
// bits are runs of zeros or ones after a chosen bit, which puts exact halves and their neighbours
// at every rounding position.
class Operands {
 public:
  explicit Operands(std::uint64_t seed) : random_(seed) {}

  std::uint64_t Bits() { return random_(); }

  std::uint64_t Significand() {
    std::uint64_t s = random_();
    if (random_() % 2) {
      const int k = int(random_() % 64);
      const std::uint64_t below = (std::uint64_t(1) << k) - 1;
      s = (random_() % 2 ? s | below : s & ~below);
      if (random_() % 2) s ^= std::uint64_t(1) << k;
    }
    return s;
  }

  // Biased exponent around `centre` (spread 0: anywhere).
  long double Value(int centre = 16383, int spread = 0) {
    const bool negative = random_() % 2;
    const int pick = int(random_() % 64);
    if (pick == 0) return negative ? -0.0L : 0.0L;
    if (pick == 1) return negative ? -std::numeric_limits<long double>::infinity() : std::numeric_limits<long double>::infinity();
    if (pick == 2) return std::numeric_limits<long double>::quiet_NaN();
    int biased = spread == 0 ? int(random_() % 0x7FFF) : centre + int(random_() % (2 * spread + 1)) - spread;
    if (pick < 6) biased = int(random_() % 3);  // subnormals and the smallest normals
    if (pick == 6) biased = 0x7FFE - int(random_() % 3);  // the largest
    biased = std::clamp(biased, 0, 0x7FFE);
    std::uint64_t s = Significand();
    s = biased == 0 ? s & ~(std::uint64_t(1) << 63) : s | (std::uint64_t(1) << 63);
    return Native(SoftExtended::FromBits(s, std::uint16_t((negative ? 0x8000 : 0) | biased)));
  }

  // A second operand near the first in size (cancellation, alignment and carries) or anywhere.
  long double Partner(long double a) {
    const int biased = Soft(a).signExponent & 0x7FFF;
    return random_() % 2 ? Value(biased, 70) : Value();
  }

  // A significand of at most 33 bits: products of two such have ties at the last place.
  long double Short(int centre) {
    const std::uint64_t m = (random_() >> 31) | 1;
    const int shift = std::countl_zero(m);
    const bool negative = random_() % 2;
    return Native(SoftExtended::FromBits(m << shift, std::uint16_t((negative ? 0x8000 : 0) | std::clamp(centre, 1, 0x7FFE))));
  }

  int Exponent(int low, int high) { return low + int(random_() % std::uint64_t(high - low + 1)); }

 private:
  std::mt19937_64 random_;
};

#define EXPECT_SAME(actual, expected, ...) \
  do { if (!Same(actual, expected)) { ADD_FAILURE() << __VA_ARGS__; if (++failures > 20) return; } } while (0)

std::string Show(long double v) {
  const SoftExtended s = Soft(v);
  char text[64];
  std::snprintf(text, sizeof text, "%04x:%016llx (%Lg)", s.signExponent, static_cast<unsigned long long>(s.significand), v);
  return text;
}

TEST(SoftExtended, ArithmeticMatchesTheX87Unit) {
  Operands operands(18);
  int failures = 0;
  for (std::uint64_t i = 0; i < Count(); ++i) {
    long double a = operands.Value(), b = operands.Partner(a);
    if (i % 4 == 0) {  // short significands near each other: ties in the product
      a = operands.Short(operands.Exponent(1, 0x7FFE));
      b = operands.Short(operands.Exponent(16383 - 64, 16383 + 64));
    }
    if (i % 8 == 1) b = i % 16 == 1 ? a : -a;  // exact cancellation and doubling
    if (i % 8 == 3) {  // products and quotients at the edge of the subnormal range
      a = operands.Value(2, 2);
      b = operands.Value(16383, 1);
    }
    const SoftExtended x = Soft(a), y = Soft(b);
    EXPECT_SAME(x + y, a + b, Show(a) << " + " << Show(b));
    EXPECT_SAME(x - y, a - b, Show(a) << " - " << Show(b));
    EXPECT_SAME(x * y, a * b, Show(a) << " * " << Show(b));
    EXPECT_SAME(x / y, a / b, Show(a) << " / " << Show(b));
    EXPECT_SAME(-x, -a, "-" << Show(a));
    const int compared = (x == y) | (x != y) << 1 | (x < y) << 2 | (x <= y) << 3 | (x > y) << 4 | (x >= y) << 5;
    const int expected = (a == b) | (a != b) << 1 | (a < b) << 2 | (a <= b) << 3 | (a > b) << 4 | (a >= b) << 5;
    if (compared != expected) {
      ADD_FAILURE() << "comparisons " << compared << " for " << expected << " of " << Show(a) << ", " << Show(b);
      if (++failures > 20) return;
    }
  }
}

TEST(SoftExtended, SquareRootAndWholeNumbersMatchTheX87Unit) {
  Operands operands(1803);
  int failures = 0;
  for (std::uint64_t i = 0; i < Count(); ++i) {
    long double a = operands.Value();
    if (i % 4 == 0) {  // exact squares and their neighbours
      const long double r = operands.Short(operands.Exponent(8192, 24574));
      a = std::nextafter(r * r, (i / 4) % 3 == 0 ? -INFINITY : (i / 4) % 3 == 1 ? 0.0L : INFINITY);
      if ((i / 4) % 3 == 1) a = r * r;
    }
    if (i % 4 == 1) a = operands.Value(16383 + 31, 40);  // fractions, halves and large whole numbers
    const SoftExtended x = Soft(a);
    EXPECT_SAME(ExtSqrt(x), std::sqrt(a), "sqrt " << Show(a));
    EXPECT_SAME(ExtFloor(x), std::floor(a), "floor " << Show(a));
    EXPECT_SAME(ExtTrunc(x), std::trunc(a), "trunc " << Show(a));
    EXPECT_SAME(ExtRint(x), std::rint(a), "rint " << Show(a));
  }
  // Every multiple of 1/8 from -4096 to 4096: the halves, both zeros' signs.
  for (int k = -32768; k <= 32768; ++k) {
    const long double a = k / 8.0L;
    EXPECT_SAME(ExtRint(Soft(a)), std::rint(a), "rint " << Show(a));
    EXPECT_SAME(ExtFloor(Soft(a)), std::floor(a), "floor " << Show(a));
  }
}

TEST(SoftExtended, ConversionsMatchTheX87Unit) {
  Operands operands(2718);
  int failures = 0;
  for (std::uint64_t i = 0; i < Count(); ++i) {
    // Around each narrower format's normal range, subnormals and overflow, and anywhere.
    const long double toFloat = operands.Value(16383 + operands.Exponent(-160, 130), 8);
    const long double toDouble = i % 2 ? operands.Value(16383 + operands.Exponent(-1100, 1030), 8) : operands.Value();
    EXPECT_SAME(SoftExtended(float(Soft(toFloat))), (long double)(float(toFloat)), "to float " << Show(toFloat));
    EXPECT_SAME(SoftExtended(double(Soft(toDouble))), (long double)(double(toDouble)), "to double " << Show(toDouble));

    std::uint64_t bits = operands.Bits();
    float f;
    std::memcpy(&f, &bits, 4);
    double d;
    std::memcpy(&d, &bits, 8);
    EXPECT_SAME(SoftExtended(f), (long double)(f), "from float " << f);
    EXPECT_SAME(SoftExtended(d), (long double)(d), "from double " << d);
    const auto i64 = std::int64_t(bits >> (bits % 64));
    const auto i32 = std::int32_t(bits);
    EXPECT_SAME(SoftExtended(i64), (long double)(i64), "from int64 " << i64);
    EXPECT_SAME(SoftExtended(-i64), (long double)(-i64), "from int64 " << -i64);
    EXPECT_SAME(SoftExtended(i32), (long double)(i32), "from int " << i32);

    // To integers, toward zero, for values in the integer's range.
    const long double whole = operands.Value(16383 + 31, 34);
    if (std::fabs(whole) < 0x1p31L) {
      EXPECT_EQ(int(Soft(whole)), int(whole)) << Show(whole);
    }
    if (std::fabs(whole) < 0x1p63L) {
      EXPECT_EQ(std::int64_t(Soft(whole)), std::int64_t(whole)) << Show(whole);
    }
    if (whole >= 0 && whole < 0x1p32L) {
      EXPECT_EQ(std::uint32_t(Soft(whole)), std::uint32_t(whole)) << Show(whole);
    }
    if (failures > 20) return;
  }
  EXPECT_SAME(SoftExtended(std::numeric_limits<std::int64_t>::min()), (long double)(std::numeric_limits<std::int64_t>::min()), "int64 min");
  EXPECT_SAME(SoftExtended(std::numeric_limits<std::uint64_t>::max()), (long double)(std::numeric_limits<std::uint64_t>::max()), "uint64 max");
}

TEST(SoftExtended, ConstantsAndRecordedTrigonometryAreTheX87Values) {
  int failures = 0;
  EXPECT_SAME(ExtendedPi<SoftExtended>, std::numbers::pi_v<long double>, "pi");
  EXPECT_EQ(ExtendedPi<long double>, std::numbers::pi_v<long double>);
  // The average resampler's cell shortening.
  EXPECT_SAME(ExtendedScaled<SoftExtended>(0x8637BD05AF6C69B6u, -83), 1e-6L, "1e-6");
  EXPECT_EQ(ExtendedScaled<long double>(0x8637BD05AF6C69B6u, -83), 1e-6L);
  for (const TKnownTrig& entry : KnownTrig) {
    const long double a = Native(entry.argument);
    EXPECT_SAME(ExtSin(entry.argument), std::sin(a), "sin " << Show(a));
    EXPECT_SAME(ExtCos(entry.argument), std::cos(a), "cos " << Show(a));
    EXPECT_SAME(ExtTan(entry.argument), std::tan(a), "tan " << Show(a));
  }
  // An argument without a recorded value is refused, never approximated.
  EXPECT_THROW(ExtSin(SoftExtended(1.0)), std::domain_error);
}

}  // namespace

#endif
