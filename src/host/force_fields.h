#pragma once
// The host's own force-field space warps: a uniform gravity along the icon's arrow (the
// node's local -Z axis) and a velocity drag. Both are simple space warps with a parameter
// block, listed in the class directory as "Gravity" and "Drag".
#include "host/wsm.h"

namespace host {

constexpr Class_ID gravityClassID{0x0E523C61, 0};
constexpr Class_ID dragClassID{0x6A2B9F1C, 0};

// Parameter ids of the two blocks.
namespace gravity_params {
enum : ParamID { strength = 0, iconSize = 1 };
}
namespace drag_params {
enum : ParamID { damping = 0, iconSize = 1 };
}

// Gravity: acceleration strength x 9.81 m/s^2 (in scene units) along the node's -Z axis.
class GravityObject : public SimpleWSMObject2 {
 public:
  GravityObject();
  Class_ID ClassID() const override { return gravityClassID; }
  std::string GetObjectName() const override { return "Gravity"; }
  ForceField* GetForceField(INode* node) override;
  void BuildMesh(TimeValue t) override;
  ReferenceTarget* Clone(RemapDir& remap) override;
};

// Drag: acceleration -damping x velocity (damping per second); nothing on still particles.
class DragObject : public SimpleWSMObject2 {
 public:
  DragObject();
  Class_ID ClassID() const override { return dragClassID; }
  std::string GetObjectName() const override { return "Drag"; }
  ForceField* GetForceField(INode* node) override;
  void BuildMesh(TimeValue t) override;
  ReferenceTarget* Clone(RemapDir& remap) override;
};

}  // namespace host
