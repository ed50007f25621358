#pragma once
// The hair object's dynamics settings as the simulation reads them from its parameter block.
#include "host/param_block.h"
#include "host/time.h"
#include "kernels/sim_types.h"

namespace host {
class Object;
}

namespace crn {

// The parameter block of a hair object (null for other objects).
host::IParamBlock2* ParamsOf(host::Object& hair);

// Metres per scene unit; 0.0254 when the unit scale is not positive.
float MetresPerUnit();
// Gravity in scene units per second squared.
inline float GravityAccel() { return 9.81f / MetresPerUnit(); }

// The step parameters of the frame ending at host time t (windCount 0: the caller sets it).
hsim::Params MakeParams(const host::IParamBlock2& pb, host::TimeValue t);

// The dynamics switches read once per frame.
struct DynSettings {
  int mode = 0, start = 0;
  bool interactive = false, collide = false, hairHair = false;
  float radius = 0, selfVol = 0, hairThick = 1;
};
DynSettings ReadDynSettings(const host::IParamBlock2& pb, host::TimeValue t);

}  // namespace crn
