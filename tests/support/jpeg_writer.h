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
  // Four-component files only: coded as YCCK instead of CMYK, and with or without Adobe's APP14
  // marker (whose files store inverted ink; libjpeg's encoder writes it for both by default).
  bool YCCK = false;
  bool AdobeMarker = true;
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

// The file with a marker segment (0xFF, `code`, length, `data`) put right after its SOI marker.
std::vector<std::uint8_t> WithMarker(std::vector<std::uint8_t> bytes, std::uint8_t code,
                                     const std::vector<std::uint8_t>& data);

// The data of an APP1 marker holding an EXIF block: "Exif\0\0", a TIFF header in the given byte
// order and a first directory with an ImageWidth tag and an Orientation tag of `orientation`.
std::vector<std::uint8_t> ExifBlock(int orientation, bool bigEndian = false);

// The file with `count` scans of no data put before its end-of-image marker: each an AC scan of the
// first component (spectral selection 1 to 63, no successive approximation). libjpeg only warns
// about such repeated scans and goes over the whole picture's blocks for each.
std::vector<std::uint8_t> WithEmptyScans(std::vector<std::uint8_t> bytes, int count);
