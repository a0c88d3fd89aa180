#include "scene/vector_math.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "numeric/extended.h"
#include "scene/trig_tables.h"
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
  const int biased = int((std::bit_cast<std::uint32_t>(v) >> 23) & 0xff);
  const int exponent = std::max(biased, 1) - 150;  // -149 .. 104: a normal double
  return std::bit_cast<double>(std::uint64_t(exponent + 1023) << 52);
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
  Midpoint,  // unsure within the slack of one midpoint between singles
  Interval,  // unsure where the interval around the sum does not round to one single, or to 0
};

// A column's sums along a run, x a + sum, and how to check them.
struct TRunColumn {
  float a;
  double sum;
  TColumnCheck check;
  double slack;     // Midpoint and Interval
  double midpoint;  // Midpoint
};

// Whether d, a run column's double sum, may not give the extended sum's single.
inline bool Unsure(const TRunColumn& column, double d) {
  if (column.check == TColumnCheck::Midpoint) return std::fabs(d - column.midpoint) <= column.slack;
  if (column.check == TColumnCheck::Interval) {
    const float low = float(d - column.slack), high = float(d + column.slack);
    return low != high || low == 0;
  }
  return false;
}

// The four columns along `count` points from `first`, divided by w, without branches so that the
// compiler forms several points at once. Returns whether some w is 0.
bool FormColumns(int first, int count, const float* a, const double* sums, float* xs, float* ys, float* zs) {
  const float a0 = a[0], a1 = a[1], a2 = a[2], a3 = a[3];
  const double s0 = sums[0], s1 = sums[1], s2 = sums[2], s3 = sums[3];
  int zeroW = 0;
  for (int i = 0; i < count; ++i) {
    const double x = first + i;
    const float w = float(x * a3 + s3);
    zeroW |= w == 0;
    const float r = 1.0f / w;
    xs[i] = float(x * a0 + s0) * r;
    ys[i] = float(x * a1 + s1) * r;
    zs[i] = float(x * a2 + s2) * r;
  }
  return zeroW != 0;
}

// Whether Unsure holds for some of the `count` points from `first` of a Midpoint or an Interval
// column, again without branches. (The Midpoint test is made on |d - m| - k rounded to a single,
// which the compiler vectorises along with the double sums: it is <= 0 whenever |d - m| <= k.)
template <TColumnCheck Check>
bool SomeUnsure(int first, int count, const TRunColumn& column) {
  const float a = column.a;
  const double sum = column.sum, k = column.slack, m = column.midpoint;
  int unsure = 0;
  for (int i = 0; i < count; ++i) {
    const double d = double(first + i) * a + sum;
    if constexpr (Check == TColumnCheck::Midpoint) {
      unsure |= int(float(std::fabs(d - m) - k) <= 0);
    } else {
      const float low = float(d - k), high = float(d + k);
      unsure |= int(low != high) | int(low == 0);
    }
  }
  return unsure != 0;
}

}  // namespace

bool TRowTransform::AtColumns(int first, int count, float* xs, float* ys, float* zs) const {
  if (!doubles_) return false;
  const float* const a = columnA_;
  if (allExact_) return !FormColumns(first, count, a, rowSums_, xs, ys, zs);
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
    //  - where it rounds to two neighbouring singles (neither 0), a point's extended sum lies
    //    within the slack of its double d (the slack bounds |d - e| with room to spare), so when d
    //    lies farther than the slack from the one midpoint m between them, both lie on the same
    //    side of m and round to the same single: only points with |d - m| <= slack are unsure (the
    //    camera's w over a tilted picture, which its x term moves by less than a unit in the last
    //    place along a run);
    //  - otherwise each point's own interval is checked.
    TRunColumn columns[4];
    for (int c = 0; c < 4; ++c) {
      TRunColumn& column = columns[c];
      column = {a[c], rowSums_[c], TColumnCheck::None, slack_[c], 0};
      if (exactColumn_[c]) continue;
      const double atFirst = double(from) * column.a + column.sum, atLast = double(from + n - 1) * column.a + column.sum;
      const float low = float(std::min(atFirst, atLast) - column.slack);
      const float high = float(std::max(atFirst, atLast) + column.slack);
      if (low == high && low != 0) {
        column.a = 0, column.sum = low;
      } else if (low != 0 && high != 0 && std::nextafter(low, high) == high) {
        column.check = TColumnCheck::Midpoint;
        column.midpoint = (double(low) + double(high)) / 2;  // exact
      } else {
        column.check = TColumnCheck::Interval;
      }
    }
    float* const x = xs + done;
    float* const y = ys + done;
    float* const z = zs + done;
    const float runA[4] = {columns[0].a, columns[1].a, columns[2].a, columns[3].a};
    const double runSums[4] = {columns[0].sum, columns[1].sum, columns[2].sum, columns[3].sum};
    if (FormColumns(from, n, runA, runSums, x, y, z)) return false;
    bool someUnsure = false;
    for (const TRunColumn& column : columns) {
      if (someUnsure) break;
      if (column.check == TColumnCheck::Midpoint) someUnsure = SomeUnsure<TColumnCheck::Midpoint>(from, n, column);
      if (column.check == TColumnCheck::Interval) someUnsure = SomeUnsure<TColumnCheck::Interval>(from, n, column);
    }
    if (!someUnsure) continue;
    // The few points a double cannot promise, in extended; a w of 0 there goes back to the caller,
    // which raises the division by zero in its place.
    const TRunColumn* checked[4];
    int checkedCount = 0;
    for (const TRunColumn& column : columns)
      if (column.check != TColumnCheck::None) checked[checkedCount++] = &column;
    for (int i = 0; i < n; ++i) {
      bool unsure = false;
      for (int c = 0; c < checkedCount; ++c) unsure |= Unsure(*checked[c], double(from + i) * checked[c]->a + checked[c]->sum);
      if (!unsure) continue;
      ++ExtendedSteps().points;
      const Vector4 extended = ExtendedSums(float(from + i));
      if (extended.w == 0) return false;
      const Vector3 point = Vector4ToPoint(extended, true);
      x[i] = point.x, y[i] = point.y, z[i] = point.z;
    }
  }
  return true;
}

bool TRaysFromPoint::IntersectAll(int count, const float* xs, const float* ys, const float* zs, float* hitXs,
                                  float* hitYs, std::uint8_t* hits) const {
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
  for (int i = 0; i < count; ++i) hits[i] = zs[i] - oz != 0;
  return !notFinite;
}
