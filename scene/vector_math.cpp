#include "scene/vector_math.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>

#include "numeric/extended.h"
#include "scene/trig_tables.h"
#include "toolkit/compat.h"
#include "toolkit/errors.h"

namespace {

// Determinant of the 3x3 minor of M that leaves out row `skipRow` and column `skipCol`.
Extended Minor(const Matrix4& M, int skipRow, int skipCol) {
  int rows[3], cols[3];
  for (int i = 0, r = 0; i < 4; ++i)
    if (i != skipRow) rows[r++] = i;
  for (int i = 0, c = 0; i < 4; ++i)
    if (i != skipCol) cols[c++] = i;
  auto at = [&](int r, int c) { return Extended(M.m[rows[r]][cols[c]]); };
  return at(0, 0) * (at(1, 1) * at(2, 2) - at(1, 2) * at(2, 1)) -
         at(0, 1) * (at(1, 0) * at(2, 2) - at(1, 2) * at(2, 0)) +
         at(0, 2) * (at(1, 0) * at(2, 1) - at(1, 1) * at(2, 0));
}

Extended Cofactor(const Matrix4& M, int row, int col) {
  const Extended minor = Minor(M, row, col);
  return (row + col) % 2 == 0 ? minor : -minor;
}

Extended DeterminantExtended(const Matrix4& M) {
  Extended det = 0;
  for (int c = 0; c < 4; ++c) det += Extended(M.m[0][c]) * Cofactor(M, 0, c);
  return det;
}

}  // namespace

[[noreturn]] void RaiseZeroDivide() { throw Exception(SZeroDivide); }

void InitTrigTables() {}
const std::array<float, AngleUnits>& SinTable() { return SineOfAngleUnit; }
const std::array<float, AngleUnits>& CosTable() { return CosineOfAngleUnit; }

Vector3 Cross(const Vector3& a, const Vector3& b) {
  return {float(Extended(a.y) * b.z - Extended(a.z) * b.y), float(Extended(a.z) * b.x - Extended(a.x) * b.z),
          float(Extended(a.x) * b.y - Extended(a.y) * b.x)};
}

float VectorLength(const Vector3& v) {
  const float xx = v.x * v.x, yy = v.y * v.y, zz = v.z * v.z;
  return float(ExtSqrt(Extended(xx) + yy + zz));
}

Vector3 Normalize(const Vector3& v) {
  const float length = VectorLength(v);
  if (length == 0) return {0, 0, 0};
  return {v.x / length, v.y / length, v.z / length};
}

Matrix4 MatrixMultiply(const Matrix4& A, const Matrix4& B) {
  Matrix4 result;
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      result.m[r][c] = float(Extended(A.m[r][0]) * B.m[0][c] + Extended(A.m[r][1]) * B.m[1][c] +
                             Extended(A.m[r][2]) * B.m[2][c] + Extended(A.m[r][3]) * B.m[3][c]);
  return result;
}

Matrix4 MakeScale(float sx, float sy, float sz) {
  Matrix4 result;
  result.m[0][0] = sx;
  result.m[1][1] = sy;
  result.m[2][2] = sz;
  result.m[3][3] = 1;
  return result;
}

Matrix4 MakeTranslation(float tx, float ty, float tz) {
  Matrix4 result = IdentityMatrix;
  result.m[3][0] = tx;
  result.m[3][1] = ty;
  result.m[3][2] = tz;
  return result;
}

Matrix4 MakeRotationY(int angle) {
  const int k = angle & (AngleUnits - 1);
  const float c = CosTable()[k], s = SinTable()[k];
  return {{{c, 0, -s, 0}, {0, 1, 0, 0}, {s, 0, c, 0}, {0, 0, 0, 1}}};
}

Matrix4 RigidInverse(const Matrix4& M) {
  Matrix4 result;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) result.m[r][c] = M.m[c][r];
  const Extended tx = M.m[3][0], ty = M.m[3][1], tz = M.m[3][2];
  for (int c = 0; c < 3; ++c) result.m[3][c] = -float(M.m[c][0] * tx + M.m[c][1] * ty + M.m[c][2] * tz);
  result.m[3][3] = 1;
  return result;
}

float MatrixDeterminant(const Matrix4& M) { return float(DeterminantExtended(M)); }

Matrix4 InvertMatrix(const Matrix4& M) {
  const float det = MatrixDeterminant(M);
  if (det == 0) RaiseZeroDivide();
  const float r = 1.0f / det;
  Matrix4 result;
  for (int row = 0; row < 4; ++row)
    for (int col = 0; col < 4; ++col) result.m[row][col] = float(Cofactor(M, col, row) * r);
  return result;
}

Matrix4 MakePerspectiveFov(float fovY, float aspect, float near, float far) {
  const Extended half = Extended(fovY) / 2;
  const Extended cot = ExtCos(half) / ExtSin(half);
  const Extended q = Extended(far) / (Extended(far) - near);
  Matrix4 result = IdentityMatrix;
  result.m[0][0] = float(aspect * cot);
  result.m[1][1] = float(cot);
  result.m[2][2] = float(q);
  result.m[2][3] = 1;
  result.m[3][2] = float(-q * near);
  result.m[3][3] = 0;
  return result;
}

Matrix4 MakeViewport(int left, int top, int right, int bottom) {
  const Extended halfWidth = (Extended(right) - left) / 2;
  const Extended halfHeight = (Extended(bottom) - top) / 2;
  Matrix4 result = IdentityMatrix;
  result.m[0][0] = float(halfWidth);
  result.m[1][1] = float(-halfHeight);
  result.m[2][2] = 1;
  result.m[3][0] = float(left + halfWidth);
  result.m[3][1] = float(top + halfHeight);
  result.m[3][2] = 0;
  return result;
}

namespace {

// The value of the lowest mantissa bit of a finite single: every multiple of it is a whole
// multiple of this power of two.
double LowestBit(float v) {
  const int biased = int((compat::bit_cast<std::uint32_t>(v) >> 23) & 0xff);
  const int exponent = std::max(biased, 1) - 150;  // -149 .. 104: a normal double
  return compat::bit_cast<double>(std::uint64_t(exponent + 1023) << 52);
}

}  // namespace

TRowTransform::TRowTransform(const Matrix4& M, float y, int lastColumn)
    : M_(M), doubles_(lastColumn >= 0 && lastColumn < (1 << 24) && std::isfinite(y)), allExact_(doubles_) {
  for (int c = 0; c < 4; ++c) {
    // The product of two singles is exact in a double, as in extended: no extended step per row.
    rowProducts_[c] = double(y) * M.m[1][c];
    const float a = M.m[0][c], b = M.m[1][c], e = M.m[2][c], f = M.m[3][c];
    exactColumn_[c] = false;
    rowSums_[c] = slack_[c] = 0;
    columnA_[c] = a;
    if (!(std::isfinite(a) && std::isfinite(b) && std::isfinite(e) && std::isfinite(f))) {
      doubles_ = false;
      continue;
    }
    // The smallest lowest bit among the terms that are not 0: x a is a multiple of a's (x is whole),
    // y b of the product of y's and b's.
    double q = std::numeric_limits<double>::infinity();
    if (a != 0) q = std::min(q, LowestBit(a));
    if (y != 0 && b != 0) q = std::min(q, LowestBit(y) * LowestBit(b));
    if (e != 0) q = std::min(q, LowestBit(e));
    if (f != 0) q = std::min(q, LowestBit(f));
    const double bound = double(lastColumn) * std::fabs(a) + std::fabs(rowProducts_[c]) + std::fabs(e) + std::fabs(f);
    exactColumn_[c] = bound < q * 0x1p52;
    slack_[c] = exactColumn_[c] ? 0 : bound * (5 * 0x1p-53);
    rowSums_[c] = rowProducts_[c] + e + f;
    // Where m[0][c] is 0, x m[0][c] is a zero of m[0][c]'s sign for every x >= 0, so the extended sum
    // is the same single all along the row: formed once here, it is the sum 0 x + v in doubles
    // (the zero taking v's sign, so that a zero v keeps its sign), exact. Without this, a row whose
    // sum lies near 0 (the horizon of a lowered camera) would go to extended precision whole.
    if (a == 0 && !exactColumn_[c]) {
      const Extended sum = Extended(0.0f) * a + Extended(rowProducts_[c]) + Extended(e) + Extended(f);
      const float v = float(sum);
      columnA_[c] = std::copysign(0.0f, v);
      rowSums_[c] = v;
      exactColumn_[c] = true;
      slack_[c] = 0;
    }
    allExact_ = allExact_ && exactColumn_[c];
  }
}

TRaysFromPoint::TRaysFromPoint(const Vector3& origin, const Plane& plane)
    : origin_(origin), plane_(plane), originDot_(Dot(origin, plane.normal)),
      zPlane_(plane.normal.x == 0 && plane.normal.y == 0 && plane.normal.z == 1 && plane.d == 0 &&
              std::isfinite(originDot_)),
      numerator_(-(originDot_ + plane.d)) {}

// The loops below run the same steps as At and Intersect, without branches, so that the compiler
// forms several columns at once; anything they cannot promise is gathered into one flag.

namespace {

// How AtColumns checks a column's double sums along a run of points (see there).
enum class TColumnCheck : std::uint8_t {
  None,      // sure everywhere: exact, or one single along the run
  Interval,  // unsure where the interval around the sum does not round to one single, or to 0
};

// A column's sums along a run, x a + sum, and how to check them.
struct TRunColumn {
  float a;
  double sum;
  TColumnCheck check;
  double slack;  // Interval
};

// Whether d, a run column's double sum, may not give the extended sum's single.
inline bool Unsure(const TRunColumn& column, double d) {
  if (column.check == TColumnCheck::None) return false;
  const float low = float(d - column.slack), high = float(d + column.slack);
  return low != high || low == 0;
}

// For an Interval column whose run's sums lie within [low, high]: a whole number K of units in the
// last place of those doubles such that every point where Unsure holds lies within K units of a
// point halfway between two singles, which in doubles is a pattern whose 29 lowest bits (those a
// single lets go) are 2^28 exactly; or 0 when there is none (the check then goes point by point).
//
// Why: where the window from low - 3k to high + 3k (k the slack) lies within one binade of doubles
// [2^E, 2^(E+1)) or its negative, inside the normal singles, its doubles share one unit in the last
// place U = 2^(E-52), the singles there are the doubles whose 29 lowest bits are 0 and the points
// halfway between them those whose 29 lowest bits are 2^28, and distances in value are distances
// in bit patterns times U. Where Unsure holds at a point with sum d, d - k and d + k rounded to
// doubles (each by at most U / 2) lie in the window, away from 0, and round to different singles,
// so a midpoint m lies between them: |d - m| <= k + U, and m lies in the window too; then the bit patterns of d and m differ by at most k / U + 1 <= K = ceil(k / U) + 1. A
// pattern that near the midpoint m nearest d has its 29 lowest bits within K of 2^28, since K is
// far below 2^28 (required below). (Neither d - k nor d + k rounds to 0 inside the window.)
int ReachInLastPlaces(double low, double high, double slack) {
  const double from = low - 3 * slack, to = high + 3 * slack;
  auto exponent = [](double v) { return int((compat::bit_cast<std::uint64_t>(v) >> 52) & 0x7ff); };
  if (!((from > 0 && to > 0) || (from < 0 && to < 0)) || exponent(from) != exponent(to)) return 0;
  const int e = exponent(from);
  if (e < 1023 - 126 || e > 1023 + 127) return 0;  // beyond the normal singles
  // slack / U, exact (a power of two apart), cut to a whole number: one less than ceil(k / U) at most.
  const double reach = slack * compat::bit_cast<double>(std::uint64_t(2 * 1023 + 52 - e) << 52);
  return reach < 0x1p20 ? int(reach) + 2 : 0;
}

// The four columns along `count` points from `first`, divided by w, without branches so that the
// compiler forms several points at once. Returns whether some w is 0. Columns whose bit is set in
// Checked are checked point by point in the same pass, with the very sums the points take:
// `unsure` is set when Unsure holds for some point of those (Interval) columns.
template <unsigned Checked>
bool FormColumns(int first, int count, const float* a, const double* sums, const double* slack, float* xs,
                 float* ys, float* zs, bool& unsure) {
  const float a0 = a[0], a1 = a[1], a2 = a[2], a3 = a[3];
  const double s0 = sums[0], s1 = sums[1], s2 = sums[2], s3 = sums[3];
  const double k0 = slack[0], k1 = slack[1], k2 = slack[2], k3 = slack[3];
  int zeroW = 0, someUnsure = 0;
  // k here is a column's reach in units of its doubles' last place (see AtColumns).
  auto check = [&](double d, double k) {
    const std::uint32_t dropped = std::uint32_t(compat::bit_cast<std::uint64_t>(d)) & 0x1fffffffu;
    const std::uint32_t reach = std::uint32_t(k);
    someUnsure |= int(dropped - (0x10000000u - reach) <= 2 * reach);
  };
  for (int i = 0; i < count; ++i) {
    const double x = first + i;
    const double dx = x * a0 + s0, dy = x * a1 + s1, dz = x * a2 + s2, dw = x * a3 + s3;
    if constexpr ((Checked & 1) != 0) check(dx, k0);
    if constexpr ((Checked & 2) != 0) check(dy, k1);
    if constexpr ((Checked & 4) != 0) check(dz, k2);
    if constexpr ((Checked & 8) != 0) check(dw, k3);
    const float w = float(dw);
    zeroW |= w == 0;
    const float r = 1.0f / w;
    xs[i] = float(dx) * r;
    ys[i] = float(dy) * r;
    zs[i] = float(dz) * r;
  }
  unsure = someUnsure != 0;
  return zeroW != 0;
}

// Whether Unsure holds for some of the `count` points from `first` of an Interval column, again
// without branches.
bool SomeUnsure(int first, int count, const TRunColumn& column) {
  const float a = column.a;
  const double sum = column.sum, k = column.slack;
  int unsure = 0;
  for (int i = 0; i < count; ++i) {
    const double d = double(first + i) * a + sum;
    const float low = float(d - k), high = float(d + k);
    unsure |= int(low != high) | int(low == 0);
  }
  return unsure != 0;
}

using TFormColumns = bool (*)(int, int, const float*, const double*, const double*, float*, float*, float*, bool&);

// FormColumns<Checked> for each set of checked columns, 0 to 15.
template <unsigned... Checked>
constexpr std::array<TFormColumns, sizeof...(Checked)> FormColumnsTable(std::integer_sequence<unsigned, Checked...>) {
  return {&FormColumns<Checked>...};
}
constexpr auto FormColumnsChecking = FormColumnsTable(std::make_integer_sequence<unsigned, 16>());

}  // namespace

bool TRowTransform::AtColumns(int first, int count, float* xs, float* ys, float* zs) const {
  if (!doubles_) return false;
  const float* const a = columnA_;
  bool unused;
  const double noReach[4] = {};
  if (allExact_) return !FormColumns<0>(first, count, a, rowSums_, noReach, xs, ys, zs, unused);
  constexpr int Chunk = 64;
  for (int done = 0; done < count; done += Chunk) {
    const int n = std::min(Chunk, count - done), from = first + done;
    // Each column that is not exact is checked as cheaply as its run allows. Its double sums rise
    // or fall with x (x a is exact and rounding never decreases), so every point's interval (see
    // TRowTransform) lies within the one from the run's lower end minus the slack to its upper end
    // plus the slack, and
    //  - where that whole interval rounds to one single v (not 0), so does every point's: the
    //    column is the sum 0 x + v along the run (columns whose x term is rounding dust of an
    //    inverted rotation, such as the camera's y over a tilted picture);
    //  - otherwise, where the run's sums keep to one binade of doubles, FormColumns checks each
    //    point's sum by its bit pattern alone, for nearness to a point halfway between singles
    //    (ReachInLastPlaces): the camera's w over a tilted picture, which its x term moves across
    //    several such points along a run;
    //  - and elsewhere (a run through 0 or across a power of two) each point's own interval is
    //    checked.
    // Only where a check finds a point it cannot promise are the run's points looked at one by one.
    TRunColumn columns[4];
    bool checkAll;
    unsigned checkedColumns = 0;
    double reachInLastPlaces[4] = {};
    const TRunColumn* pointByPoint[4];
    int pointByPointCount = 0;
    for (int c = 0; c < 4; ++c) {
      TRunColumn& column = columns[c];
      column = {a[c], rowSums_[c], TColumnCheck::None, slack_[c]};
      if (exactColumn_[c]) continue;
      const double atFirst = double(from) * column.a + column.sum, atLast = double(from + n - 1) * column.a + column.sum;
      const double low = std::min(atFirst, atLast), high = std::max(atFirst, atLast);
      const float lowSingle = float(low - column.slack), highSingle = float(high + column.slack);
      if (lowSingle == highSingle && lowSingle != 0) {
        column.a = 0, column.sum = lowSingle;
      } else {
        column.check = TColumnCheck::Interval;
        const int reach = ReachInLastPlaces(low, high, column.slack);
        if (reach == 0) {
          pointByPoint[pointByPointCount++] = &column;
        } else {
          checkedColumns |= 1u << c;
          reachInLastPlaces[c] = reach;
        }
      }
    }
    float* const x = xs + done;
    float* const y = ys + done;
    float* const z = zs + done;
    const float runA[4] = {columns[0].a, columns[1].a, columns[2].a, columns[3].a};
    const double runSums[4] = {columns[0].sum, columns[1].sum, columns[2].sum, columns[3].sum};
    bool someUnsure = false;
    if (FormColumnsChecking[checkedColumns](from, n, runA, runSums, reachInLastPlaces, x, y, z, someUnsure)) return false;
    checkAll = someUnsure;
    for (int c = 0; c < pointByPointCount && !checkAll; ++c) checkAll = SomeUnsure(from, n, *pointByPoint[c]);
    if (!checkAll) continue;
    // The few points a double cannot promise, in extended; a w of 0 there goes back to the caller,
    // which raises the division by zero in its place.
    const TRunColumn* checked[4];
    int checkedCount = 0;
    for (const TRunColumn& column : columns)
      if (column.check != TColumnCheck::None) checked[checkedCount++] = &column;
    for (int i = 0; i < n; ++i) {
      bool extended = false;
      for (int c = 0; c < checkedCount; ++c) extended |= Unsure(*checked[c], double(from + i) * checked[c]->a + checked[c]->sum);
      if (!extended) continue;
      ++ExtendedSteps().points;
      const Vector4 sums = ExtendedSums(float(from + i));
      if (sums.w == 0) return false;
      const Vector3 point = Vector4ToPoint(sums, true);
      x[i] = point.x, y[i] = point.y, z[i] = point.z;
    }
  }
  return true;
}

bool TRaysFromPoint::IntersectAll(int count, const float* xs, const float* ys, const float* zs, float* hitXs,
                                  float* hitYs, std::uint8_t* hits, bool aheadOnly) const {
  if (!zPlane_) return false;
  const float ox = origin_.x, oy = origin_.y, oz = origin_.z, numerator = numerator_;
  constexpr float largest = std::numeric_limits<float>::max();
  int notFinite = 0;
  for (int i = 0; i < count; ++i) {
    const float dx = xs[i] - ox, dy = ys[i] - oy, dz = zs[i] - oz;
    notFinite |= int(!(std::fabs(dx) <= largest)) | int(!(std::fabs(dy) <= largest)) | int(!(std::fabs(dz) <= largest));
    const float t = numerator / dz;
    hitXs[i] = ox + dx * t;
    hitYs[i] = oy + dy * t;
  }
  if (aheadOnly) {
    for (int i = 0; i < count; ++i) hits[i] = zs[i] - oz != 0 && numerator / (zs[i] - oz) > 0;
  } else {
    for (int i = 0; i < count; ++i) hits[i] = zs[i] - oz != 0;
  }
  return !notFinite;
}
