#pragma once
// Wind shadow: hair sheltered by hair in front of it (seen from the wind) feels less wind.
#include <vector>

#include "dynamics/guide_solver.h"
#include "kernels/sim_types.h"

namespace crn {

// One factor per point (1 = fully exposed), or empty when no wind has a shadow. Points fall
// into columns along the first wind's direction (directional) or +X (other types); in each
// column the j-th point from the front gets 1 - (1 - e^(-0.15 j)) * the largest shadow.
std::vector<float> ComputeWindShadow(const std::vector<hsim::F3>& positions,
                                     const std::vector<float>& restLengths,
                                     const std::vector<hsim::Wind>& winds);

// The same into scratch.shadow, with scratch's buffers.
void ComputeWindShadow(const std::vector<hsim::F3>& positions, const std::vector<float>& restLengths,
                       const std::vector<hsim::Wind>& winds, SolverScratch& scratch);

}  // namespace crn
