#pragma once
// WebP pictures decoded by libwebp into the program's source picture.
//
// Lossy and lossless pictures, with or without alpha, are read; an animation gives its first frame,
// placed on its canvas as the file places it (the rest of the canvas transparent). Alpha stays
// straight; a picture without alpha is opaque. libwebp runs its plain C code on every processor
// where its vector code is chosen at run time (see UsePlainWebPCode in the source).
//
// The file is read whole (up to the size its RIFF header declares) because libwebp decodes from
// memory; the picture is decoded straight into the picture's rows. A lossless picture costs
// libwebp a second picture's worth of working pixels while it decodes.
#include <cstdint>

#include "toolkit/bitmap.h"
#include "toolkit/stream.h"

// What a WebP file's header declares, read without decoding any pixels.
struct TWebPHeader {
  int Width = 0;  // the canvas
  int Height = 0;
  // The file's bytes held in memory and libwebp's working memory for a picture of this size.
  std::uint64_t DecoderBytes = 0;
};

// Reads the RIFF header and the first chunks from the stream's position. Throws EInvalidGraphic
// (SWebPDamaged) for bytes that are no WebP file.
TWebPHeader ReadWebPHeader(TStream& stream);

// Decodes the WebP file from the stream's position into a new pf32bit picture. Throws
// EInvalidGraphic (SWebPDamaged, with libwebp's status where it says more) for a damaged file,
// EOutOfResources (SImageTooLarge) for a canvas beyond the image limit.
TBitmap ReadWebPPicture(TStream& stream);
