#pragma once
// The wind space warp: animatable wind settings that become an hsim::Wind record at any
// time (the simulation evaluates it per point and substep), a force field that offers the
// same wind to any consumer of space-warp forces, and an icon whose shape shows the type.
#include <memory>
#include <mutex>

#include "host/class_desc.h"
#include "host/command_mode.h"
#include "host/wsm.h"
#include "kernels/sim_types.h"

namespace crn {

constexpr host::Class_ID kHairWindClassID{0xABF700AD, 0xD97FCF8A};
constexpr host::BlockID kWindParamsBlockId = 0;

// Parameter ids of the wind's block "params".
namespace wp {
enum ParamId : short {
  windType = 0,
  strength = 1,
  gustAmp = 2,
  gustFreq = 3,
  turbulence = 4,
  turbScale = 5,
  turbSpeed = 6,
  range = 7,
  vortexPull = 8,
  seed = 9,
  iconSize = 10,
  octaves = 11,
  curl = 12,
  gustTravel = 13,
  flutter = 14,
  shadow = 15,
  coupling = 16,
};
}  // namespace wp

class HairWindObject : public host::SimpleWSMObject2 {
 public:
  HairWindObject();
  host::Class_ID ClassID() const override { return kHairWindClassID; }
  std::string GetObjectName() const override { return "Crinel Wind"; }

  host::ForceField* GetForceField(host::INode* node) override;
  // The icon of windType at iconSize (boxes and cones with every edge visible).
  void BuildMesh(host::TimeValue t) override;
  host::MouseCallBack* GetCreateMouseCallBack() override;
  // A new wind with its own copy of the block.
  host::ReferenceTarget* Clone(host::RemapDir& remap) override;
  // Scales turbScale, range, iconSize and gustTravel by f, once per rescale.
  void RescaleWorldUnits(float f) override;
};

// The record of the wind at node (whose object is a HairWindObject) at host time t.
hsim::Wind MakeWindRecord(host::INode* node, host::TimeValue t);
hsim::Wind MakeWindRecord(HairWindObject& wind, host::INode* node, host::TimeValue t);

// The force field of one wind node: WindAccel of the record at t for a particle at rest, with
// no flutter and no shadow, per tick squared. Thread-safe: the record is rebuilt and copied
// under the field's lock, the wind is evaluated outside it.
class HairWindField : public host::ForceField {
 public:
  HairWindField(HairWindObject* wind, host::INode* node) : wind_(wind), node_(node) {}
  host::Point3 Force(host::TimeValue t, const host::Point3& pos, const host::Point3& vel,
                     int index) override;

 private:
  HairWindObject* wind_;
  host::INode* node_;
  std::mutex mutex_;
  bool cached_ = false;
  host::TimeValue cachedTime_ = 0;
  hsim::Wind record_;
};

class HairWindDesc : public host::ClassDesc2 {
 public:
  void* Create(bool) override { return new HairWindObject(); }
  const char* ClassName() override;
  const char* NonLocalizedClassName() override { return "Crinel Wind"; }
  host::SClass_ID SuperClassID() override { return host::WSM_OBJECT_CLASS_ID; }
  host::Class_ID ClassID() override { return kHairWindClassID; }
  const char* Category() override;
  const char* InternalName() override { return "CrinelWind"; }
  const char* GetRsrcString(int id) override;
};

HairWindDesc* GetHairWindDesc();
// The wind's parameter block descriptor "params" (one rollout "Crinel Wind").
std::unique_ptr<host::ParamBlockDesc2> MakeWindParamBlockDesc(host::ClassDesc2* cd);

}  // namespace crn
