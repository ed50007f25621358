#pragma once
// Every call a script may make, as `crinel script` offers them.
#include "scene/script.h"

namespace crn::scene {

// The host calls, crinelOps, the viewport, grooming, simulation, Tools panel and live view calls.
void AddAllVerbs(ScriptRunner& runner);

}  // namespace crn::scene
