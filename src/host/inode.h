#pragma once
// Scene nodes: a named, uniquely numbered placement of an object with an animatable
// transform, a material, display flags and a place in the node hierarchy.
#include <memory>
#include <string>
#include <vector>

#include "host/key_track.h"
#include "host/object.h"

namespace host {

using DWORD = std::uint32_t;
// Packs 0-255 channels as the host's colour words do: 0x00BBGGRR.
constexpr DWORD RGB(unsigned r, unsigned g, unsigned b) { return (r & 0xFF) | (g & 0xFF) << 8 | (b & 0xFF) << 16; }

// Position, rotation (degrees about world X, then Y, then Z) and scale, each a key track
// or a constant.
struct NodeTransform {
  KeyTrack<Point3> position, rotation, scale;
  Point3 constPosition{0, 0, 0}, constRotation{0, 0, 0}, constScale{1, 1, 1};
  bool IsIdentity() const;
};

class INode : public ReferenceTarget {
 public:
  INode(ULONG handle, std::string name);
  ~INode() override;

  const std::string& GetName() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }
  ULONG GetHandle() const { return handle_; }

  // The node owns its object.
  Object* GetObjectRef() const { return object_.get(); }
  void SetObjectRef(std::unique_ptr<Object> obj);
  // The object as evaluated at t (no modifier stack in this host).
  Object* EvalWorldState(TimeValue t) const { return object_ ? object_->Eval(t) : nullptr; }

  Mtl* GetMtl() const { return mtl_; }
  void SetMtl(Mtl* m) { mtl_ = m; }
  // The node's wire colour, 0x00BBGGRR as RGB() packs it.
  DWORD GetWireColor() const { return wireColor_; }
  void SetWireColor(DWORD c) { wireColor_ = c; }

  // World transform at t; narrows valid when the transform is animated.
  Matrix3 GetNodeTM(TimeValue t, Interval* valid = nullptr) const;
  Matrix3 GetObjectTM(TimeValue t, Interval* valid = nullptr) const { return GetNodeTM(t, valid); }
  const NodeTransform& Transform() const { return xform_; }
  // Replaces the transform and tells dependents the node changed.
  void SetTransform(NodeTransform xf);
  // Moves the node by a parent-space offset, or turns it by degrees about X, Y and Z added to
  // its rotation, at t: an animated track gets a key at t, a constant one changes.
  void Move(TimeValue t, const Point3& offset);
  void Rotate(TimeValue t, const Point3& degrees);

  bool IsHidden() const { return hidden_; }
  void Hide(bool on) { hidden_ = on; }
  bool Renderable() const { return renderable_; }
  void SetRenderable(bool on) { renderable_ = on; }

  INode* GetParentNode() const { return parent_; }
  int NumberOfChildren() const { return int(children_.size()); }
  INode* GetChildNode(int i) const { return children_[i]; }
  // Links this node under parent (nullptr = scene root); refuses cycles.
  bool AttachTo(INode* parent);

 private:
  ULONG handle_;
  std::string name_;
  std::unique_ptr<Object> object_;
  Mtl* mtl_ = nullptr;
  DWORD wireColor_ = 0x00B4B4B4;
  NodeTransform xform_;
  bool hidden_ = false, renderable_ = true;
  INode* parent_ = nullptr;
  std::vector<INode*> children_;
};

// Local transform of a node (without its parent) at t.
Matrix3 EvaluateNodeTransform(const NodeTransform& xf, TimeValue t, Interval& valid);

}  // namespace host
