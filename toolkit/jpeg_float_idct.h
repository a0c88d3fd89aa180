#pragma once
// libjpeg's floating-point inverse DCT, done four columns and then four rows at a time. Every value
// goes through the same single-precision operations in the same order as in libjpeg's own C code,
// and is truncated, wrapped and limited as there, so a JPEG decodes to the same samples with it as
// without it, only faster. Where the vector instructions it needs are missing, or the decoder is
// not set up as this code expects, it is not used and libjpeg's own code runs.
#include <cstdio>

#include <jpeglib.h>

namespace jpeg_detail {

// Whether this build has the four-wide transform (x86-64 and other processors with SSE2).
bool FourWideFloatIDCTAvailable();

// Puts the four-wide transform in place of libjpeg's for every component of a decompression that
// jpeg_start_decompress has just set up with the floating-point method at full size, and answers
// true; answers false and changes nothing for any other decompression or where the transform is not
// available.
bool UseFourWideFloatIDCT(jpeg_decompress_struct& info);

// The transform itself, with libjpeg's signature: the limiting of the results computed, for
// libjpeg's range table as libjpeg-turbo makes it, or read from the decoder's table. Only where
// FourWideFloatIDCTAvailable().
void FourWideFloatIDCT(j_decompress_ptr info, jpeg_component_info* component, JCOEFPTR coefficients,
                       JSAMPARRAY output, JDIMENSION column);
void FourWideFloatIDCTThroughTable(j_decompress_ptr info, jpeg_component_info* component, JCOEFPTR coefficients,
                                   JSAMPARRAY output, JDIMENSION column);

}  // namespace jpeg_detail
