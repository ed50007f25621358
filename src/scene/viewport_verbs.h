#pragma once
// Script calls for the active viewport: choosing the view and its size, and drawing it.
#include "scene/script.h"

namespace crn::scene {

// viewport front|top|left|persp, viewportCamera NODE, viewportSize W H, snapshot "PATH".
void AddViewportVerbs(ScriptRunner& runner);

}  // namespace crn::scene
