// libjpeg's floating-point inverse DCT one value at a time, for every processor: the same
// single-precision operations in the same order as libjpeg's C code, each rounded on its own (the
// build turns contraction into fused multiply-adds off), and the conversion to int as x86's
// instruction makes it, so that no compiler and no processor changes a sample.
#include <climits>
#include <cstdint>

#include "toolkit/jpeg_float_idct.h"
#include "toolkit/jpeg_float_idct_steps.h"
// clang-format off
#include <jpegint.h>
// clang-format on

namespace jpeg_detail {

namespace {

// libjpeg's sample values wrap to 0..1023 before its range table limits them.
constexpr int kRangeMask = 4 * MAXJSAMPLE + 3;

}  // namespace

int TruncateAsX86(float value) {
  // Inside [-2^31, 2^31) C's conversion is defined and truncates; beyond it, and for NaN, x86's
  // instruction gives the "integer indefinite" value where ARM's saturates.
  if (value >= -2147483648.0f && value < 2147483648.0f) return int(value);
  return INT_MIN;
}

void ScalarFloatIDCT(j_decompress_ptr info, jpeg_component_info* component, JCOEFPTR coefficients,
                     JSAMPARRAY output, JDIMENSION column) {
  const auto* multipliers = static_cast<const float*>(component->dct_table);
  const JSAMPLE* rangeLimit = info->sample_range_limit;
  float work[DCTSIZE2];
  // Column pass. A column without AC terms is its dequantised DC value throughout, as in libjpeg.
  for (int c = 0; c < DCTSIZE; ++c) {
    const JCOEF* in = coefficients + c;
    const float* q = multipliers + c;
    bool acZero = true;
    for (int k = 1; k < DCTSIZE; ++k) acZero = acZero && in[DCTSIZE * k] == 0;
    if (acZero) {
      const float dc = float(in[0]) * (q[0] * 0.125f);
      for (int k = 0; k < DCTSIZE; ++k) work[DCTSIZE * k + c] = dc;
      continue;
    }
    float v[8];
    for (int k = 0; k < DCTSIZE; ++k) v[k] = float(in[DCTSIZE * k]) * (q[DCTSIZE * k] * 0.125f);
    Butterflies<false>(v);
    for (int k = 0; k < DCTSIZE; ++k) work[DCTSIZE * k + c] = v[k];
  }
  // Row pass, then truncation, wrapping to 0..1023 and libjpeg's range table.
  for (int r = 0; r < DCTSIZE; ++r) {
    float v[8];
    for (int k = 0; k < DCTSIZE; ++k) v[k] = work[DCTSIZE * r + k];
    Butterflies<true>(v);
    JSAMPROW out = output[r] + column;
    for (int k = 0; k < DCTSIZE; ++k) out[k] = rangeLimit[TruncateAsX86(v[k]) & kRangeMask];
  }
}

}  // namespace jpeg_detail
