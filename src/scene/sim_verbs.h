#pragma once
// Script calls for the simulation and the scene's animation: range simulation, reset, cache
// files, the status line, the play state and moving nodes at the current time.
#include "scene/script.h"

namespace crn::scene {

// simulateRange NODE, simReset NODE, simSave NODE PATH, simLoad NODE PATH, simStatus NODE,
// play on|off, move NODE x y z, rotate NODE x y z.
void AddSimVerbs(ScriptRunner& runner);

}  // namespace crn::scene
