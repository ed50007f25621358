#pragma once
// The `info` listing of a scene: settings, nodes, classes, meshes and hair parameters that
// differ from their defaults.
#include <iosfwd>
#include <string>

#include "host/interface.h"

namespace crn::scene {

void PrintSceneInfo(const std::string& scenePath, const host::Interface& ip, std::ostream& out);

}  // namespace crn::scene
