#pragma once
// HEIC, HEIF and AVIF pictures decoded by libheif (HEVC through libde265, AV1 through dav1d) into
// the program's source picture.
//
// The primary picture is read, turned and mirrored as the file says (libheif applies the rotation,
// mirroring and cropping), with alpha where the file has an alpha picture for it, straight even where
// the file premultiplied the colour by it (picture/straight_alpha.h). libheif hands over
// the planes as the codec decoded them, at their full depth (picture/heif_coded_planes.h); upsampling the chroma, the conversion
// to RGB with the file's matrix and range and the reduction to 8 bits are our own integer code
// (picture/ycbcr.h), so a pixel never depends on how a library was compiled. HEVC and AV1 decoding
// themselves are exact by their standards: every conforming decoder, vector code or not, gives the
// same samples.
//
// Colour profiles and transfer functions are ignored, as for the other formats. The cost of a
// decode is bounded by the picture it declares: a picture beyond the image limit is refused before
// any of its data is decoded.
#include <cstdint>

#include "toolkit/bitmap.h"
#include "toolkit/stream.h"

// What a HEIF file's boxes declare, read without decoding any pixels.
struct THeifHeader {
  int Width = 0;  // the primary picture as shown, turned
  int Height = 0;
  // The compressed data libheif holds and its planes: the decoded ones, a turned copy, the codec's.
  std::uint64_t DecoderBytes = 0;
};

// Reads the file's boxes from the stream's position. Throws EInvalidGraphic (SHeifDamaged with
// libheif's text) for a file that is no HEIF file or is damaged, EInvalidGraphic
// (SPictureNotSupported) for a valid file without a picture we can show, EOutOfResources
// (SImageTooLarge) for a picture beyond the image limit at 32 bits.
THeifHeader ReadHeifHeader(TStream& stream);

// Decodes the primary picture into a new pf32bit picture. Throws what ReadHeifHeader throws.
TBitmap ReadHeifPicture(TStream& stream);
