#include "scene/frame.h"

int TSXFrameList::IndexOf(const TSXFrame* frame) const {
  for (std::size_t i = 0; i < items_.size(); ++i)
    if (items_[i] == frame) return int(i);
  return -1;
}

TSXFrame::TSXFrame(TSXFrame* parent) : parent_(parent) {
  if (parent) {
    ancestors_.CopyFrom(parent->ancestors_);
    ancestors_.Add(parent);
  }
}

std::unique_ptr<TSXFrame> TSXFrame::CreateRoot() { return std::unique_ptr<TSXFrame>(new TSXFrame(nullptr)); }

TSXFrame* TSXFrame::Create(TSXFrame& parent) {
  auto child = std::unique_ptr<TSXFrame>(new TSXFrame(&parent));
  parent.children_.Add(child.get());
  return child.release();
}

TSXFrame::~TSXFrame() {
  // Each child's destructor takes it out of children_, so the first entry is always the next one.
  while (children_.Count() > 0) delete children_[0];
  if (parent_) {
    const int index = parent_->children_.IndexOf(this);
    if (index >= 0) parent_->children_.Delete(index);
  }
}

Matrix4 TSXFrame::GetWorldMatrix() const {
  Matrix4 world = LocalMatrix;
  for (int i = ancestors_.Count() - 1; i >= 1; --i) world = MatrixMultiply(world, ancestors_[i]->LocalMatrix);
  return world;
}

Matrix4 TSXFrame::GetInverseWorldMatrix() const { return RigidInverse(GetWorldMatrix()); }

void TSXFrame::SetMatrix(const TSXFrame* reference, const Matrix4& M) {
  if (reference == this) {
    LocalMatrix = MatrixMultiply(M, LocalMatrix);
  } else if (reference == parent_) {
    LocalMatrix = M;
  } else if (parent_ && reference) {
    LocalMatrix = MatrixMultiply(MatrixMultiply(M, reference->GetWorldMatrix()),
                                 RigidInverse(parent_->GetWorldMatrix()));
  } else if (parent_) {
    LocalMatrix = MatrixMultiply(M, RigidInverse(parent_->GetWorldMatrix()));
  } else {
    LocalMatrix = MatrixMultiply(M, reference->GetWorldMatrix());
  }
}

void TSXFrame::SetOrientation(const TSXFrame* reference, const Vector3& direction, const Vector3& up) {
  const Vector3 x = Normalize(Cross(up, direction));
  if (reference == parent_) {
    const Vector3 axes[3] = {x, up, direction};
    for (int r = 0; r < 3; ++r) {
      LocalMatrix.m[r][0] = axes[r].x;
      LocalMatrix.m[r][1] = axes[r].y;
      LocalMatrix.m[r][2] = axes[r].z;
    }
    return;
  }
  const float origin[3] = {LocalMatrix.m[3][0], LocalMatrix.m[3][1], LocalMatrix.m[3][2]};
  const Matrix4 M{{{x.x, x.y, x.z, 0},
                   {up.x, up.y, up.z, 0},
                   {direction.x, direction.y, direction.z, 0},
                   {origin[0], origin[1], origin[2], 1}}};
  SetMatrix(reference, M);
  for (int c = 0; c < 3; ++c) LocalMatrix.m[3][c] = origin[c];
}

void TSXFrame::SetPosition(const TSXFrame* reference, const Vector3& position) {
  if (reference == parent_) {
    LocalMatrix.m[3][0] = position.x;
    LocalMatrix.m[3][1] = position.y;
    LocalMatrix.m[3][2] = position.z;
    return;
  }
  float axes[3][3];
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) axes[r][c] = LocalMatrix.m[r][c];
  Matrix4 M = LocalMatrix;
  M.m[3][0] = position.x;
  M.m[3][1] = position.y;
  M.m[3][2] = position.z;
  SetMatrix(reference, M);
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) LocalMatrix.m[r][c] = axes[r][c];
}
