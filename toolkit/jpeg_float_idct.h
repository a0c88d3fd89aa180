#pragma once
// libjpeg's floating-point inverse DCT, done four or eight columns and then as many rows at a time.
// Every value goes through the same single-precision operations in the same order as in libjpeg's
// own C code, and is truncated, wrapped and limited as there, so a JPEG decodes to the same samples
// with it as without it, only faster. Where the vector instructions it needs are missing, or the
// decoder is not set up as this code expects, it is not used and libjpeg's own code runs.
#include <cstdio>

#include <jpeglib.h>

namespace jpeg_detail {

// Whether this build has the vector transform (x86-64 and other processors with SSE2).
bool VectorFloatIDCTAvailable();

// Puts the vector transform (eight-wide where the processor has AVX2) in place of libjpeg's for
// every component of a decompression that jpeg_start_decompress has just set up with the
// floating-point method at full size, and answers true; answers false and changes nothing for any
// other decompression or where the transform is not available.
bool UseVectorFloatIDCT(jpeg_decompress_struct& info);

// The transforms themselves, with libjpeg's signature. The four-wide one computes the limiting of
// the results, for libjpeg's range table as libjpeg-turbo makes it, or reads it from the decoder's
// table; the eight-wide one computes it. Only where VectorFloatIDCTAvailable(), and the eight-wide
// one only where EightWideFloatIDCTAvailable().
void FourWideFloatIDCT(j_decompress_ptr info, jpeg_component_info* component, JCOEFPTR coefficients,
                       JSAMPARRAY output, JDIMENSION column);
void FourWideFloatIDCTThroughTable(j_decompress_ptr info, jpeg_component_info* component, JCOEFPTR coefficients,
                                   JSAMPARRAY output, JDIMENSION column);
bool EightWideFloatIDCTAvailable();
void EightWideFloatIDCT(j_decompress_ptr info, jpeg_component_info* component, JCOEFPTR coefficients,
                        JSAMPARRAY output, JDIMENSION column);

}  // namespace jpeg_detail
