#pragma once
// libjpeg's floating-point inverse DCT as the program's own, the same on every processor: every
// value goes through the same single-precision operations in the same order as in libjpeg's C code
// (each rounded on its own), and is truncated as x86 does, wrapped and limited as there. On x86 it
// is done four or eight columns and then as many rows at a time with vector instructions;
// elsewhere (ARM64, WebAssembly, any other) one value at a time. So a JPEG decodes to the same
// samples whichever processor runs it and however the system's libjpeg was compiled.
#include <cstdio>

#include <jpeglib.h>

namespace jpeg_detail {

// Puts the program's transform (the vector one where this build has it, eight-wide where the
// processor has AVX2; the scalar one elsewhere) in place of libjpeg's for every component of a
// decompression that jpeg_start_decompress has just set up with the floating-point method at full
// size, and answers true; answers false and changes nothing for any other decompression.
bool UseOwnFloatIDCT(jpeg_decompress_struct& info);

// The scalar transform, with libjpeg's signature, limiting through the decoder's range table.
void ScalarFloatIDCT(j_decompress_ptr info, jpeg_component_info* component, JCOEFPTR coefficients,
                     JSAMPARRAY output, JDIMENSION column);
// C's conversion of a float to int where it is defined, and x86's answer (INT_MIN) where it is not:
// out of range, infinite or NaN.
int TruncateAsX86(float value);

// Whether this build has the vector transform (x86-64 and other processors with SSE2).
bool VectorFloatIDCTAvailable();

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
