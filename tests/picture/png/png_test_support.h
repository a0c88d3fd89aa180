#pragma once
// Helpers for checking written PNG files independently of the encoder: a chunk walker that checks
// every CRC, libpng as the decoder, and pngcheck as the validator.
#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/bitmap.h"

struct PngChunk {
  std::string Type;
  std::vector<std::uint8_t> Data;
  bool CrcOk = false;
};

// Splits a PNG file into its chunks; an empty list when the signature is wrong or a chunk runs
// past the end.
std::vector<PngChunk> SplitChunks(const std::vector<std::uint8_t>& file);
std::vector<std::string> ChunkTypes(const std::vector<PngChunk>& chunks);
const PngChunk* FindChunk(const std::vector<PngChunk>& chunks, const std::string& type);

// A PNG as libpng decodes it, interlacing undone and samples below 8 bits unpacked to one byte
// each (not scaled): Samples holds Width x Height x Channels bytes, top row first.
struct DecodedPng {
  bool Ok = false;
  int Width = 0, Height = 0, BitDepth = 0, ColorType = -1, Interlace = -1, Channels = 0;
  std::vector<std::uint8_t> Samples;
  std::vector<TRGBQuad> Palette;
};
DecodedPng DecodeWithLibpng(const std::vector<std::uint8_t>& file);

// Runs pngcheck over the files and answers whether it accepted every one; `report` gets its output.
bool PngcheckAccepts(const std::vector<std::vector<std::uint8_t>>& files, std::string& report);

// A deterministic byte generator for test pictures.
struct TestRandom {
  std::uint32_t State;
  explicit TestRandom(std::uint32_t seed) : State(seed * 2654435761u + 1) {}
  std::uint8_t Next() {
    State = State * 1664525u + 1013904223u;
    return std::uint8_t(State >> 24);
  }
};

// Fills every pixel byte (row padding excluded) from the generator.
void FillRandom(TBitmap& image, TestRandom& random);
