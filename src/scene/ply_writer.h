#pragma once
// Binary PLY output of a host mesh with per-vertex colour (map channel 0) and texture
// coordinates s, t (map channel 1).
#include <string>

#include "host/mesh.h"

namespace crn::scene {

// Writes mesh to path (binary little-endian PLY) through a temporary file beside it. Colours
// and texture coordinates are written when their channel holds one map vertex per mesh
// vertex with the mesh's own faces. Returns false with error on failure.
bool WritePly(const std::string& path, const host::Mesh& mesh, std::string& error);

}  // namespace crn::scene
