#pragma once
// The frame tree: each TSXFrame holds its transform relative to its parent, and world transforms
// are composed up the tree. The tree is fixed once built (no re-parenting).
#include <cstddef>
#include <memory>
#include <vector>

#include "scene/vector_math.h"

class TSXFrame;

// A list of frame references. It owns none of them: emptying or freeing it never frees a frame.
class TSXFrameList {
 public:
  int Count() const { return int(items_.size()); }
  TSXFrame* operator[](int index) const { return items_.at(std::size_t(index)); }
  void Add(TSXFrame* frame) { items_.push_back(frame); }
  // Removes the entry at `index` (the frame itself is untouched).
  void Delete(int index) { items_.erase(items_.begin() + index); }
  // Position of the frame in the list, or -1.
  int IndexOf(const TSXFrame* frame) const;
  void Clear() { items_.clear(); }
  // Empties the list, then appends every item of `other` in order.
  void CopyFrom(const TSXFrameList& other) { items_ = other.items_; }

  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

 private:
  std::vector<TSXFrame*> items_;
};

class TSXFrame {
 public:
  // A new root frame (no parent), owned by the caller.
  static std::unique_ptr<TSXFrame> CreateRoot();
  // A new frame attached last under `parent`, which owns it and frees it with itself.
  static TSXFrame* Create(TSXFrame& parent);

  // Frees the whole subtree, depth first and first child first, and detaches the frame from its
  // parent. Deleting a child frame directly is how a subtree is removed.
  ~TSXFrame();
  TSXFrame(const TSXFrame&) = delete;
  TSXFrame& operator=(const TSXFrame&) = delete;

  // The transform relative to the parent: rows 0 to 2 are the axes, row 3 the origin.
  Matrix4 LocalMatrix = IdentityMatrix;

  TSXFrame* Parent() const { return parent_; }
  // Root first, parent last; empty for a root.
  const TSXFrameList& Ancestors() const { return ancestors_; }
  // In creation order.
  const TSXFrameList& Children() const { return children_; }

  // LocalMatrix times the ancestors' LocalMatrix from the parent upward, stopping before the root:
  // the transform into the root's space. The root's own matrix is never applied to descendants.
  Matrix4 GetWorldMatrix() const;
  // RigidInverse of GetWorldMatrix: from the root's space into this frame (a camera's view matrix).
  // Exact only for frames whose chain carries no scale.
  Matrix4 GetInverseWorldMatrix() const;

  // Makes M this frame's transform relative to `reference`: the frame itself (M acts before the
  // current transform), its parent (M is stored as is), another frame, or nullptr for the root's
  // space.
  void SetMatrix(const TSXFrame* reference, const Matrix4& M);
  // Sets the axes: X = Normalize(Cross(up, direction)), Y = up, Z = direction (the caller passes an
  // orthonormal pair). The origin stays where it is.
  void SetOrientation(const TSXFrame* reference, const Vector3& direction, const Vector3& up);
  // Sets the origin; the axes (orientation and scale) stay as they are.
  void SetPosition(const TSXFrame* reference, const Vector3& position);

 private:
  explicit TSXFrame(TSXFrame* parent);

  TSXFrameList ancestors_;
  TSXFrameList children_;
  TSXFrame* parent_ = nullptr;
};
