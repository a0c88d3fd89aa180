// libjpeg's floating-point inverse DCT one value at a time, for every processor: the same
// single-precision operations in the same order as libjpeg's C code, each rounded on its own (the
// build turns contraction into fused multiply-adds off), and the conversion to int as x86's
// instruction makes it, so that no compiler and no processor changes a sample.
#include <climits>
#include <cstdint>

#include "toolkit/jpeg_float_idct.h"
// clang-format off
#include <jpegint.h>
// clang-format on

namespace jpeg_detail {

namespace {

// libjpeg's sample values wrap to 0..1023 before its range table limits them.
constexpr int kRangeMask = 4 * MAXJSAMPLE + 3;

// The inputs v[0..7] through the transform's butterflies, in place, in libjpeg's order; the row
// pass adds the level shift and the rounding half to the DC term first.
template <bool RowPass>
inline void Butterflies(float (&v)[8]) {
  const float sqrt2 = float(1.414213562), twoC2 = float(1.847759065);
  const float twoC2MinusC6 = float(1.082392200), twoC2PlusC6 = float(2.613125930);
  // Even part.
  const float z5 = RowPass ? v[0] + (float(CENTERJSAMPLE) + 0.5f) : v[0];
  const float tmp10 = z5 + v[4];
  const float tmp11 = z5 - v[4];
  const float tmp13 = v[2] + v[6];
  const float tmp12 = (v[2] - v[6]) * sqrt2 - tmp13;
  const float e0 = tmp10 + tmp13;
  const float e3 = tmp10 - tmp13;
  const float e1 = tmp11 + tmp12;
  const float e2 = tmp11 - tmp12;
  // Odd part.
  const float z13 = v[5] + v[3];
  const float z10 = v[5] - v[3];
  const float z11 = v[1] + v[7];
  const float z12 = v[1] - v[7];
  const float o7 = z11 + z13;
  const float o11 = (z11 - z13) * sqrt2;
  const float z5odd = (z10 + z12) * twoC2;
  const float o10 = z5odd - z12 * twoC2MinusC6;
  const float o12 = z5odd - z10 * twoC2PlusC6;
  const float o6 = o12 - o7;
  const float o5 = o11 - o6;
  const float o4 = o10 - o5;

  v[0] = e0 + o7;
  v[7] = e0 - o7;
  v[1] = e1 + o6;
  v[6] = e1 - o6;
  v[2] = e2 + o5;
  v[5] = e2 - o5;
  v[3] = e3 + o4;
  v[4] = e3 - o4;
}

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
