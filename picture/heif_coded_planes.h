#pragma once
// libheif hands a decoded HEIF or AVIF picture over only after turning its YCbCr planes into RGB
// itself, in floating point (whose rounding a compiler may fuse differently on each processor), and
// offers no way to ask for the planes as coded. The program's own decoders stand in front of
// libheif's HEVC and AV1 decoders: each passes the coded data to libheif's decoder and hands back
// its planes unconverted, relabelled so that libheif sees nothing left to convert:
//
//   - colour planes (4:2:0, 4:2:2, 4:4:4) as an RGB 4:4:4 picture of the luma's size and the coded
//     depth whose R plane holds Cr, G holds Y and B holds Cb, chroma repeated over the pixels it
//     covers (x >> 1, y >> 1 as subsampled);
//   - grey planes (alpha pictures among them) as a monochrome picture.
//
// The codec's own colour description travels with the planes. Turning, mirroring, cropping, grids
// and alpha stay libheif's, which move samples without arithmetic.

// Puts the program's decoders in front of libheif's, once per process, once HeifLibrary()
// (picture/heif_library.h) has opened and set up libheif. Returns false where libheif has no HEVC
// or AV1 decoder to stand in front of.
bool UseCodedPlanes();
