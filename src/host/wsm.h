#pragma once
// Space warps: world-space modifier objects that offer force fields to particle systems and
// simulations, and the simple space-warp base whose icon is a mesh built from its parameters
// (drawn in the viewports as its visible edges and picked by them).
#include <mutex>

#include "host/object.h"
#include "host/param_block.h"
#include "host/render_items.h"

namespace host {

// A force acting on particles: Force returns the acceleration at a position in world units
// per tick squared. The caller releases it with DeleteThis.
class ForceField {
 public:
  virtual ~ForceField() = default;
  // index identifies the particle; velocity is in world units per tick.
  virtual Point3 Force(TimeValue t, const Point3& pos, const Point3& vel, int index) = 0;
  virtual void DeleteThis() { delete this; }
};

// Base of space-warp objects (super class WSM_OBJECT_CLASS_ID).
class WSMObject : public Object {
 public:
  SClass_ID SuperClassID() const override { return WSM_OBJECT_CLASS_ID; }
  // The force field of the warp placed at node, or null for warps that offer none.
  virtual ForceField* GetForceField(INode* /*node*/) { return nullptr; }
};

// A space warp whose settings live in one parameter block (reference 0) and whose icon is
// the mesh BuildMesh makes. The mesh is rebuilt when the time leaves ivalid.
class SimpleWSMObject2 : public WSMObject {
 public:
  ~SimpleWSMObject2() override;
  int NumRefs() override { return 1; }
  ReferenceTarget* GetReference(int i) override { return i == 0 ? pblock2 : nullptr; }
  RefResult NotifyRefChanged(const Interval& changeInt, ReferenceTarget* hTarget, PartID& partID,
                             RefMessage message, bool propagate) override;

  // Builds `mesh` for t and sets ivalid to the interval over which it holds.
  virtual void BuildMesh(TimeValue t) = 0;
  // The icon at t, rebuilt when needed.
  const Mesh& IconMesh(TimeValue t);

  // The icon's visible edges in the node's colour; picking tests the same edges.
  bool UpdatePerNodeItems(INode* node, RenderItemContainer& items) override;
  int HitTest(TimeValue t, INode* node, int type, int crossing, int flags, const IPoint2& p,
              ViewExp* vpt) override;
  void GetWorldBoundBox(TimeValue t, INode* node, ViewExp* vpt, Box3& box) override;
  void GetLocalBoundBox(TimeValue t, INode* node, ViewExp* vpt, Box3& box) override;

  IParamBlock2* pblock2 = nullptr;
  Mesh mesh;
  Interval ivalid;  // empty: the mesh must be built

 protected:
  void SetReference(int i, ReferenceTarget* target) override;
  // Gives copy (a new object of this class) a copy of this object's block; returns copy.
  ReferenceTarget* CloneBlockInto(SimpleWSMObject2* copy);

 private:
  std::recursive_mutex meshLock_;
};

// Colour of space-warp icons (packed 0xAARRGGBB).
constexpr std::uint32_t kSpaceWarpColour = 0xFF9DB8D9u;

}  // namespace host
