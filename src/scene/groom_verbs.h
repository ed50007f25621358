#pragma once
// Script verbs for grooming and node operations: the brush settings, resetting the groom,
// cloning nodes, rescaling world units and picking node parameters.
#include "scene/script.h"

namespace crn::scene {

void AddGroomVerbs(ScriptRunner& runner);

}  // namespace crn::scene
