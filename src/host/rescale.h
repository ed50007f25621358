#pragma once
// Rescaling the scene's world units: node positions, geometry and every object's own
// length-valued settings are multiplied by one factor.
#include "host/interface.h"

namespace host {

// Scales every node's position (constant and keys) and calls RescaleWorldUnits(f) once on
// every object (the work flag A_WORK1 marks objects already done in this pass).
void RescaleSceneWorldUnits(Interface& ip, float f);

}  // namespace host
