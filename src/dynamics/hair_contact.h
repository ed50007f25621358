#pragma once
// Contact between hair objects: each object's contact radius, and the push its points get
// from the points of other simulated hair objects that grow on other surfaces.
#include <vector>

#include "dynamics/sim_registry.h"
#include "hair/gen_types.h"

namespace crn {

// max(1e-4, hairThick * r0): r0 = half a guide segment, raised for more than 8 guides to
// 0.6 sqrt(A) with A the tips' bounding-box surface per guide.
float HairRadius(const GenSettings& settings, float hairThick, const std::vector<V3>& positions,
                 int P);

// Adds to E (N * P) the push of the neighbour points on own points that are not roots:
// neighbours are other records' live positions, or their stored positions of `frame`; a
// record whose owner grows on `surface` is skipped.
void AddHairHairPush(const SimState& own, const void* surface, const std::vector<V3>& positions,
                     int P, int frame, float frameTime, std::vector<V3>& E);

}  // namespace crn
