#include "toolkit/jpeg_float_idct.h"

#include <cstdint>

#include "toolkit/jpeg_float_idct_steps.h"

// The decoder's table of inverse DCT routines, which the program's transform takes over; installed
// with libjpeg's headers for such uses.
// clang-format off
#include <jpegint.h>
// clang-format on
#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace jpeg_detail {

#if defined(__SSE2__)

namespace {

// Four or eight floats; the operators are the processor's single-precision vector operations, each
// rounding as the scalar one does.
using TFour = float __attribute__((vector_size(16)));
using TEight = float __attribute__((vector_size(32)));

// Four coefficients of one row of the block, dequantised: each as a float times its multiplier
// times 1/8, libjpeg's DEQUANTIZE. (A column whose AC terms are all zero, which libjpeg's C code
// passes through as its DC value, comes out the same through the butterflies: every term added to
// the DC value is an exact zero.)
inline TFour Dequantize(const JCOEF* coefficients, const float* multipliers) {
  const __m128i packed = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(coefficients));
  const __m128i widened = _mm_srai_epi32(_mm_unpacklo_epi16(packed, packed), 16);
  const TFour scaled = TFour(_mm_loadu_ps(multipliers)) * 0.125f;
  return TFour(_mm_cvtepi32_ps(widened)) * scaled;
}

// libjpeg's output stage for two rows of eight values: truncated toward zero (as C's conversion,
// which gives 0x80000000 for a value beyond the int range, as this instruction does), wrapped to
// 0..1023, and limited through the range table: 0..255 stay, 256..639 become 255, 640..1023
// (the wrapped negatives) become 0.
inline __m128i LimitedRows(TFour aLeft, TFour aRight, TFour bLeft, TFour bRight) {
  const __m128i mask = _mm_set1_epi32(1023);
  const __m128i a = _mm_packs_epi32(_mm_and_si128(_mm_cvttps_epi32(__m128(aLeft)), mask),
                                    _mm_and_si128(_mm_cvttps_epi32(__m128(aRight)), mask));
  const __m128i b = _mm_packs_epi32(_mm_and_si128(_mm_cvttps_epi32(__m128(bLeft)), mask),
                                    _mm_and_si128(_mm_cvttps_epi32(__m128(bRight)), mask));
  const __m128i top = _mm_set1_epi16(255), wrapped = _mm_set1_epi16(640);
  const __m128i la = _mm_and_si128(_mm_min_epi16(a, top), _mm_cmplt_epi16(a, wrapped));
  const __m128i lb = _mm_and_si128(_mm_min_epi16(b, top), _mm_cmplt_epi16(b, wrapped));
  return _mm_packus_epi16(la, lb);
}

// Whether libjpeg's range table is the one the computed limiting gives.
bool RangeTableAsExpected(const JSAMPLE* table) {
  for (int i = 0; i < 1024; ++i) {
    const int expected = i < 256 ? i : i < 640 ? 255 : 0;
    if (table[i] != expected) return false;
  }
  return true;
}

// One row's eight values, truncated and wrapped as in LimitedRows, then limited through libjpeg's
// range table itself: for a libjpeg whose table is not the one LimitedRows computes.
inline void TableLimitedRow(TFour left, TFour right, const JSAMPLE* table, JSAMPROW out) {
  const __m128i mask = _mm_set1_epi32(1023);
  alignas(16) std::int32_t index[8];
  _mm_store_si128(reinterpret_cast<__m128i*>(index), _mm_and_si128(_mm_cvttps_epi32(__m128(left)), mask));
  _mm_store_si128(reinterpret_cast<__m128i*>(index + 4), _mm_and_si128(_mm_cvttps_epi32(__m128(right)), mask));
  for (int i = 0; i < 8; ++i) out[i] = table[index[i]];
}

inline void Transpose(TFour& a, TFour& b, TFour& c, TFour& d) {
  __m128 r0 = a, r1 = b, r2 = c, r3 = d;
  _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
  a = r0, b = r1, c = r2, d = r3;
}

template <bool ThroughTable>
void FourWide(j_decompress_ptr info, jpeg_component_info* component, JCOEFPTR coefficients, JSAMPARRAY output,
              JDIMENSION column) {
  const auto* multipliers = static_cast<const float*>(component->dct_table);
  // Column pass, four columns at a time: rows[k][h] holds row k of columns 4h..4h+3.
  TFour rows[8][2];
  for (int h = 0; h < 2; ++h) {
    TFour v[8];
    for (int k = 0; k < 8; ++k) v[k] = Dequantize(coefficients + 8 * k + 4 * h, multipliers + 8 * k + 4 * h);
    Butterflies<false>(v);
    for (int k = 0; k < 8; ++k) rows[k][h] = v[k];
  }
  // Row pass, four rows at a time: the work array turned so that each vector holds one position of
  // four rows, the results turned back into rows.
  for (int g = 0; g < 2; ++g) {
    TFour v[8];
    for (int h = 0; h < 2; ++h) {
      for (int r = 0; r < 4; ++r) v[4 * h + r] = rows[4 * g + r][h];
      Transpose(v[4 * h], v[4 * h + 1], v[4 * h + 2], v[4 * h + 3]);
    }
    Butterflies<true>(v);
    Transpose(v[0], v[1], v[2], v[3]);
    Transpose(v[4], v[5], v[6], v[7]);
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

// The eight-wide transform, compiled for AVX2 (without fused multiply-add, which would round once
// where libjpeg rounds twice) and run only where the processor has it.
[[gnu::target("avx2")]] inline void Transpose8(TEight (&v)[8]) {
  const __m256 t0 = _mm256_unpacklo_ps(v[0], v[1]), t1 = _mm256_unpackhi_ps(v[0], v[1]);
  const __m256 t2 = _mm256_unpacklo_ps(v[2], v[3]), t3 = _mm256_unpackhi_ps(v[2], v[3]);
  const __m256 t4 = _mm256_unpacklo_ps(v[4], v[5]), t5 = _mm256_unpackhi_ps(v[4], v[5]);
  const __m256 t6 = _mm256_unpacklo_ps(v[6], v[7]), t7 = _mm256_unpackhi_ps(v[6], v[7]);
  const __m256 s0 = _mm256_shuffle_ps(t0, t2, 0x44), s1 = _mm256_shuffle_ps(t0, t2, 0xEE);
  const __m256 s2 = _mm256_shuffle_ps(t1, t3, 0x44), s3 = _mm256_shuffle_ps(t1, t3, 0xEE);
  const __m256 s4 = _mm256_shuffle_ps(t4, t6, 0x44), s5 = _mm256_shuffle_ps(t4, t6, 0xEE);
  const __m256 s6 = _mm256_shuffle_ps(t5, t7, 0x44), s7 = _mm256_shuffle_ps(t5, t7, 0xEE);
  v[0] = _mm256_permute2f128_ps(s0, s4, 0x20), v[1] = _mm256_permute2f128_ps(s1, s5, 0x20);
  v[2] = _mm256_permute2f128_ps(s2, s6, 0x20), v[3] = _mm256_permute2f128_ps(s3, s7, 0x20);
  v[4] = _mm256_permute2f128_ps(s0, s4, 0x31), v[5] = _mm256_permute2f128_ps(s1, s5, 0x31);
  v[6] = _mm256_permute2f128_ps(s2, s6, 0x31), v[7] = _mm256_permute2f128_ps(s3, s7, 0x31);
}

[[gnu::target("avx2")]] void EightWide(j_decompress_ptr, jpeg_component_info* component, JCOEFPTR coefficients,
                                       JSAMPARRAY output, JDIMENSION column) {
  const auto* multipliers = static_cast<const float*>(component->dct_table);
  // Column pass, all eight columns at once: v[k] is row k.
  TEight v[8];
  for (int k = 0; k < 8; ++k) {
    const __m128i packed = _mm_loadu_si128(reinterpret_cast<const __m128i*>(coefficients + 8 * k));
    const TEight scaled = TEight(_mm256_loadu_ps(multipliers + 8 * k)) * 0.125f;
    v[k] = TEight(_mm256_cvtepi32_ps(_mm256_cvtepi16_epi32(packed))) * scaled;
  }
  Butterflies<false>(v);
  // Row pass, all eight rows at once: v[j] is position j of every row; then v[r] is row r again.
  Transpose8(v);
  Butterflies<true>(v);
  Transpose8(v);
  // The output stage of LimitedRows, two rows at a time.
  const __m256i mask = _mm256_set1_epi32(1023), top = _mm256_set1_epi16(255), wrapped = _mm256_set1_epi16(640);
  for (int r = 0; r < 8; r += 2) {
    const __m256i a = _mm256_and_si256(_mm256_cvttps_epi32(v[r]), mask);
    const __m256i b = _mm256_and_si256(_mm256_cvttps_epi32(v[r + 1]), mask);
    // The packing interleaves the halves of a and b; the permutation puts row r before row r + 1.
    const __m256i both = _mm256_permute4x64_epi64(_mm256_packs_epi32(a, b), 0xD8);
    const __m256i limited = _mm256_and_si256(_mm256_min_epi16(both, top), _mm256_cmpgt_epi16(wrapped, both));
    const __m128i bytes = _mm_packus_epi16(_mm256_castsi256_si128(limited), _mm256_extracti128_si256(limited, 1));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(output[r] + column), bytes);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(output[r + 1] + column), _mm_unpackhi_epi64(bytes, bytes));
  }
}

}  // namespace

bool VectorFloatIDCTAvailable() { return true; }

void FourWideFloatIDCT(j_decompress_ptr info, jpeg_component_info* component, JCOEFPTR coefficients,
                       JSAMPARRAY output, JDIMENSION column) {
  FourWide<false>(info, component, coefficients, output, column);
}

void FourWideFloatIDCTThroughTable(j_decompress_ptr info, jpeg_component_info* component, JCOEFPTR coefficients,
                                   JSAMPARRAY output, JDIMENSION column) {
  FourWide<true>(info, component, coefficients, output, column);
}

bool EightWideFloatIDCTAvailable() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}

void EightWideFloatIDCT(j_decompress_ptr info, jpeg_component_info* component, JCOEFPTR coefficients,
                        JSAMPARRAY output, JDIMENSION column) {
  EightWide(info, component, coefficients, output, column);
}

namespace {

// The vector transform for this decompression: eight-wide where the processor has AVX2, limiting
// by computation where libjpeg's range table is the expected one.
inverse_DCT_method_ptr ChosenTransform(const jpeg_decompress_struct& info) {
  static const bool eightWide = EightWideFloatIDCTAvailable();
  if (!RangeTableAsExpected(info.sample_range_limit)) return FourWideFloatIDCTThroughTable;
  return eightWide ? EightWideFloatIDCT : FourWideFloatIDCT;
}

}  // namespace

#else

bool VectorFloatIDCTAvailable() { return false; }
void FourWideFloatIDCT(j_decompress_ptr, jpeg_component_info*, JCOEFPTR, JSAMPARRAY, JDIMENSION) {}
void FourWideFloatIDCTThroughTable(j_decompress_ptr, jpeg_component_info*, JCOEFPTR, JSAMPARRAY, JDIMENSION) {}
bool EightWideFloatIDCTAvailable() { return false; }
void EightWideFloatIDCT(j_decompress_ptr, jpeg_component_info*, JCOEFPTR, JSAMPARRAY, JDIMENSION) {}

namespace {

inverse_DCT_method_ptr ChosenTransform(const jpeg_decompress_struct&) { return ScalarFloatIDCT; }

}  // namespace

#endif

bool UseOwnFloatIDCT(jpeg_decompress_struct& info) {
  if (info.dct_method != JDCT_FLOAT || info.idct == nullptr) return false;
  for (int i = 0; i < info.num_components; ++i)
    if (info.comp_info[i].DCT_scaled_size != DCTSIZE) return false;
  const inverse_DCT_method_ptr transform = ChosenTransform(info);
  for (int i = 0; i < info.num_components; ++i) info.idct->inverse_DCT[i] = transform;
  return true;
}

}  // namespace jpeg_detail
