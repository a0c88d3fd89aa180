#pragma once
// The image resampling library: a new image of a requested size made from a source image by one of
// five modes. The result is a new image that belongs to the caller; null means no result (a mode
// value or a pixel format the mode does not handle, or a failure that the mode swallows). The
// source is read and never changed, and never returned itself.
#include <cstdint>
#include <memory>

#include "resample/progress.h"
#include "toolkit/bitmap.h"

// An 8-bit value; 5 to 255 name no mode and give no result (unless the size is unchanged).
enum TResizeMode : std::uint8_t {
  rmStretch,   // ResizeStretch: any format, pixels repeated or dropped
  rmNearest,   // ResizeNearest: 8-, 24- and 32-bit
  rmBilinear,  // ResizeBilinear: 24-bit only
  rmAverage,   // ResizeAverage: 24- and 32-bit, area-weighted mean
  rmAuto       // rmAverage when neither side grows, rmBilinear otherwise
};

// ResizeBitmapWithProgress without any progress reporting (the message pump never runs).
std::unique_ptr<TBitmap> ResizeBitmap(const TBitmap& Source, int Width, int Height, TResizeMode Mode);

// An unchanged size gives a copy of the source whatever the mode or format. Otherwise the mode's
// operation runs (rmAuto chosen first); errors of rmNearest and rmBilinear, and format or size
// errors raised before rmAverage starts computing, pass to the caller.
std::unique_ptr<TBitmap> ResizeBitmapWithProgress(const TBitmap& Source, int Width, int Height, TResizeMode Mode,
                                                  const ResizeProgressInfo& Info);

// The plain stretch: the source's format (colour table and masks included) at the new size, each
// new pixel taken from the source pixel its cell starts in, so a growing side repeats pixels.
// Never throws: any failure gives no result. Reports no progress.
std::unique_ptr<TBitmap> ResizeStretch(const TBitmap& Source, int Width, int Height);
