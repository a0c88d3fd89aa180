// The portable 128-bit integer against known answers and, where the compiler has one, against its
// built-in unsigned __int128 over the values where carries, borrows and shifts cross the halves.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "numeric/wide_unsigned.h"

namespace {

constexpr std::uint64_t kAll = ~std::uint64_t(0);
using P = PortableU128;

::testing::AssertionResult Same(P actual, std::uint64_t high, std::uint64_t low) {
  if (actual.High() == high && actual.Low() == low) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << std::hex << actual.High() << ":" << actual.Low() << " instead of " << high
                                       << ":" << low;
}

}  // namespace

TEST(PortableU128, KnownAnswers) {
  const P max = P::FromHalves(kAll, kAll);
  EXPECT_TRUE(Same(P(kAll) * P(kAll), kAll - 1, 1));            // (2^64 - 1)^2
  EXPECT_TRUE(Same(max + P(1), 0, 0));                             // wraps
  EXPECT_TRUE(Same(P(0) - P(1), kAll, kAll));
  EXPECT_TRUE(Same(P(kAll) + P(1), 1, 0));                         // carry into the high half
  EXPECT_TRUE(Same(P::FromHalves(1, 0) - P(1), 0, kAll));          // borrow from it
  EXPECT_TRUE(Same(P(-1), kAll, kAll));                            // sign-extends as a built-in does
  EXPECT_TRUE(Same(P(1) << 127, std::uint64_t(1) << 63, 0));
  EXPECT_TRUE(Same(max >> 127, 0, 1));
  EXPECT_TRUE(Same(P::FromHalves(0x0123456789ABCDEFu, 0xFEDCBA9876543210u) >> 4, 0x00123456789ABCDEu,
                   0xFFEDCBA987654321u));
  EXPECT_TRUE(Same(max / P(3), 0x5555555555555555u, 0x5555555555555555u));
  EXPECT_TRUE(Same(max % P(10), 0, 5));                            // 2^128 - 1 = ...455
  EXPECT_TRUE(Same(max / max, 0, 1));
  EXPECT_TRUE(Same(max / P::FromHalves(std::uint64_t(1) << 63, 0), 0, 1));  // divisor above 2^127
  EXPECT_TRUE(Same(max % P::FromHalves(std::uint64_t(1) << 63, 0), kAll >> 1, kAll));
  EXPECT_EQ(LeadingZeros(P(0)), 128);
  EXPECT_EQ(LeadingZeros(P(1)), 127);
  EXPECT_EQ(LeadingZeros(max), 0);
  EXPECT_TRUE(P(1) < P::FromHalves(1, 0));
  EXPECT_TRUE(P::FromHalves(1, 0) > P(kAll));
  EXPECT_EQ(std::uint64_t(P::FromHalves(7, 9)), 9u);
  EXPECT_TRUE(bool(P::FromHalves(7, 0)));
}

#if defined(__SIZEOF_INT128__)
TEST(PortableU128, AgreesWithTheBuiltInType) {
  __extension__ typedef unsigned __int128 N;
  auto toP = [](N n) { return P::FromHalves(std::uint64_t(n >> 64), std::uint64_t(n)); };
  std::vector<N> values;
  for (std::uint64_t high : {std::uint64_t(0), std::uint64_t(1), kAll, std::uint64_t(1) << 63})
    for (std::uint64_t low : {std::uint64_t(0), std::uint64_t(1), std::uint64_t(3), kAll, std::uint64_t(1) << 63})
      values.push_back((N(high) << 64) | low);
  std::mt19937_64 random(128);
  for (int i = 0; i < 150; ++i) {
    // Random halves, and random numbers of every length.
    const N n = (N(random()) << 64) | random();
    values.push_back(n >> (random() % 128));
  }
  for (const N a : values) {
    for (int shift = 0; shift < 128; shift += 7) {
      ASSERT_TRUE(Same(toP(a) << shift, std::uint64_t((a << shift) >> 64), std::uint64_t(a << shift)));
      ASSERT_TRUE(Same(toP(a) >> shift, std::uint64_t((a >> shift) >> 64), std::uint64_t(a >> shift)));
    }
    for (const N b : values) {
      const P x = toP(a), y = toP(b);
      const struct {
        const char* name;
        P actual;
        N expected;
      } results[] = {{"+", x + y, a + b}, {"-", x - y, a - b}, {"*", x * y, a * b}, {"|", x | y, a | b},
                     {"&", x & y, a & b}, {"/", b ? x / y : P(), b ? a / b : 0}, {"%", b ? x % y : P(), b ? a % b : 0}};
      for (const auto& r : results)
        ASSERT_TRUE(Same(r.actual, std::uint64_t(r.expected >> 64), std::uint64_t(r.expected))) << r.name;
      ASSERT_EQ(x < y, a < b);
      ASSERT_EQ(x == y, a == b);
      ASSERT_EQ(x >= y, a >= b);
    }
  }
}
#endif
