#pragma once
// The pictures most PNG files hold (8-bit RGB or RGBA, not interlaced, without tRNS) decoded by the
// program's own row inflater (picture/png/RowInflater.h) instead of libspng, whose build in Debian
// undoes the row filters a byte at a time: the same pixels in a third of the time.
//
// libspng has read and checked the signature, the header and every chunk before the image data.
// This reads the file again from its start, skips to the image data and checks what follows as
// libspng does: the checksum of every chunk, no image data after other chunks, no critical chunk but
// the end after the image data, no chunk of metadata beyond the limit, and the end chunk (what
// follows it is not read). Compressed data past the last row is
// never inflated.
#include <cstdint>

#include "toolkit/bitmap.h"
#include "toolkit/stream.h"

// Decodes the image data of the PNG file that starts at `start` in the stream (width x height,
// three or four 8-bit channels) into a new pf32bit picture. Throws EInvalidGraphic (SPngDamaged with
// libspng's text for the fault) for damage, (SPictureNotSupported) for metadata beyond the limit.
TBitmap ReadCommonPngImageData(TStream& stream, std::int64_t start, int width, int height, int channels);
