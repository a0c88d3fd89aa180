#include "scene/frame.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<TSXFrame*> Items(const TSXFrameList& list) { return {list.begin(), list.end()}; }

void ExpectNear(const Matrix4& actual, const Matrix4& expected) {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_NEAR(actual.m[r][c], expected.m[r][c], 1e-5f) << "element " << r << "," << c;
}

TEST(TSXFrame, KeepsAncestorsAndChildrenConsistent) {
  auto root = TSXFrame::CreateRoot();
  TSXFrame* a = TSXFrame::Create(*root);
  TSXFrame* b = TSXFrame::Create(*a);
  TSXFrame* c = TSXFrame::Create(*b);
  TSXFrame* sibling = TSXFrame::Create(*c);
  TSXFrame* d = TSXFrame::Create(*c);

  EXPECT_EQ(root->Parent(), nullptr);
  EXPECT_EQ(root->Ancestors().Count(), 0);
  EXPECT_EQ(Items(d->Ancestors()), (std::vector<TSXFrame*>{root.get(), a, b, c}));
  EXPECT_EQ(d->Parent(), c);
  EXPECT_EQ(Items(c->Children()), (std::vector<TSXFrame*>{sibling, d}));  // creation order
  EXPECT_EQ(d->LocalMatrix, IdentityMatrix);

  // Every frame's ancestors are its parent's ancestors followed by the parent.
  for (TSXFrame* frame : {a, b, c, sibling, d}) {
    std::vector<TSXFrame*> expected = Items(frame->Parent()->Ancestors());
    expected.push_back(frame->Parent());
    EXPECT_EQ(Items(frame->Ancestors()), expected);
  }
}

TEST(TSXFrame, DeletingAFrameFreesItsSubtreeAndDetachesIt) {
  auto root = TSXFrame::CreateRoot();
  TSXFrame* first = TSXFrame::Create(*root);
  TSXFrame* doomed = TSXFrame::Create(*root);
  TSXFrame* last = TSXFrame::Create(*root);
  TSXFrame* child = TSXFrame::Create(*doomed);
  TSXFrame::Create(*child);
  TSXFrame::Create(*doomed);

  delete doomed;  // the sanitizer build reports any frame of the subtree left behind or freed twice
  EXPECT_EQ(Items(root->Children()), (std::vector<TSXFrame*>{first, last}));
  // The root frees the rest with itself.
}

TEST(TSXFrame, WorldMatrixComposesUpToButNotIncludingTheRoot) {
  auto root = TSXFrame::CreateRoot();
  root->LocalMatrix = MakeTranslation(100, 100, 100);
  TSXFrame* parent = TSXFrame::Create(*root);
  TSXFrame* child = TSXFrame::Create(*parent);
  parent->LocalMatrix = MakeTranslation(1, 0, 0);
  child->LocalMatrix = MakeScale(2, 2, 2);

  EXPECT_EQ(root->GetWorldMatrix(), root->LocalMatrix);
  EXPECT_EQ(parent->GetWorldMatrix(), parent->LocalMatrix);
  // Own matrix first: the child's (1, 0, 0) is scaled to (2, 0, 0), then moved by the parent.
  EXPECT_EQ(TransformPoint({1, 0, 0}, child->GetWorldMatrix()), (Vector3{3, 0, 0}));

  // A rigid frame's inverse world matrix takes world points back into the frame.
  parent->LocalMatrix = MatrixMultiply(MakeRotationY(500), MakeTranslation(1, 2, 3));
  const Vector3 p = TransformPoint({0.25f, -1, 2}, parent->GetWorldMatrix());
  const Vector3 back = TransformPoint(p, parent->GetInverseWorldMatrix());
  EXPECT_NEAR(back.x, 0.25f, 1e-5f);
  EXPECT_NEAR(back.y, -1.0f, 1e-5f);
  EXPECT_NEAR(back.z, 2.0f, 1e-5f);
}

TEST(TSXFrame, SetMatrixRelativeToEachKindOfReference) {
  auto root = TSXFrame::CreateRoot();
  TSXFrame* parent = TSXFrame::Create(*root);
  TSXFrame* frame = TSXFrame::Create(*parent);
  TSXFrame* other = TSXFrame::Create(*root);
  parent->LocalMatrix = MatrixMultiply(MakeRotationY(1024), MakeTranslation(0, 5, 0));
  other->LocalMatrix = MakeTranslation(7, 0, 0);
  const Matrix4 M = MatrixMultiply(MakeScale(1, 0.5f, 1), MakeTranslation(1, 0, 0));

  frame->SetMatrix(parent, M);  // relative to the parent: stored as it is
  EXPECT_EQ(frame->LocalMatrix, M);

  frame->LocalMatrix = MakeRotationY(100);
  const Matrix4 start = frame->LocalMatrix;
  frame->SetMatrix(frame, MakeTranslation(1, 0, 0));  // in the frame's own space, before its transform
  frame->SetMatrix(frame, MakeTranslation(1, 0, 0));
  EXPECT_EQ(frame->LocalMatrix, MatrixMultiply(MakeTranslation(2, 0, 0), start));

  frame->SetMatrix(other, M);  // relative to an unrelated frame
  ExpectNear(frame->GetWorldMatrix(), MatrixMultiply(M, other->GetWorldMatrix()));

  frame->SetMatrix(nullptr, M);  // relative to the world
  ExpectNear(frame->GetWorldMatrix(), M);

  root->SetMatrix(nullptr, M);  // a root with no reference: its parent is none, so stored as is
  EXPECT_EQ(root->LocalMatrix, M);
  root->SetMatrix(other, MakeScale(3, 3, 3));  // a root relative to another frame
  EXPECT_EQ(root->LocalMatrix, MatrixMultiply(MakeScale(3, 3, 3), other->GetWorldMatrix()));
}

TEST(TSXFrame, OrientationAndPositionKeepTheOtherHalf) {
  auto root = TSXFrame::CreateRoot();
  TSXFrame* parent = TSXFrame::Create(*root);
  TSXFrame* frame = TSXFrame::Create(*parent);
  frame->LocalMatrix = MatrixMultiply(MakeRotationY(700), MakeTranslation(4, 5, 6));
  frame->LocalMatrix.m[0][3] = 0.5f;  // fourth elements of the axis rows are not touched

  frame->SetOrientation(parent, {0, 0, 1}, {0, 1, 0});
  Matrix4 expected = MakeTranslation(4, 5, 6);
  expected.m[0][3] = 0.5f;
  EXPECT_EQ(frame->LocalMatrix, expected);

  Matrix4 moved = frame->LocalMatrix;
  moved.m[3][0] = -1;
  moved.m[3][1] = -2;
  moved.m[3][2] = -3;
  frame->SetPosition(parent, {-1, -2, -3});
  EXPECT_EQ(frame->LocalMatrix, moved);

  // Relative to the world under a turned and moved parent: the frame's world axes become the ones
  // asked for, its origin stays in its parent's space, and a world position keeps the axes.
  parent->LocalMatrix = MatrixMultiply(MakeRotationY(1024), MakeTranslation(10, 0, 0));
  frame->LocalMatrix = MakeTranslation(1, 1, 1);
  frame->SetOrientation(nullptr, {1, 0, 0}, {0, 1, 0});
  const Matrix4 world = frame->GetWorldMatrix();
  EXPECT_NEAR(world.m[2][0], 1.0f, 1e-6f);  // Z axis along world +X
  EXPECT_NEAR(world.m[0][2], -1.0f, 1e-6f);  // X axis = up x direction = -Z
  EXPECT_EQ(frame->LocalMatrix.m[3][0], 1.0f);
  EXPECT_EQ(frame->LocalMatrix.m[3][1], 1.0f);
  EXPECT_EQ(frame->LocalMatrix.m[3][2], 1.0f);

  const Matrix4 axes = frame->LocalMatrix;
  frame->SetPosition(nullptr, {3, 4, 5});
  const Matrix4 placed = frame->GetWorldMatrix();
  EXPECT_NEAR(placed.m[3][0], 3.0f, 1e-5f);
  EXPECT_NEAR(placed.m[3][1], 4.0f, 1e-5f);
  EXPECT_NEAR(placed.m[3][2], 5.0f, 1e-5f);
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) EXPECT_EQ(frame->LocalMatrix.m[r][c], axes.m[r][c]);
}

}  // namespace
