#include "toolkit/jpeg_float_idct.h"

#include <cstdint>

// clang-format off
#include <jpegint.h>
// clang-format on

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace jpeg_detail {

#if defined(__SSE2__)

namespace {

// libjpeg's constants, as the single-precision values its C code multiplies by.
const __m128 kSqrt2 = _mm_set1_ps(float(1.414213562));
const __m128 kTwoC2 = _mm_set1_ps(float(1.847759065));
const __m128 kTwoC2MinusC6 = _mm_set1_ps(float(1.082392200));
const __m128 kTwoC2PlusC6 = _mm_set1_ps(float(2.613125930));

// One butterfly network of the transform on eight inputs, each a vector of four independent values;
// the outputs in place, in order 0..7. The order of every addition and multiplication is libjpeg's.
inline void Butterflies(__m128 (&v)[8], __m128 evenBias) {
  // Even part.
  const __m128 z5 = _mm_add_ps(v[0], evenBias);  // in the row pass: the level shift and the rounding half
  const __m128 tmp10 = _mm_add_ps(z5, v[4]);
  const __m128 tmp11 = _mm_sub_ps(z5, v[4]);
  const __m128 tmp13 = _mm_add_ps(v[2], v[6]);
  const __m128 tmp12 = _mm_sub_ps(_mm_mul_ps(_mm_sub_ps(v[2], v[6]), kSqrt2), tmp13);
  const __m128 e0 = _mm_add_ps(tmp10, tmp13);
  const __m128 e3 = _mm_sub_ps(tmp10, tmp13);
  const __m128 e1 = _mm_add_ps(tmp11, tmp12);
  const __m128 e2 = _mm_sub_ps(tmp11, tmp12);

  // Odd part.
  const __m128 z13 = _mm_add_ps(v[5], v[3]);
  const __m128 z10 = _mm_sub_ps(v[5], v[3]);
  const __m128 z11 = _mm_add_ps(v[1], v[7]);
  const __m128 z12 = _mm_sub_ps(v[1], v[7]);
  const __m128 o7 = _mm_add_ps(z11, z13);
  const __m128 o11 = _mm_mul_ps(_mm_sub_ps(z11, z13), kSqrt2);
  const __m128 z5odd = _mm_mul_ps(_mm_add_ps(z10, z12), kTwoC2);
  const __m128 o10 = _mm_sub_ps(z5odd, _mm_mul_ps(z12, kTwoC2MinusC6));
  const __m128 o12 = _mm_sub_ps(z5odd, _mm_mul_ps(z10, kTwoC2PlusC6));
  const __m128 o6 = _mm_sub_ps(o12, o7);
  const __m128 o5 = _mm_sub_ps(o11, o6);
  const __m128 o4 = _mm_sub_ps(o10, o5);

  v[0] = _mm_add_ps(e0, o7);
  v[7] = _mm_sub_ps(e0, o7);
  v[1] = _mm_add_ps(e1, o6);
  v[6] = _mm_sub_ps(e1, o6);
  v[2] = _mm_add_ps(e2, o5);
  v[5] = _mm_sub_ps(e2, o5);
  v[3] = _mm_add_ps(e3, o4);
  v[4] = _mm_sub_ps(e3, o4);
}

// Four coefficients of one row of the block, dequantised: each as a float times its multiplier
// times 1/8, libjpeg's DEQUANTIZE. (A column whose AC terms are all zero, which libjpeg's C code
// passes through as its DC value, comes out the same through the butterflies: every term added to
// the DC value is an exact zero.)
inline __m128 Dequantize(const JCOEF* coefficients, const float* multipliers) {
  const __m128i packed = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(coefficients));
  const __m128i widened = _mm_srai_epi32(_mm_unpacklo_epi16(packed, packed), 16);
  const __m128 scaled = _mm_mul_ps(_mm_loadu_ps(multipliers), _mm_set1_ps(0.125f));
  return _mm_mul_ps(_mm_cvtepi32_ps(widened), scaled);
}

// libjpeg's output stage for two rows of eight values: truncated toward zero (as C's conversion,
// which gives 0x80000000 for a value beyond the int range, as this instruction does), wrapped to
// 0..1023, and limited through the range table: 0..255 stay, 256..639 become 255, 640..1023
// (the wrapped negatives) become 0.
inline __m128i LimitedRows(__m128 aLeft, __m128 aRight, __m128 bLeft, __m128 bRight) {
  const __m128i mask = _mm_set1_epi32(1023);
  const __m128i a = _mm_packs_epi32(_mm_and_si128(_mm_cvttps_epi32(aLeft), mask),
                                    _mm_and_si128(_mm_cvttps_epi32(aRight), mask));
  const __m128i b = _mm_packs_epi32(_mm_and_si128(_mm_cvttps_epi32(bLeft), mask),
                                    _mm_and_si128(_mm_cvttps_epi32(bRight), mask));
  const __m128i top = _mm_set1_epi16(255), wrapped = _mm_set1_epi16(640);
  const __m128i la = _mm_and_si128(_mm_min_epi16(a, top), _mm_cmplt_epi16(a, wrapped));
  const __m128i lb = _mm_and_si128(_mm_min_epi16(b, top), _mm_cmplt_epi16(b, wrapped));
  return _mm_packus_epi16(la, lb);
}

// Whether libjpeg's range table is the one LimitedRows computes.
bool RangeTableAsExpected(const JSAMPLE* table) {
  for (int i = 0; i < 1024; ++i) {
    const int expected = i < 256 ? i : i < 640 ? 255 : 0;
    if (table[i] != expected) return false;
  }
  return true;
}

}  // namespace

bool FourWideFloatIDCTAvailable() { return true; }

namespace {

// One row's eight values, truncated and wrapped as in LimitedRows, then limited through libjpeg's
// range table itself: for a libjpeg whose table is not the one LimitedRows computes.
inline void TableLimitedRow(__m128 left, __m128 right, const JSAMPLE* table, JSAMPROW out) {
  const __m128i mask = _mm_set1_epi32(1023);
  alignas(16) std::int32_t index[8];
  _mm_store_si128(reinterpret_cast<__m128i*>(index), _mm_and_si128(_mm_cvttps_epi32(left), mask));
  _mm_store_si128(reinterpret_cast<__m128i*>(index + 4), _mm_and_si128(_mm_cvttps_epi32(right), mask));
  for (int i = 0; i < 8; ++i) out[i] = table[index[i]];
}

template <bool ThroughTable>
void Transform(j_decompress_ptr info, jpeg_component_info* component, JCOEFPTR coefficients, JSAMPARRAY output,
               JDIMENSION column) {
  const auto* multipliers = static_cast<const float*>(component->dct_table);
  // Column pass, four columns at a time: rows[k][h] holds row k of columns 4h..4h+3.
  __m128 rows[8][2];
  for (int h = 0; h < 2; ++h) {
    __m128 v[8];
    for (int k = 0; k < 8; ++k) v[k] = Dequantize(coefficients + 8 * k + 4 * h, multipliers + 8 * k + 4 * h);
    Butterflies(v, _mm_setzero_ps());
    for (int k = 0; k < 8; ++k) rows[k][h] = v[k];
  }
  // Row pass, four rows at a time: the work array turned so that each vector holds one position of
  // four rows, the results turned back into rows.
  const __m128 bias = _mm_set1_ps(float(CENTERJSAMPLE) + 0.5f);
  for (int g = 0; g < 2; ++g) {
    __m128 v[8];
    for (int h = 0; h < 2; ++h) {
      __m128 r0 = rows[4 * g][h], r1 = rows[4 * g + 1][h], r2 = rows[4 * g + 2][h], r3 = rows[4 * g + 3][h];
      _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
      v[4 * h] = r0, v[4 * h + 1] = r1, v[4 * h + 2] = r2, v[4 * h + 3] = r3;
    }
    Butterflies(v, bias);
    _MM_TRANSPOSE4_PS(v[0], v[1], v[2], v[3]);
    _MM_TRANSPOSE4_PS(v[4], v[5], v[6], v[7]);
    // v[r] now holds positions 0..3 of row 4g + r, v[4 + r] positions 4..7.
    if constexpr (ThroughTable) {
      for (int r = 0; r < 4; ++r) TableLimitedRow(v[r], v[4 + r], info->sample_range_limit, output[4 * g + r] + column);
    } else {
      const __m128i first = LimitedRows(v[0], v[4], v[1], v[5]);
      const __m128i second = LimitedRows(v[2], v[6], v[3], v[7]);
      _mm_storel_epi64(reinterpret_cast<__m128i*>(output[4 * g] + column), first);
      _mm_storel_epi64(reinterpret_cast<__m128i*>(output[4 * g + 1] + column), _mm_unpackhi_epi64(first, first));
      _mm_storel_epi64(reinterpret_cast<__m128i*>(output[4 * g + 2] + column), second);
      _mm_storel_epi64(reinterpret_cast<__m128i*>(output[4 * g + 3] + column), _mm_unpackhi_epi64(second, second));
    }
  }
}

}  // namespace

void FourWideFloatIDCT(j_decompress_ptr info, jpeg_component_info* component, JCOEFPTR coefficients,
                       JSAMPARRAY output, JDIMENSION column) {
  Transform<false>(info, component, coefficients, output, column);
}

void FourWideFloatIDCTThroughTable(j_decompress_ptr info, jpeg_component_info* component, JCOEFPTR coefficients,
                                   JSAMPARRAY output, JDIMENSION column) {
  Transform<true>(info, component, coefficients, output, column);
}

bool UseFourWideFloatIDCT(jpeg_decompress_struct& info) {
  if (info.dct_method != JDCT_FLOAT || info.idct == nullptr) return false;
  for (int i = 0; i < info.num_components; ++i)
    if (info.comp_info[i].DCT_scaled_size != DCTSIZE) return false;
  const inverse_DCT_method_ptr transform =
      RangeTableAsExpected(info.sample_range_limit) ? FourWideFloatIDCT : FourWideFloatIDCTThroughTable;
  for (int i = 0; i < info.num_components; ++i) info.idct->inverse_DCT[i] = transform;
  return true;
}

#else

bool FourWideFloatIDCTAvailable() { return false; }
void FourWideFloatIDCT(j_decompress_ptr, jpeg_component_info*, JCOEFPTR, JSAMPARRAY, JDIMENSION) {}
void FourWideFloatIDCTThroughTable(j_decompress_ptr, jpeg_component_info*, JCOEFPTR, JSAMPARRAY, JDIMENSION) {}
bool UseFourWideFloatIDCT(jpeg_decompress_struct&) { return false; }

#endif

}  // namespace jpeg_detail
