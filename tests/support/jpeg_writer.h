#pragma once
// JPEG files for tests, made with libjpeg's encoder from samples the test chooses.
#include <cstdint>
#include <vector>

struct TJPEGSamples {
  int Width = 0;
  int Height = 0;
  int Components = 3;                 // 1 grey, 3 RGB, 4 CMYK
  std::vector<std::uint8_t> Samples;  // rows top to bottom, Components bytes a pixel
  // Sampling factors of the first component against the others' 1 x 1: 2 x 2 is libjpeg's
  // default for colour (chroma at half size both ways), 1 x 1 keeps full-size chroma.
  int LumaSamplingX = 2;
  int LumaSamplingY = 2;
};

// Samples of one colour per quadrant (red, green, blue, white: top-left, top-right, bottom-left,
// bottom-right), split at (splitX, splitY).
TJPEGSamples QuadrantSamples(int width, int height, int splitX, int splitY);

std::vector<std::uint8_t> EncodeJPEG(const TJPEGSamples& samples, int quality = 95, bool progressive = false);

// The file with its frame header changed to declare width x height, its pixel data untouched; with
// `undecodable`, the first component also names a quantisation table the file does not define, so
// that decoding fails at its first step while the header still reads.
std::vector<std::uint8_t> WithDeclaredSize(std::vector<std::uint8_t> bytes, int width, int height,
                                           bool undecodable = false);
