#pragma once
// What a HEIF file's boxes say about its items and its primary picture's grid, read by the program
// itself before libheif reads the file, so that a few kilobytes cannot cost more than the picture
// they declare.
//
// libheif 1.15 takes time that grows with the square of the number of items when it reads a file's
// boxes: 4096 items take it a second, 16384 items twenty, before any pixel is decoded. And a large
// photo is often stored as a grid (a descriptor giving the picture's size and its rows and columns of
// tiles, each tile a coded picture of its own), which libheif decodes into a picture of the
// descriptor's size without comparing it with the size the file declares (its ispe box, from which
// the loader's cost is reckoned) or with what the tiles cover: thousands of tiles decoded for a
// picture declared 64 x 64, or a picture of 16000 x 16000 of which four tiles were decoded and the
// rest is whatever the memory held.
#include <cstddef>
#include <cstdint>

#include "toolkit/stream.h"

struct THeifLayout {
  bool Readable = false;  // every box below was read; otherwise only what was read before the fault
  std::uint64_t MetaBytes = 0;  // the meta box, which holds the boxes below
  std::size_t Items = 0;        // the items the file describes (iinf or iloc, the more)
  std::uint32_t DeclaredWidth = 0, DeclaredHeight = 0;  // the primary picture's ispe
  bool Grid = false;  // the primary picture is a grid; the rest is set only then
  int Rows = 0, Columns = 0;
  std::uint32_t OutputWidth = 0, OutputHeight = 0;  // the grid descriptor's
  std::size_t Tiles = 0;                            // the tiles it names
  std::uint32_t TileWidth = 0, TileHeight = 0;      // every tile's ispe (all alike)
};

// Reads the layout of the HEIF file of `size` bytes that starts at `start` in the stream; the stream
// is left anywhere. Never throws for the file's content: boxes it cannot read leave Readable false.
THeifLayout ReadHeifLayout(TStream& stream, std::int64_t start, std::int64_t size);

// Most items a file may describe: one for each 128 x 128 pixels of its primary picture (a grid of
// tiles far smaller than the 256 or 512 pixels encoders use), as many again for an alpha grid, and
// 64 more (thumbnails, metadata). Tiles of 64 x 64 already cost libheif three times the time of the
// same picture coded whole, and 16384 items twenty seconds to read.
std::size_t MostHeifItems(std::uint32_t width, std::uint32_t height);

// Throws EInvalidGraphic (SPictureNotSupported) for a meta box beyond 64 MiB, EOutOfResources
// (SImageTooLarge) for a declared picture beyond the image limit at 32 bits, and EInvalidGraphic
// (SHeifDamaged) for a file with more items than MostHeifItems allows, and for
// a grid that does not name a tile for each cell, whose output is not the size the file declares,
// whose tiles (all of one size) do not cover the output or leave a whole row or column of tiles
// beyond it, or together hold more than four times the output's pixels and a megapixel (a single
// tile padded far past a small output): reading and decoding then cost about what the declared
// picture does.
void CheckHeifLayout(const THeifLayout& layout);
