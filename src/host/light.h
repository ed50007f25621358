#pragma once
// Lights: omni, spot, directional and ambient. A light shines along its node's local -Z
// axis.
#include "host/object.h"

namespace host {

enum LightType { OMNI_LGT = 0, SPOT_LGT = 1, DIRECT_LGT = 2, AMBIENT_LGT = 3 };

struct LightState {
  int type = OMNI_LGT;
  Color color{1, 1, 1};
  float intens = 1.0f;
  float hotsize = 43.0f;   // degrees, the full cone of full light
  float fallsize = 45.0f;  // degrees, the full cone beyond which no light falls
  bool on = true;
  bool shadow = true;
};

class LightObject : public Object {
 public:
  SClass_ID SuperClassID() const override { return LIGHT_CLASS_ID; }
  // The light at t; narrows valid. REF_SUCCEED when the light could be evaluated.
  virtual RefResult EvalLightState(TimeValue t, Interval& valid, LightState* ls) = 0;
};

// The host's general light: any of the four types.
class GenLight : public LightObject {
 public:
  Class_ID ClassID() const override { return genLightClassID; }
  std::string GetObjectName() const override;
  RefResult EvalLightState(TimeValue, Interval&, LightState* ls) override {
    *ls = state;
    return REF_SUCCEED;
  }
  ReferenceTarget* Clone(RemapDir&) override;
  IOResult Save(ISave* isave) override;
  IOResult Load(ILoad* iload) override;

  LightState state;
};

// Type names as scene files write them: omni, spot, directional, ambient.
const char* LightTypeName(int type);
// The type of a name, or -1.
int LightTypeFromName(const std::string& name);

}  // namespace host
