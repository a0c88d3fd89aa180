#pragma once
// Single-precision 3D arithmetic for the scene and the renderer: vectors, 4x4 matrices, planes and
// rays as plain values with free functions.
//
// Conventions: vectors are rows multiplied from the left (v' = v x M); element (r, c) of a matrix is
// m[r][c]; the translation of an affine matrix is row 3; applying A and then B is A x B. The space is
// left-handed: +X right, +Y up, +Z away from the viewer.
//
// Precision: every stored component is a 32-bit float. The sums and products inside one operation
// are carried in extended precision (Extended) and rounded once to 32 bits when stored, and so
// are the scalar results of Dot, VectorLength and MatrixDeterminant. The renderer's boundaries fall
// on exact pixel coordinates, so these rounding points decide which pixel a picture edge touches.
#include <array>
#include <cmath>
#include <cstdint>

#include "numeric/extended.h"

struct Vector3 {
  float x = 0, y = 0, z = 0;
  friend bool operator==(const Vector3&, const Vector3&) = default;
};

// A homogeneous point or direction; a point carries w = 1.
struct Vector4 {
  float x = 0, y = 0, z = 0, w = 0;
  friend bool operator==(const Vector4&, const Vector4&) = default;
};

// Row-major: m[r][c] is element number 4r + c. Rows 0 to 2 of a frame matrix are the frame's X, Y
// and Z axes in its parent, row 3 its origin.
struct Matrix4 {
  float m[4][4] = {};
  friend bool operator==(const Matrix4&, const Matrix4&) = default;
};

// Points p with Dot(normal, p) + d = 0. The normal need not be of unit length.
struct Plane {
  Vector3 normal;
  float d = 0;
};

// The direction need not be of unit length.
struct Ray {
  Vector3 origin;
  Vector3 direction;
};

// Throws an Exception with SZeroDivide, the scene's error for a division by zero (a zero w, a
// singular matrix, a zero size; the program's own scenes never make one). Out of line, so the
// inline operations stay small.
[[noreturn]] void RaiseZeroDivide();

inline constexpr Matrix4 IdentityMatrix{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};

// Angles of MakeRotationY are integers in angle units: 4096 make a full turn, and only the low
// 12 bits count (-113 and 3983 are the same angle).
inline constexpr int AngleUnits = 4096;

// Entry i of SinTable and CosTable holds the sine and cosine of i angle units, rounded to singles.
// They are constant data, the same on every build; InitTrigTables is kept for callers that set
// them up before use and does nothing.
void InitTrigTables();
const std::array<float, AngleUnits>& SinTable();
const std::array<float, AngleUnits>& CosTable();

// The operations the renderer runs several times a pixel are defined inline below.

inline Vector3 MakeVector3(float x, float y, float z) { return {x, y, z}; }
// (p, 1).
inline Vector4 PointToVector4(const Vector3& p) { return {p.x, p.y, p.z, 1}; }
// With divide: (x, y, z) times r, where r = 1/w rounded to 32 bits; throws on w = 0. Without
// divide: (x, y, z) unchanged.
inline Vector3 Vector4ToPoint(const Vector4& v, bool divide);

inline float Dot(const Vector3& a, const Vector3& b);
Vector3 Cross(const Vector3& a, const Vector3& b);
// Each square is rounded to 32 bits before the sum.
float VectorLength(const Vector3& v);
// v divided by its length; a vector of length exactly 0 gives (0, 0, 0).
Vector3 Normalize(const Vector3& v);
inline Vector3 AddVectors(const Vector3& a, const Vector3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vector3 SubtractVectors(const Vector3& a, const Vector3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vector3 ScaleVector(const Vector3& v, float s) { return {v.x * s, v.y * s, v.z * s}; }

// v x M.
inline Vector4 TransformVector4(const Vector4& v, const Matrix4& M);
// Vector4ToPoint(PointToVector4(p) x M, divide).
inline Vector3 TransformPoint(const Vector3& p, const Matrix4& M, bool divide = true) {
  return Vector4ToPoint(TransformVector4(PointToVector4(p), M), divide);
}

// A x B: apply A, then B.
Matrix4 MatrixMultiply(const Matrix4& A, const Matrix4& B);
Matrix4 MakeScale(float sx, float sy, float sz);
Matrix4 MakeTranslation(float tx, float ty, float tz);
// Rotation about +Y read from the tables: (x, y, z) becomes (x c + z s, y, -x s + z c), so a
// positive angle swings the +X side toward -Z.
Matrix4 MakeRotationY(int angle);

// The inverse of a rotation plus translation: the 3x3 block transposed, the origin carried back.
// Only exact when the 3x3 block is orthonormal (it ignores any scale).
Matrix4 RigidInverse(const Matrix4& M);
// Full cofactor expansion, rounded to 32 bits.
float MatrixDeterminant(const Matrix4& M);
// The adjugate times 1/det (1/det rounded to 32 bits); throws when the determinant is 0.
Matrix4 InvertMatrix(const Matrix4& M);

// Perspective projection looking along +Z: view depth `near` maps to 0 and `far` to 1 after the
// divide. The aspect multiplies the X scale, so callers pass height / width.
Matrix4 MakePerspectiveFov(float fovY, float aspect, float near, float far);
// Normalised x -1..1 to left..right and y +1..-1 to top..bottom (screen y grows downward); depth
// stays 0..1.
Matrix4 MakeViewport(int left, int top, int right, int bottom);

// The normal is kept as given; d = -Dot(point, normal).
inline Plane MakePlane(const Vector3& point, const Vector3& normal) { return {normal, -Dot(point, normal)}; }
inline Ray MakeRay(const Vector3& origin, const Vector3& direction) { return {origin, direction}; }
// False, leaving `hit` untouched, when the ray runs parallel to the plane (the direction's dot
// product with the normal is exactly 0). A plane behind the origin is hit too, at negative t.
inline bool IntersectRayPlane(const Ray& ray, const Plane& plane, Vector3& hit);

// TransformPoint((x, y, 1), M) for the points of one row y, with the row's products formed once:
// the product of two singles is exact in a double, and the sums run in TransformVector4's order at
// its precision, so every result (and every division by zero) is TransformPoint's own.
//
// At and AtColumns form each column's sum, x m[0][c] + y m[1][c] + m[2][c] + m[3][c], in doubles
// and keep the double's single wherever it is provably the extended sum's single:
//  - An exact column: every term is a whole multiple of one power of two q and their magnitudes add
//    up to less than 2^52 q. Then no partial sum in any order loses a bit, in a double or in
//    extended, so both are the exact sum, rounded once to 32 bits. (An exact sum of 0 is -0 in any
//    order exactly when every term is -0.)
//  - Any other column of finite elements: let T be the sum of the terms' magnitudes and T' its
//    bound lastColumn |m[0][c]| + |y m[1][c]| + |m[2][c]| + |m[3][c]|, formed in doubles (three
//    roundings of sums of non-negative terms: T' >= T (1 - 2^-53)^3). The products are exact in
//    both forms, so the double sum d is three roundings of at most 2^-53 T (1 + 2^-51) each away
//    from the exact sum S, and the extended sum e three of at most 2^-64 T (1 + 2^-62) each:
//    |d - e| < 3.002 x 2^-53 T. The slack k is 5 x 2^-53 T', rounded (> 4.99 x 2^-53 T). The ends
//    d - k and d + k rounded to doubles move inward by at most 2^-53 (|d| + k) < 1.01 x 2^-53 T, so
//    they still lie beyond e on each side (3.002 + 1.01 < 4.99). Rounding to a single never
//    decreases, so when both ends round to the same single and that single is not 0, e rounds to
//    it too, sign included. Otherwise (a midpoint between singles, or 0, lies within a few units
//    of d in its last place: sums that nearly cancel, or rare points a hair from a midpoint) that
//    point is formed in extended.
class TRowTransform {
 public:
  // `lastColumn` (below 2^24) is the largest whole x that At is asked for.
  TRowTransform(const Matrix4& M, float y, int lastColumn = 0);
  inline Vector3 operator()(float x) const;
  // operator()(float(x)) for a whole x in 0..lastColumn, bit for bit, and much faster.
  inline Vector3 At(int x) const;
  // At(x) for the `count` columns from `first` on (all within 0..lastColumn), coordinate by
  // coordinate into xs, ys and zs, formed many columns at a time. False, with the arrays holding
  // nothing of use, when the matrix or y is not finite or some w is 0: the caller then takes At
  // column by column, which also raises the division by zero where TransformPoint would.
  bool AtColumns(int first, int count, float* xs, float* ys, float* zs) const;

 private:
  // The four sums of (x, y, 1, 1) x M in extended precision, each rounded to a single, undivided.
  inline Vector4 ExtendedSums(float x) const;
  // True when the single nearest the double sum `d` of a column is the extended sum's (above).
  static bool SureSingle(double d, double slack, bool exact) {
    const float low = float(d - slack), high = float(d + slack);
    return low == high && (low != 0 || exact);
  }

  const Matrix4& M_;
  double rowProducts_[4];  // y x m[1][c]
  float columnA_[4];       // m[0][c], or a zero of the constant sum's sign where m[0][c] is 0
  double rowSums_[4];      // y m[1][c] + m[2][c] + m[3][c] in doubles: exactly, in an exact column
  double slack_[4];        // 5 x 2^-53 T', or 0 in an exact column
  bool exactColumn_[4];
  bool doubles_;   // M and y are finite and lastColumn below 2^24: At forms the sums in doubles
  bool allExact_;  // and every column is exact
};

// IntersectRayPlane(MakeRay(origin, target - origin), plane, hit) for many targets and one origin:
// the origin's term of the intersection is formed once (the same single as every call forms).
class TRaysFromPoint {
 public:
  TRaysFromPoint() = default;  // rays from (0, 0, 0) that meet no plane: one to be assigned
  TRaysFromPoint(const Vector3& origin, const Plane& plane);
  inline bool Intersect(const Vector3& target, Vector3& hit) const;
  // Intersect for `count` targets given coordinate by coordinate, formed many at a time: hits[i]
  // tells whether target i's ray meets the plane and, where it does, hitXs[i] and hitYs[i] are
  // the hit's x and y. False, with the arrays holding nothing of use, unless the plane is z = 0
  // and every target is finite: the caller then takes Intersect target by target.
  bool IntersectAll(int count, const float* xs, const float* ys, const float* zs, float* hitXs, float* hitYs,
                    std::uint8_t* hits) const;

 private:
  Vector3 origin_;
  Plane plane_;
  float originDot_ = 0;  // Dot(origin, plane.normal)
  // The renderer's planes are z = 0 of their own space: normal (0, 0, 1), d = 0. There, for finite
  // values, the extended dot product is the direction's z itself and the numerator -(originDot + d)
  // is a single, so t is one division of singles, which rounded in extended and then to 32 bits is
  // the correctly rounded single quotient (64 bits are more than twice 24 + 2): one float division.
  bool zPlane_ = false;
  float numerator_ = 0;  // -(originDot + d), where zPlane_
};

// How many steps this thread has formed in extended precision because a faster form could not
// promise the same result. The benchmarks report them per rendering, to show how much of the
// rendering the exact fast paths cover; the fast paths themselves never touch them.
struct TExtendedSteps {
  std::uint64_t points = 0;         // row transforms of one point (TRowTransform)
  std::uint64_t intersections = 0;  // ray-plane intersections (TRaysFromPoint)
  std::uint64_t roundings = 0;      // the renderer's sample indices, blend mixes and fades
  friend bool operator==(const TExtendedSteps&, const TExtendedSteps&) = default;
};
inline TExtendedSteps& ExtendedSteps() {
  static thread_local TExtendedSteps steps;
  return steps;
}

// Definitions of the inline operations declared above.

inline Vector3 Vector4ToPoint(const Vector4& v, bool divide) {
  if (!divide) return {v.x, v.y, v.z};
  if (v.w == 0) RaiseZeroDivide();
  const float r = 1.0f / v.w;
  return {v.x * r, v.y * r, v.z * r};
}

inline float Dot(const Vector3& a, const Vector3& b) {
  return float(Extended(a.x) * b.x + Extended(a.y) * b.y + Extended(a.z) * b.z);
}

inline Vector4 TransformVector4(const Vector4& v, const Matrix4& M) {
  auto column = [&](int c) {
    return float(Extended(v.x) * M.m[0][c] + Extended(v.y) * M.m[1][c] + Extended(v.z) * M.m[2][c] +
                 Extended(v.w) * M.m[3][c]);
  };
  return {column(0), column(1), column(2), column(3)};
}

inline Vector4 TRowTransform::ExtendedSums(float x) const {
  // As TransformVector4 of (x, y, 1, 1): the products with 1 are the elements themselves.
  auto column = [&](int c) {
    return float(Extended(x) * M_.m[0][c] + Extended(rowProducts_[c]) + Extended(M_.m[2][c]) + Extended(M_.m[3][c]));
  };
  return {column(0), column(1), column(2), column(3)};
}

inline Vector3 TRowTransform::operator()(float x) const { return Vector4ToPoint(ExtendedSums(x), true); }

inline Vector3 TRowTransform::At(int x) const {
  if (!doubles_) {
    ++ExtendedSteps().points;
    return (*this)(float(x));
  }
  float column[4];
  bool sure = true;
  for (int c = 0; c < 4; ++c) {
    const double d = double(x) * columnA_[c] + rowSums_[c];
    column[c] = float(d);
    sure &= SureSingle(d, slack_[c], exactColumn_[c]);
  }
  if (!sure) {
    ++ExtendedSteps().points;
    const Vector4 sums = ExtendedSums(float(x));
    column[0] = sums.x, column[1] = sums.y, column[2] = sums.z, column[3] = sums.w;
  }
  return Vector4ToPoint({column[0], column[1], column[2], column[3]}, true);
}

inline bool TRaysFromPoint::Intersect(const Vector3& target, Vector3& hit) const {
  const Vector3 direction = SubtractVectors(target, origin_);
  if (zPlane_ && std::isfinite(direction.x) && std::isfinite(direction.y) && std::isfinite(direction.z)) {
    if (direction.z == 0) return false;
    hit = AddVectors(origin_, ScaleVector(direction, numerator_ / direction.z));
    return true;
  }
  // IntersectRayPlane, step for step.
  ++ExtendedSteps().intersections;
  const float denom = Dot(direction, plane_.normal);
  if (denom == 0) return false;
  const float t = float(-(Extended(originDot_) + plane_.d) / denom);
  hit = AddVectors(origin_, ScaleVector(direction, t));
  return true;
}

inline bool IntersectRayPlane(const Ray& ray, const Plane& plane, Vector3& hit) {
  const float denom = Dot(ray.direction, plane.normal);
  if (denom == 0) return false;
  const float t = float(-(Extended(Dot(ray.origin, plane.normal)) + plane.d) / denom);
  hit = AddVectors(ray.origin, ScaleVector(ray.direction, t));
  return true;
}
