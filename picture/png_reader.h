#pragma once
// PNG pictures decoded by libspng into the program's source picture.
//
// Every colour type and bit depth is read: grey, grey with alpha, palette, RGB and RGBA at 1 to 16
// bits, Adam7 interlaced or not. Transparency is the file's own: an alpha channel, or the tRNS
// chunk of palette, grey and RGB pictures; without either the picture is opaque. Samples of 8 bits
// or fewer come out as libspng widens them (1, 2 and 4-bit grey levels stretched over 0..255, as the
// PNG format defines), 16-bit samples become 8-bit as (v * 255 + 32767) / 65535, the nearest level.
// Pixel values are as stored: gamma, colour profiles and chromaticities are ignored.
//
// libspng's row filters have vector versions on some processors; they undo the same integer
// filters byte for byte, so every build gives the same pixels (the tests compare them with libpng
// over pictures of every filter).
//
// The cost of a decode is bounded by the picture it declares: the size is checked against the
// image limit before anything is allocated, compressed data past the last row is never inflated,
// and chunk sizes and the memory kept for ancillary chunks are limited.
#include <cstdint>

#include "toolkit/bitmap.h"
#include "toolkit/stream.h"

// What a PNG file's header declares, read without decoding any pixels.
struct TPngHeader {
  int Width = 0;
  int Height = 0;
  // libspng's rows and inflate state, our 16-bit row and the most kept for ancillary chunks.
  std::uint64_t DecoderBytes = 0;
};

// Reads the signature and the header chunk from the stream's position. Throws EInvalidGraphic
// (SPngDamaged with libspng's text) for bytes that are no PNG file, EOutOfResources
// (SImageTooLarge) for a picture beyond the image limit at 32 bits.
TPngHeader ReadPngHeader(TStream& stream);

// Decodes the PNG file from the stream's position into a new pf32bit picture (blue, green, red,
// straight alpha). Throws what ReadPngHeader throws and EInvalidGraphic (SPngDamaged) for a file
// that is damaged anywhere before its last row: a checksum error, a chunk out of place, compressed
// data that ends early.
TBitmap ReadPngPicture(TStream& stream);
