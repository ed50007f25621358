#include "host/inode.h"

#include <algorithm>
#include <numbers>

namespace host {

bool NodeTransform::IsIdentity() const {
  return position.Empty() && rotation.Empty() && scale.Empty() &&
         constPosition == Point3(0, 0, 0) && constRotation == Point3(0, 0, 0) &&
         constScale == Point3(1, 1, 1);
}

Matrix3 EvaluateNodeTransform(const NodeTransform& xf, TimeValue t, Interval& valid) {
  const Point3 pos = xf.position.Empty() ? xf.constPosition : xf.position.Evaluate(t, valid);
  const Point3 rot = xf.rotation.Empty() ? xf.constRotation : xf.rotation.Evaluate(t, valid);
  const Point3 scl = xf.scale.Empty() ? xf.constScale : xf.scale.Evaluate(t, valid);
  constexpr float kDeg = float(std::numbers::pi / 180.0);
  // Scale, then rotate about X, Y and Z in that order, then translate.
  return ScaleMatrix(scl) * RotateXMatrix(rot.x * kDeg) * RotateYMatrix(rot.y * kDeg) *
         RotateZMatrix(rot.z * kDeg) * TransMatrix(pos);
}

INode::INode(ULONG handle, std::string name) : handle_(handle), name_(std::move(name)) {}

INode::~INode() {
  for (INode* c : children_) c->parent_ = nullptr;
  if (parent_) {
    auto& sib = parent_->children_;
    sib.erase(std::remove(sib.begin(), sib.end(), this), sib.end());
  }
}

void INode::SetObjectRef(std::unique_ptr<Object> obj) {
  object_ = std::move(obj);
  NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
}

Matrix3 INode::GetNodeTM(TimeValue t, Interval* valid) const {
  Interval iv = FOREVER;
  Matrix3 m = EvaluateNodeTransform(xform_, t, iv);
  if (parent_) m = m * parent_->GetNodeTM(t, &iv);
  if (valid) *valid &= iv;
  return m;
}

void INode::SetTransform(NodeTransform xf) {
  xform_ = std::move(xf);
  NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
}

bool INode::AttachTo(INode* parent) {
  for (INode* p = parent; p; p = p->parent_)
    if (p == this) return false;
  if (parent_) {
    auto& sib = parent_->children_;
    sib.erase(std::remove(sib.begin(), sib.end(), this), sib.end());
  }
  parent_ = parent;
  if (parent_) parent_->children_.push_back(this);
  return true;
}

}  // namespace host
