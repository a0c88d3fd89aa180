#pragma once
// Run-length BMP pixel data (8 or 4 bits an index) decoded into a picture in the screen's format.
#include <cstdint>
#include <span>
#include <vector>

#include "toolkit/bitmap.h"

// Decodes `data` into a new bottom-up pfDevice image of width x height whose colour table is
// `palette`. Every pixel gets the colour of its index with the fourth byte 0; an index beyond the
// table is black. The first row of the data is the bottom row of the picture.
//
// Runs, absolute runs and deltas are all checked: one that would reach past the end of its stored
// row (the width rounded up to whole 4-byte words of indices, since encoders may code a row's fill
// bytes too; indices past the width are dropped), or a delta past the last row, throws
// EInvalidGraphic (SInvalidBitmap).
// Pixels that the data skips or never reaches (it ends early, or without an end-of-bitmap code) are 0,
// and decoding stops once the last row is complete.
TBitmap DecodeRunLength(std::span<const std::uint8_t> data, int bitsPerIndex, int width, int height,
                        const std::vector<TRGBQuad>& palette);
