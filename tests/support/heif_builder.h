#pragma once
// HEIF files put together box by box around one coded picture, for the hostile files of the tests
// and the loading figures: grids of many tiles that an encoder would never write.
#include <cstdint>
#include <string>
#include <vector>

// The primary picture of a file an encoder wrote (one coded item, no alpha, no thumbnail): its
// codec's four letters ("hvc1", "av01"), its configuration property box whole, its size and data.
struct THeifCodedPicture {
  std::string Type;
  std::vector<std::uint8_t> Config;
  std::uint32_t Width = 0, Height = 0;
  std::vector<std::uint8_t> Data;
};
THeifCodedPicture PrimaryCodedPicture(const std::vector<std::uint8_t>& file);

// A grid as the primary item: `tileItems` items that all hold the coded picture's data, the grid's
// `rows` x `columns` cells naming tile item references[i] (0-based) each, an output of
// outputWidth x outputHeight in its descriptor, and a declared size (ispe) of
// declaredWidth x declaredHeight.
struct THeifGrid {
  int TileItems = 1;
  std::vector<int> References;
  int Rows = 1, Columns = 1;
  std::uint32_t OutputWidth = 0, OutputHeight = 0;
  std::uint32_t DeclaredWidth = 0, DeclaredHeight = 0;
};
std::vector<std::uint8_t> HeifGridFile(const THeifCodedPicture& tile, const THeifGrid& grid);

// The usual grid: rows x columns distinct tile items in order, output and declared size what the
// tiles cover.
THeifGrid PlainGrid(const THeifCodedPicture& tile, int rows, int columns);
