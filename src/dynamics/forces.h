#pragma once
// The hair object's `forces` list: wind space warps become wind records (evaluated by the
// step at every substep); other space warps with a force field are sampled once per frame at
// the positions before the step.
#include <vector>

#include "host/time.h"
#include "kernels/sim_types.h"

namespace host {
class Object;
}

namespace crn {

// Walks `forces` in list order: appends a record for every wind and adds every other space
// warp's force at the points (velocity 0, converted from per tick^2 to per second^2) to E.
// Nodes that are neither are skipped.
void AddForceFields(host::Object& hair, host::TimeValue t, const std::vector<hsim::F3>& positions,
                    std::vector<hsim::Wind>& winds, std::vector<hsim::F3>& E);

}  // namespace crn
