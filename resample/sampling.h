#pragma once
// The three sampling modes behind ResizeBitmapWithProgress and the pixel helpers of the bilinear
// mode. Each mode makes a new image of Width x Height in the source's format, fills it from the top
// row down, reports progress after every row and returns it, or returns null when the source's
// format is not one it handles.
#include <cstdint>
#include <memory>
#include <vector>

#include "resample/progress.h"
#include "toolkit/bitmap.h"

// Start of every row of an image, row 0 the top one; built once per call so that each pixel costs
// one lookup and one offset.
using TRowTable = std::vector<const std::uint8_t*>;
TRowTable MakeRowTable(const TBitmap& image);

// A 24-bit pixel in memory order.
struct TRGBTriple {
  std::uint8_t rgbtBlue = 0;
  std::uint8_t rgbtGreen = 0;
  std::uint8_t rgbtRed = 0;
  friend bool operator==(const TRGBTriple&, const TRGBTriple&) = default;
};

// The 24-bit source pixel at (Column, Row) with both clamped into the image, so the edges repeat.
// Throws on an empty image, which has no pixel to repeat.
TRGBTriple FetchPixelClamped(const TBitmap& Source, const TRowTable& Rows, int Column, int Row);

// Nearest integer (ties to even) of (1 - fy)((1 - fx)a + fx b) + fy((1 - fx)c + fx d), each inner
// blend held as a double before the outer one.
int BilinearChannel(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d, double fy, double fx);

// BilinearChannel of each byte of P00, P10, P01, P11 (as a, b, c, d).
TRGBTriple BilinearPixel(TRGBTriple P00, TRGBTriple P10, TRGBTriple P01, TRGBTriple P11, double fy, double fx);

// Nearest source pixel to the left/top edge of each new cell (x * SW / W, not centred); whole pixels
// are copied, alpha included. An 8-bit result keeps the colour table of a new 8-bit image. An empty
// source with a non-empty request gives no result. Errors pass to the caller.
std::unique_ptr<TBitmap> ResizeNearest(const TBitmap& Source, int Width, int Height, ResizeProgressInfo Info);

// 24-bit only: the four source pixels around x * SW / W, y * SH / H blended by their fractions; the
// last column and row repeat at the edges. An empty source gives no result. Errors pass to the
// caller.
std::unique_ptr<TBitmap> ResizeBilinear(const TBitmap& Source, int Width, int Height, ResizeProgressInfo Info);

// 24- and 32-bit: each new pixel is the mean of the source cells under it weighted by how much of
// each it covers; every byte (alpha too) on its own. Any error raised while pixels are computed
// (a zero Width or Height, an error from the progress event) gives no result; errors while the new
// image or the row table are made pass to the caller.
std::unique_ptr<TBitmap> ResizeAverage(const TBitmap& Source, int Width, int Height, ResizeProgressInfo Info);

// The new, empty-pixelled image of a mode: the source's format, then the width, then the height.
std::unique_ptr<TBitmap> MakeResizeTarget(TPixelFormat format, int Width, int Height);

// Per cent done after new row `row` of `height` rows, as the modes report it.
inline std::int32_t RowPercent(int row, int height) { return std::int32_t(std::int64_t(row) * 100 / height); }
