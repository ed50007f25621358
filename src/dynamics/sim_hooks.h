#pragma once
// How the simulation reaches the hair objects it simulates without knowing their class: the
// module fills these hooks when it loads. A hair object is handed over as the host object
// it is.
#include <vector>

#include "dynamics/sim_registry.h"
#include "hair/gen_types.h"
#include "host/time.h"

namespace host {
class Object;
}

namespace crn {

struct SimHairHooks {
  // The object's id in the simulation registry; 0 for an object that is not hair.
  SimObjectId (*objectId)(host::Object& hair) = nullptr;
  // Grows the object's groomed guides at t on its surface as it is deformed at t, touching
  // none of the object's caches, and narrows valid. False when the object is not hair or its
  // surface cannot be evaluated.
  bool (*growGuides)(host::Object& hair, host::TimeValue t, GuideSet& out,
                     host::Interval& valid) = nullptr;
  // The surface fields (vertices, normals, triangles, ...) of the object's surface at t; false
  // when it cannot be evaluated.
  bool (*surfaceAt)(host::Object& hair, host::TimeValue t, GuideSet& out) = nullptr;
  // Hands N * P simulated guide points for time t to the object (ApplySimPositions).
  void (*applyPositions)(host::Object& hair, host::TimeValue t,
                         const std::vector<V3>& positions) = nullptr;
  // Hands the per-guide wetness that goes with the positions of t (empty: dry).
  void (*applyWetness)(host::Object& hair, host::TimeValue t,
                       const std::vector<float>& wetness) = nullptr;
  // True when the object holds simulated positions for exactly t.
  bool (*holdsPositions)(host::Object& hair, host::TimeValue t) = nullptr;
};

SimHairHooks& GetSimHairHooks();

}  // namespace crn
