// The compiler's arithmetic as the build sets it: a multiplication followed by an addition is
// rounded twice, never fused into one rounding (which ARM64 and x86 with FMA could do), and float
// and double round to their own precision at each step, not to the x87 unit's.
#include <gtest/gtest.h>

#include <cmath>

namespace {

// Opaque to the optimiser, so that the operations happen at run time with the build's flags.
template <class T>
T Opaque(T value) {
  volatile T held = value;
  return held;
}

template <class T>
[[gnu::noinline]] T MultiplyAdd(T a, T b, T c) {
  return a * b + c;
}

}  // namespace

TEST(Arithmetic, MultiplyThenAddRoundsTwice) {
  // (1 + e)^2 - (1 + 2e) is e^2 exactly, where e is the square root of the unit roundoff: the
  // product rounded first loses e^2 (a tie to even), so the sum is 0; a fused one gives e^2.
  const float ef = std::ldexp(1.0f, -12);
  EXPECT_EQ(MultiplyAdd(Opaque(1 + ef), Opaque(1 + ef), Opaque(-(1 + 2 * ef))), 0.0f);
  EXPECT_EQ(Opaque(1 + ef) * Opaque(1 + ef) + Opaque(-(1 + 2 * ef)), 0.0f);
  const double ed = std::ldexp(1.0, -27);
  EXPECT_EQ(MultiplyAdd(Opaque(1 + ed), Opaque(1 + ed), Opaque(-(1 + 2 * ed))), 0.0);
  EXPECT_EQ(Opaque(1 + ed) * Opaque(1 + ed) + Opaque(-(1 + 2 * ed)), 0.0);
}

TEST(Arithmetic, EachStepRoundsToItsType) {
  // In 64-bit precision 2^53 + 1 + 1 is exact; rounded to double at each step it stays 2^53.
  const double big = std::ldexp(1.0, 53);
  EXPECT_EQ(Opaque(big) + Opaque(1.0) + Opaque(1.0), big);
  const float bigf = std::ldexp(1.0f, 24);
  EXPECT_EQ(Opaque(bigf) + Opaque(1.0f) + Opaque(1.0f), bigf);
}
