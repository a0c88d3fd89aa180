#pragma once
// The area average of a 32-bit image shrunk by exactly five in each direction, in integers, one
// row of new pixels at a time.
//
// For that shrink ResizeAverage's weights are 1, 1, 1, 1 and 1 - 1e-6 along each axis and its
// area ratio is 25, so each new byte is the rounded mean of the 25 bytes of its block, and no such
// mean lies near enough to a half for the single-precision sums to decide it. Each byte is
// therefore (sum + 12) / 25 in integers, byte for byte what ResizeAverage gives (the test runs
// every block sum 0..6375 through both). Other factors have no such margin: with an even number of
// pixels per block a mean can lie exactly on a half, where ResizeAverage's shortened cells round it
// down and this formula would round it up.
#include <cstdint>

inline constexpr int FiveFold = 5;

// The integer mean of a block whose bytes sum to `sum` (0..6375), rounded half up.
constexpr std::uint8_t FiveFoldMean(unsigned sum) { return std::uint8_t((sum + 12) / 25); }

// New pixel i (0 <= i < count) of `out` becomes the per-byte mean of pixels 5i .. 5i + 4 of each of
// the five 32-bit rows; blue, green, red and alpha each on its own, colour not weighted by alpha.
void AverageFiveFoldRow(const std::uint8_t* const rows[FiveFold], int count, std::uint8_t* out);
