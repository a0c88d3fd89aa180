#pragma once
// The butterfly network of libjpeg's floating-point inverse DCT, once for every form of the
// transform: the scalar one (V = float) and the vector ones (V = a vector of floats, whose
// operators are the processor's single-precision vector operations, each rounding as the scalar one
// does). The order of every addition and multiplication, and each constant as the single libjpeg
// multiplies by, are libjpeg's.
#include <cstdio>

#include <jpeglib.h>

namespace jpeg_detail {

// One pass of the transform over eight inputs, each a value (or a vector of independent values);
// the outputs in place, in order 0..7. The row pass adds the level shift and the rounding half to
// the DC term first, as libjpeg's does. Always inlined, so that it is compiled for the caller's
// instructions (the eight-wide transform's AVX2).
template <bool RowPass, class V>
[[gnu::always_inline]] inline void Butterflies(V (&v)[8]) {
  const float sqrt2 = float(1.414213562), twoC2 = float(1.847759065);
  const float twoC2MinusC6 = float(1.082392200), twoC2PlusC6 = float(2.613125930);
  // Even part.
  const V z5 = RowPass ? v[0] + (float(CENTERJSAMPLE) + 0.5f) : v[0];
  const V tmp10 = z5 + v[4];
  const V tmp11 = z5 - v[4];
  const V tmp13 = v[2] + v[6];
  const V tmp12 = (v[2] - v[6]) * sqrt2 - tmp13;
  const V e0 = tmp10 + tmp13;
  const V e3 = tmp10 - tmp13;
  const V e1 = tmp11 + tmp12;
  const V e2 = tmp11 - tmp12;
  // Odd part.
  const V z13 = v[5] + v[3];
  const V z10 = v[5] - v[3];
  const V z11 = v[1] + v[7];
  const V z12 = v[1] - v[7];
  const V o7 = z11 + z13;
  const V o11 = (z11 - z13) * sqrt2;
  const V z5odd = (z10 + z12) * twoC2;
  const V o10 = z5odd - z12 * twoC2MinusC6;
  const V o12 = z5odd - z10 * twoC2PlusC6;
  const V o6 = o12 - o7;
  const V o5 = o11 - o6;
  const V o4 = o10 - o5;

  v[0] = e0 + o7;
  v[7] = e0 - o7;
  v[1] = e1 + o6;
  v[6] = e1 - o6;
  v[2] = e2 + o5;
  v[5] = e2 - o5;
  v[3] = e3 + o4;
  v[4] = e3 - o4;
}

}  // namespace jpeg_detail
