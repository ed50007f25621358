#pragma once
// Script verbs for grooming and node operations: the brush settings, resetting the groom,
// cloning nodes, rescaling world units and picking node parameters.
#include "crinel/script.h"

namespace crn::app {

void AddGroomVerbs(ScriptRunner& runner);

}  // namespace crn::app
