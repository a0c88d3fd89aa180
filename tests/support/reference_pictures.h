#pragma once
// Pictures for the readers' tests: made by Debian's encoders from samples the test draws, decoded
// by the formats' own reference tools into PAM files, and compared with what our readers load.
#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/bitmap.h"

// Runs a shell command (its output discarded unless `output` is given); true when it exits 0.
bool Shell(const std::string& command);

// A netpbm picture (P5, P6 or P7): Depth samples a pixel (1 grey, 2 grey and alpha, 3 RGB,
// 4 RGBA), each up to MaxVal, top row first.
struct TPam {
  int Width = 0, Height = 0, Depth = 0, MaxVal = 0;
  std::vector<std::uint16_t> Samples{};
};
// An empty picture (Width 0) when the file is missing or no netpbm picture.
TPam ReadPam(const std::string& fileName);
// Writes 8-bit RGBA samples as a P7 RGB_ALPHA file (or RGB without alpha), the encoders' input.
void WritePam(const std::string& fileName, int width, int height, const std::vector<std::uint8_t>& rgba, bool alpha);

// What a reader's result should be for the reference: blue, green, red, alpha at 8 bits, each
// sample scaled to the nearest level (v * 255 + MaxVal / 2) / MaxVal, opaque without alpha.
TBitmap PamToPicture(const TPam& pam);

// How far two pictures of the same size are apart: the samples that differ and the largest
// difference (Differing is -1 when the sizes differ).
struct TPictureDistance {
  long Differing = 0;
  int Largest = 0;
};
TPictureDistance Distance(const TBitmap& a, const TBitmap& b);

// Samples the test draws: a smooth field with a hard edge, grain, and an alpha ramp with fully
// clear and fully opaque corners, so flips, channel swaps and alpha faults all show.
std::vector<std::uint8_t> TestSamples(int width, int height, std::uint32_t seed);

// A PNG written field by field for the tests, with the filter of each row chosen from the seed so
// that every filter meets every pixel size. Samples holds the file's samples a pixel at a time
// (palette indices for colour type 3) at the file's depth; Trns holds the tRNS chunk's bytes.
struct TTestPng {
  int Width = 0, Height = 0, ColourType = 0, BitDepth = 8;
  bool Interlaced = false;
  std::vector<std::uint16_t> Samples{};
  std::vector<std::uint8_t> Palette{};  // RGB triples
  std::vector<std::uint8_t> Trns{};
  std::uint32_t FilterSeed = 1;
};
std::vector<std::uint8_t> WriteTestPng(const TTestPng& png);
