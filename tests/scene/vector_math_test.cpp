#include "scene/vector_math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "scene/scene.h"
#include "toolkit/errors.h"

namespace {

// Matrices built from several single-precision steps agree with their exact values only to a few
// units in the last place; 1e-5 is far below anything that moves a pixel.
constexpr float kTolerance = 1e-5f;

void ExpectNear(const Vector3& actual, const Vector3& expected, float tolerance = kTolerance) {
  EXPECT_NEAR(actual.x, expected.x, tolerance);
  EXPECT_NEAR(actual.y, expected.y, tolerance);
  EXPECT_NEAR(actual.z, expected.z, tolerance);
}

bool NearIdentity(const Matrix4& M, float tolerance = kTolerance) {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      if (std::fabs(M.m[r][c] - IdentityMatrix.m[r][c]) > tolerance) return false;
  return true;
}

TEST(VectorMath, TrigTablesHoldOneAngleUnitPerEntry) {
  const auto& sine = SinTable();
  const auto& cosine = CosTable();
  EXPECT_EQ(sine[0], 0.0f);
  EXPECT_EQ(cosine[0], 1.0f);
  EXPECT_EQ(sine[1024], 1.0f);    // a quarter turn
  EXPECT_EQ(cosine[2048], -1.0f);  // half a turn
  EXPECT_EQ(sine[512], float(std::sqrt(0.5L)));
  EXPECT_EQ(sine[113], float(std::sin(113.0L / 2048 * 3.14159265358979323846264338327950288L)));
  for (int i = 0; i < AngleUnits; ++i) EXPECT_NEAR(sine[i] * sine[i] + cosine[i] * cosine[i], 1.0f, 1e-6f) << i;
}

TEST(VectorMath, RotationWrapsAnglesAndTurnsPlusXTowardMinusZ) {
  EXPECT_EQ(MakeRotationY(0), IdentityMatrix);
  EXPECT_EQ(MakeRotationY(-113), MakeRotationY(3983));
  EXPECT_EQ(MakeRotationY(4096 + 7), MakeRotationY(7));
  // A positive angle swings +X toward -Z (left-handed, seen from above).
  ExpectNear(TransformPoint({1, 0, 0}, MakeRotationY(1024)), {0, 0, -1});
  ExpectNear(TransformPoint({0, 0, 1}, MakeRotationY(1024)), {1, 0, 0});
  ExpectNear(TransformPoint({0, 5, 0}, MakeRotationY(777)), {0, 5, 0});
}

TEST(VectorMath, RotationsKeepLengthsAndRigidInverseUndoesThem) {
  std::mt19937 random(12345);
  std::uniform_int_distribution<int> angle(-20000, 20000);
  std::uniform_real_distribution<float> coordinate(-10, 10);
  for (int i = 0; i < 500; ++i) {
    const Vector3 p{coordinate(random), coordinate(random), coordinate(random)};
    const Matrix4 rigid =
        MatrixMultiply(MakeRotationY(angle(random)), MakeTranslation(coordinate(random), coordinate(random), 0));
    const Matrix4 rotation = MakeRotationY(angle(random));
    EXPECT_NEAR(VectorLength(TransformPoint(p, rotation)), VectorLength(p), 1e-4f * (1 + VectorLength(p)));
    ExpectNear(TransformPoint(TransformPoint(p, rigid), RigidInverse(rigid)), p, 1e-4f);
    EXPECT_TRUE(NearIdentity(MatrixMultiply(rigid, InvertMatrix(rigid)), 1e-5f));
  }
}

TEST(VectorMath, RigidInverseIgnoresScaleWhileInvertMatrixDoesNot) {
  const Matrix4 M = MatrixMultiply(MatrixMultiply(MakeScale(2, 1, 1), MakeRotationY(300)), MakeTranslation(1, 2, 3));
  EXPECT_FALSE(NearIdentity(MatrixMultiply(RigidInverse(M), M), 0.1f));
  EXPECT_TRUE(NearIdentity(MatrixMultiply(InvertMatrix(M), M)));
  EXPECT_TRUE(NearIdentity(MatrixMultiply(M, InvertMatrix(M))));

  EXPECT_EQ(MatrixDeterminant(MakeScale(2, 3, 4)), 24.0f);
  EXPECT_EQ(MatrixDeterminant(MakeRotationY(0)), 1.0f);
  EXPECT_THROW(InvertMatrix(MakeScale(1, 0, 1)), Exception);
}

TEST(VectorMath, GeneralInverseHoldsForProjectionChains) {
  // The renderer inverts frame x view x projection x viewport chains; check random ones.
  std::mt19937 random(777);
  std::uniform_int_distribution<int> angle(-600, 600);
  std::uniform_real_distribution<float> scale(0.2f, 1.0f), offset(-3, 3);
  for (int i = 0; i < 200; ++i) {
    const Matrix4 frame = MatrixMultiply(MakeScale(scale(random), scale(random), 1), MakeRotationY(angle(random)));
    const Matrix4 view = MakeTranslation(0, offset(random), 1 + scale(random) * 3);
    const Matrix4 screen = MatrixMultiply(
        MatrixMultiply(view, MakePerspectiveFov(1.0471976f, 1.0f, 0.1f, 100.0f)), MakeViewport(0, 0, 256, 256));
    const Matrix4 M = MatrixMultiply(frame, screen);
    const Vector3 p{offset(random) / 6, offset(random) / 6, 0};
    // Screen coordinates reach hundreds of pixels; allow a relative error of a few ulps.
    ExpectNear(TransformPoint(TransformPoint(p, M), InvertMatrix(M)), p, 1e-4f);
  }
}

TEST(VectorMath, ProductsApplyLeftMatrixFirst) {
  const Matrix4 scaleThenMove = MatrixMultiply(MakeScale(2, 2, 2), MakeTranslation(1, 0, 0));
  const Matrix4 moveThenScale = MatrixMultiply(MakeTranslation(1, 0, 0), MakeScale(2, 2, 2));
  EXPECT_EQ(TransformPoint({1, 0, 0}, scaleThenMove), (Vector3{3, 0, 0}));
  EXPECT_EQ(TransformPoint({1, 0, 0}, moveThenScale), (Vector3{4, 0, 0}));
  // A direction (w = 0) ignores the translation row.
  EXPECT_EQ(TransformVector4({1, 1, 1, 0}, scaleThenMove), (Vector4{2, 2, 2, 0}));
}

TEST(VectorMath, HomogeneousDivideMultipliesBySingleReciprocal) {
  // 5/3 correctly rounded is 1.66666663; 5 x float(1/3) is 1.66666675.
  EXPECT_EQ(Vector4ToPoint({5, 0, 0, 3}, true).x, 1.66666675f);
  EXPECT_EQ(Vector4ToPoint({5, 6, 7, 3}, false), (Vector3{5, 6, 7}));
  EXPECT_THROW(Vector4ToPoint({1, 1, 1, 0}, true), Exception);
}

TEST(VectorMath, NormalizeAndCrossHandedness) {
  EXPECT_EQ(Cross({0, 1, 0}, {0, 0, 1}), (Vector3{1, 0, 0}));  // up x direction gives the camera's X
  EXPECT_EQ(Normalize({0, 0, 0}), (Vector3{0, 0, 0}));
  // However small, a non-zero length is divided through.
  ExpectNear(Normalize({3e-19f, 4e-19f, 0}), {0.6f, 0.8f, 0}, 1e-3f);
}

TEST(VectorMath, ProjectionAndViewportMapDepthAndPixels) {
  const Matrix4 projection = MakePerspectiveFov(1.0471976f, 0.5f, 0.1f, 100.0f);
  EXPECT_NEAR(TransformPoint({0, 0, 0.1f}, projection).z, 0.0f, 1e-6f);
  EXPECT_NEAR(TransformPoint({0, 0, 100}, projection).z, 1.0f, 1e-6f);
  // cot(30 degrees) = sqrt(3); the aspect scales x only.
  const Vector3 corner = TransformPoint({1, 1, 1}, projection);
  EXPECT_NEAR(corner.y, 1.7320508f, 1e-6f);
  EXPECT_NEAR(corner.x, 0.8660254f, 1e-6f);

  const Matrix4 viewport = MakeViewport(0, 0, 256, 256);
  EXPECT_EQ(TransformPoint({0, 0, 0}, viewport), (Vector3{128, 128, 0}));
  EXPECT_EQ(TransformPoint({1, 1, 0.5f}, viewport), (Vector3{256, 0, 0.5f}));
  EXPECT_EQ(TransformPoint({-1, -1, 1}, viewport), (Vector3{0, 256, 1}));
  // Odd sizes halve in floating point.
  EXPECT_EQ(TransformPoint({0, 0, 0}, MakeViewport(0, 0, 101, 33)), (Vector3{50.5f, 16.5f, 0}));
}

TEST(VectorMath, RayPlaneIntersection) {
  const Plane floor = MakePlane({0, 0, 0}, {0, 0, 1});
  Vector3 hit{9, 9, 9};
  EXPECT_TRUE(IntersectRayPlane(MakeRay({0, 0, -2}, {1, 1, 4}), floor, hit));
  EXPECT_EQ(hit, (Vector3{0.5f, 0.5f, 0}));

  // Parallel: no hit, and the output is left as it was.
  hit = {9, 9, 9};
  EXPECT_FALSE(IntersectRayPlane(MakeRay({0, 0, -2}, {1, 1, 0}), floor, hit));
  EXPECT_EQ(hit, (Vector3{9, 9, 9}));

  // A plane behind the origin is still hit (t < 0).
  EXPECT_TRUE(IntersectRayPlane(MakeRay({0, 0, -2}, {1, 0, -1}), floor, hit));
  EXPECT_EQ(hit, (Vector3{-2, 0, 0}));

  // The normal is not normalised and d = -Dot(point, normal).
  const Plane raised = MakePlane({0, 0, 3}, {0, 0, 2});
  EXPECT_EQ(raised.d, -6.0f);
  EXPECT_TRUE(IntersectRayPlane(MakeRay({1, 1, 0}, {0, 2, 1}), raised, hit));
  EXPECT_EQ(hit, (Vector3{1, 7, 3}));
}

// Bit for bit, zeros' signs included; a not-a-number matches any other, since the compiler may
// swap the operands of an addition or product and with them which payload comes through (nothing
// downstream reads one: every use of a coordinate compares it).
bool SameBits(const Vector3& a, const Vector3& b) {
  auto same = [](float p, float q) { return (std::isnan(p) && std::isnan(q)) || std::memcmp(&p, &q, sizeof p) == 0; };
  return same(a.x, b.x) && same(a.y, b.y) && same(a.z, b.z);
}

// A single of any sign and of magnitudes from 1e-30 to 1e30, now and then a zero, an infinity or a
// not-a-number, so that the row helpers meet every case the renderer's matrices could bring.
float AnySingle(std::mt19937& random) {
  switch (random() % 40) {
    case 0: return 0.0f;
    case 1: return -0.0f;
    case 2: return std::numeric_limits<float>::infinity();
    case 3: return std::numeric_limits<float>::quiet_NaN();
    default: break;
  }
  const float mantissa = std::uniform_real_distribution<float>(-2, 2)(random);
  return std::ldexp(mantissa, int(random() % 200) - 100);
}

// The row helpers give exactly, bit for bit, what TransformPoint and IntersectRayPlane give,
// divisions by zero included.
TEST(VectorMath, RowHelpersGiveThePointAndRayResultsBitForBit) {
  std::mt19937 random(4096);
  int formedAtOnce = 0;
  for (int round = 0; round < 20000; ++round) {
    Matrix4 M;
    for (auto& row : M.m)
      for (float& e : row) e = random() % 3 ? std::uniform_real_distribution<float>(-300, 300)(random) : AnySingle(random);
    if (round % 5 == 0) M.m[0][3] = M.m[1][3] = 0, M.m[3][3] = -M.m[2][3];  // w is 0 on every pixel
    const float y = random() % 2 ? float(int(random() % 6000) - 500) : AnySingle(random);
    const TRowTransform row(M, y);
    for (int i = 0; i < 8; ++i) {
      const float x = i < 6 ? float(int(random() % 6000) - 500) : AnySingle(random);
      bool plainThrew = false, rowThrew = false;
      Vector3 plain, fromRow;
      try {
        plain = TransformPoint({x, y, 1}, M);
      } catch (const Exception&) {
        plainThrew = true;
      }
      try {
        fromRow = row(x);
      } catch (const Exception&) {
        rowThrew = true;
      }
      ASSERT_EQ(rowThrew, plainThrew) << round;
      if (!plainThrew) {
        ASSERT_TRUE(SameBits(fromRow, plain)) << round;
      }
    }

    const Vector3 origin{AnySingle(random), AnySingle(random), AnySingle(random)};
    // The renderer's plane, also with its zeros negative, or any plane.
    const float zero = random() % 2 ? 0.0f : -0.0f;
    const Plane plane = random() % 2 ? Plane{{zero, -zero, 1}, zero}
                                     : Plane{{AnySingle(random), AnySingle(random), AnySingle(random)}, AnySingle(random)};
    const TRaysFromPoint rays(origin, plane);
    float xs[4], ys[4], zs[4], hitXs[4], hitYs[4];
    bool plainHits[4];
    Vector3 plainHit[4];
    for (int i = 0; i < 4; ++i) {
      // Now and then scene-like targets, which every ray meets at finite points.
      const bool finite = round % 3 == 0;
      const Vector3 target = finite ? Vector3{float(random() % 999) / 7, float(random() % 999) / 9, float(random() % 99)}
                                    : Vector3{AnySingle(random), AnySingle(random), i == 0 ? origin.z : AnySingle(random)};
      xs[i] = target.x, ys[i] = target.y, zs[i] = target.z;
      Vector3 rowHit{7, 7, 7};
      plainHit[i] = {7, 7, 7};
      plainHits[i] = IntersectRayPlane(MakeRay(origin, SubtractVectors(target, origin)), plane, plainHit[i]);
      ASSERT_EQ(rays.Intersect(target, rowHit), plainHits[i]) << round;
      ASSERT_TRUE(SameBits(rowHit, plainHit[i])) << round;
    }
    // All four at once: where it answers, each is IntersectRayPlane's.
    std::uint8_t hits[4];
    if (rays.IntersectAll(4, xs, ys, zs, hitXs, hitYs, hits)) {
      ++formedAtOnce;
      for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(bool(hits[i]), plainHits[i]) << round;
        if (plainHits[i]) {
          ASSERT_TRUE(SameBits({hitXs[i], hitYs[i], plainHit[i].z}, plainHit[i])) << round;
        }
      }
    }
  }
  EXPECT_GT(formedAtOnce, 1000);
}

// The row transform's whole columns, where it forms the sums in doubles, give TransformPoint's
// single bit for bit: for scene-like matrices, for matrices of large whole numbers whose sums fall
// halfway between singles (ties to even), with tiny elements that leave too few bits for a double,
// with magnitudes spread so that the sums need about as many bits as a double holds, and with
// zeros, infinities and divisions by zero.
TEST(VectorMath, RowTransformColumnsGiveThePointResultsBitForBit) {
  std::mt19937 random(2560);
  int formedAtOnce = 0;
  for (int round = 0; round < 6000; ++round) {
    Matrix4 M;
    const int kind = round % 5;
    for (auto& row : M.m)
      for (float& e : row) {
        if (kind == 0) e = std::uniform_real_distribution<float>(-2, 2)(random) * std::ldexp(1.0f, int(random() % 12) - 8);
        if (kind == 1) e = float(int(random() % (1 << 26)) - (1 << 25));
        if (kind == 2) e = random() % 4 ? std::uniform_real_distribution<float>(-50, 50)(random) : std::ldexp(1.0f, -40 - int(random() % 60));
        if (kind == 3) e = random() % 3 ? float(int(random() % 9) - 4) : AnySingle(random);
        if (kind == 4) e = std::uniform_real_distribution<float>(-2, 2)(random) * std::ldexp(1.0f, int(random() % 41) - 10);
      }
    if (round % 7 == 0) M.m[0][3] = M.m[1][3] = 0, M.m[3][3] = -M.m[2][3];  // w is 0 on every pixel
    if (round % 11 == 0) M.m[3][0] = -M.m[2][0], M.m[0][0] = M.m[1][0] = 0;  // x sums to 0
    if (round == 0) {
      // 1 + 63 x 2^-30 + (2^-30 + 2^-53) is a hair above the point halfway between 1 and the next
      // single: a double loses the hair, extended keeps it.
      for (int c = 0; c < 3; ++c)
        M.m[0][c] = 63 * 0x1p-30f, M.m[1][c] = 0, M.m[2][c] = 1, M.m[3][c] = 0x1p-30f + 0x1p-53f;
      M.m[0][3] = M.m[1][3] = M.m[3][3] = 0, M.m[2][3] = 1;  // w = 1
    }
    const float y = float(random() % 3000);
    const int lastColumn = round == 0 ? 1 : int(random() % 3000);
    const TRowTransform row(M, y, lastColumn);
    for (int i = 0; i < 24; ++i) {
      const int x = i == 0 ? lastColumn : i == 1 ? 0 : int(random() % (lastColumn + 1));
      bool plainThrew = false, rowThrew = false;
      Vector3 plain, fromRow;
      try {
        plain = TransformPoint({float(x), y, 1}, M);
      } catch (const Exception&) {
        plainThrew = true;
      }
      try {
        fromRow = row.At(x);
      } catch (const Exception&) {
        rowThrew = true;
      }
      ASSERT_EQ(rowThrew, plainThrew) << round;
      if (!plainThrew) {
        ASSERT_TRUE(SameBits(fromRow, plain)) << round << " x " << x;
      }
    }
    // Many columns at once: where it answers, each column is TransformPoint's.
    const int first = int(random() % (lastColumn + 1)), count = std::min(lastColumn - first + 1, 64);
    float xs[64], ys[64], zs[64];
    if (row.AtColumns(first, count, xs, ys, zs)) {
      ++formedAtOnce;
      for (int i = 0; i < count; ++i)
        ASSERT_TRUE(SameBits({xs[i], ys[i], zs[i]}, TransformPoint({float(first + i), y, 1}, M))) << round;
    }
  }
  EXPECT_GT(formedAtOnce, 1000);
}

}  // namespace

namespace {

// TransformPoint((x, y, 1), M) for each column of the run, formed as a run and one by one. A run
// may be refused (where a w is 0 or close to it), and then only where `mayRefuse`.
void ExpectRunIsTransformPoint(const TRowTransform& row, const Matrix4& M, float y, int first, int count,
                               const char* what, bool mayRefuse = false) {
  float xs[64], ys[64], zs[64];
  const bool formed = row.AtColumns(first, count, xs, ys, zs);
  ASSERT_TRUE(formed || mayRefuse) << what;
  for (int i = 0; i < count; ++i) {
    const Vector3 plain = TransformPoint({float(first + i), y, 1}, M);
    if (formed) {
      ASSERT_TRUE(SameBits({xs[i], ys[i], zs[i]}, plain)) << what << " x " << first + i << " y " << y;
    }
    ASSERT_TRUE(SameBits(row.At(first + i), plain)) << what << " x " << first + i << " y " << y;
  }
}

}  // namespace

// Sums that a double cannot give exactly: the terms of a column span more bits than a double holds,
// so the double sum is kept only where an interval around it, which holds the extended sum, rounds
// to one single. Built so that the double lands on or a few units beside the point halfway between
// two singles while the extended sum lies on the other side of it: along a run whose x term moves
// the sum by far less than a unit (one midpoint in reach), by about a unit (several), where the sum
// passes through 0 (its sign), and without an x term (the whole row one sum).
TEST(VectorMath, RowTransformKeepsTheExtendedSingleWhereADoubleLandsBesideAHalfwayPoint) {
  const float half = 0x1p-24f;  // 1 + 2^-24 lies halfway between the singles 1 and 1 + 2^-23
  struct Case {
    float a, b, e, f;  // m[0][c], m[1][c], m[2][c], m[3][c]
    int first;
    const char* what;
    float y = 7;        // the row
    bool asW = true;    // also tried as w
  };
  const Case cases[] = {
      // The run's x terms, 2^-60 .. 64 x 2^-60, lift the midpoint in extended, not in a double.
      {0x1p-60f, 0, 1 + 0x1p-23f, -half, 1, "dust above a midpoint"},
      {-0x1p-60f, 0, 1 + 0x1p-23f, -half, 1, "dust below a midpoint"},
      // The midpoint crossed along the run: the double lands on it at one column.
      {0x1p-30f, 0, 1, half - 20 * 0x1p-30f - 0x1p-61f, 0, "a midpoint crossed"},
      // The x term moves the sum by about a unit of a single per column: many midpoints.
      {0x1p-23f + 0x1p-47f, 0, 1 + 0x1p-23f, -half + 0x1p-62f, 0, "one unit a column"},
      // The sum passes through 0 within the run; its double is one rounding away from it.
      {0x1p-20f, 0, -(20 * 0x1p-20f), 0x1p-70f, 0, "through zero"},
      // No x term: 7 x 2^-62 lifts the midpoint in extended all along the row, or a zero sum keeps
      // the sign of every term's zero.
      {0, 0x1p-62f, 1 + 0x1p-23f, -half, 0, "a row above a midpoint"},
      {-0.0f, -0x1p-62f, 1 + 0x1p-23f, -half, 0, "a row below a midpoint"},
      {-0.0f, -0.0f, -0.0f, -0.0f, 0, "a row of negative zeros"},
      {-0.0f, 0x1p-88f, 0x1p-30f, -0x1p-30f, 0, "a row a hair above zero"},
      // A row between whole ones (the class takes any y), whose product y m[1][c] lies 60 bits below
      // the other terms: a double loses it and sums to +0 at x = 0, extended keeps it and ends at
      // -2^-170, which is -0 as a single. (As w that is a division by zero.)
      {0x1p-149f, -0x1p-149f, 0x1p-110f, -0x1p-110f, 0, "the sign of a zero", 0x1p-21f, false},
  };
  for (const Case& c : cases) {
    Matrix4 M;
    for (int column = 0; column < 4; ++column) {
      M.m[0][column] = c.a, M.m[1][column] = c.b, M.m[2][column] = c.e, M.m[3][column] = c.f;
    }
    M.m[0][3] = M.m[1][3] = 0, M.m[2][3] = 1, M.m[3][3] = 0;  // w = 1
    const TRowTransform row(M, c.y, 1000);
    ExpectRunIsTransformPoint(row, M, c.y, c.first, 64, c.what);
  }
  // The same sums as w, which divides the others.
  for (const Case& c : cases) {
    if (c.e == 0 || !c.asW) continue;  // a w of 0
    Matrix4 M;
    for (int column = 0; column < 3; ++column) M.m[0][column] = 0.25f, M.m[2][column] = 3, M.m[3][column] = -1;
    M.m[0][3] = c.a, M.m[1][3] = c.b, M.m[2][3] = c.e, M.m[3][3] = c.f;
    const TRowTransform row(M, c.y, 1000);
    // A run through w = 0 is left to the caller (which raises the division by zero in its place).
    ExpectRunIsTransformPoint(row, M, c.y, c.first, 64, c.what, /*mayRefuse=*/c.e < 0);
  }
}

// Sums within a few units of a double from points halfway between singles, with terms spread over
// 50 to 70 bits: x terms of rounding dust, y terms far below the elements, so that the doubles'
// roundings and the extended sums' fall on either side of the halfway points. Every point of a run
// and every point one by one is TransformPoint's.
TEST(VectorMath, RowTransformMatchesTheExtendedSumsNearHalfwayPoints) {
  std::mt19937 random(2026);
  auto spread = [&](int lowest, int highest) {
    const float mantissa = std::uniform_real_distribution<float>(1, 2)(random);
    return (random() % 2 ? 1 : -1) * std::ldexp(mantissa, -int(lowest + random() % (highest - lowest + 1)));
  };
  for (int round = 0; round < 4000; ++round) {
    Matrix4 M;
    for (int c = 0; c < 4; ++c) {
      M.m[0][c] = random() % 4 ? spread(52, 66) : 0.0f;
      M.m[1][c] = spread(60, 72);
      M.m[2][c] = 1 + std::ldexp(float(random() % 4), -23);
      M.m[3][c] = -0x1p-24f + (random() % 2 ? spread(47, 58) : 0.0f);
    }
    M.m[3][3] += 2;  // w near 2: no division by zero
    const float y = float(1 + random() % 3000);
    const TRowTransform row(M, y, 2559);
    const int first = int(random() % 2400);
    ExpectRunIsTransformPoint(row, M, y, first, 64, "near a halfway point");
  }
}

// The renderer's own matrices at every tilt and camera height, at several picture and output
// sizes, for the final rendering's enlarged target: every point of a few rows of each, as runs of
// 64 and one by one, is TransformPoint's.
TEST(VectorMath, RowTransformGivesThePointResultsForTheRenderersMatricesAtEverySetting) {
  std::mt19937 random(121);
  const int pictureSizes[] = {1, 3, 8, 10}, outputSides[] = {64, 256, 512, 333};
  for (int yaw = -5; yaw <= 5; ++yaw)
    for (int cameraY = -5; cameraY <= 5; ++cameraY) {
      const int size = pictureSizes[random() % 4], side = outputSides[random() % 4];
      TScene scene;
      CreateScene(scene, {.CameraZ = size, .CameraY = cameraY, .Yaw = yaw}, 1024, 768, side, side);
      const int target = side * 5;
      UpdateProjection(scene, target, target);
      UpdateScreenMatrix(scene);
      const Matrix4& image = scene.ImageFrame->LocalMatrix;
      const Matrix4 reflection = MatrixMultiply(scene.ReflectionFrame->LocalMatrix, image);
      const Matrix4 matrices[] = {InvertMatrix(MatrixMultiply(image, scene.ScreenMatrix)),
                                  InvertMatrix(MatrixMultiply(reflection, scene.ScreenMatrix))};
      for (const Matrix4& M : matrices)
        for (int i = 0; i < 3; ++i) {
          const float y = float(random() % target);
          const TRowTransform row(M, y, target - 1);
          const int first = int(random() % 64);
          for (int x = first; x < target; x += 64 * 5) ExpectRunIsTransformPoint(row, M, y, x, std::min(64, target - x), "scene");
        }
    }
}
