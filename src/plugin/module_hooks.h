#pragma once
// Connects the module's parts through their hooks: the hair object reaches grooming,
// display and the simulation, and the simulation reaches hair evaluation, without either
// side including the other.

namespace crn {

// Fills every hook; called once while the module loads, before any object exists.
void RegisterModuleHooks();

}  // namespace crn
