#pragma once
// The orientation tag of a photo's EXIF block: how the stored rows must be turned to stand upright.
#include <cstdint>
#include <span>

// Orientation values as the tag defines them: where the stored picture's first row and first column
// belong when it is shown upright.
enum class TOrientation : std::uint8_t {
  Upright = 1,          // as stored
  Mirrored = 2,         // left and right swapped
  UpsideDown = 3,       // turned half a turn
  MirroredUpsideDown = 4,  // top and bottom swapped
  Transposed = 5,       // first row is the left column, first column the top row
  TurnedRight = 6,      // first row is the right column: turn a quarter clockwise to show
  Transversed = 7,      // first row is the right column, first column the bottom row
  TurnedLeft = 8,       // first row is the left column: turn a quarter anticlockwise to show
};

// True when the data of an APP1 marker starts with the EXIF signature "Exif\0\0" (XMP and other
// blocks share the marker).
bool IsExifBlock(std::span<const std::uint8_t> app1);

// True for the orientations that swap width and height.
bool SwapsSides(TOrientation orientation);

// Reads the orientation from the data of an APP1 marker (starting with "Exif\0\0" and a TIFF
// header in either byte order), looking only at the first image's directory. Every offset and
// count is checked against the block; a block that is not EXIF, is damaged, has no orientation tag
// or an undefined value answers Upright. Never reads outside `app1`.
TOrientation ExifOrientation(std::span<const std::uint8_t> app1);
