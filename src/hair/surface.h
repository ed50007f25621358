#pragma once
// Reading the surface node into world space: triangles, material ids, corner UVW and the
// welded vertex normals and tangents.
#include "hair/gen_types.h"
#include "host/inode.h"

namespace crn {

// Fills the surface fields of g (vertices, normals, tangents, triangles, cornerUVW,
// materialIds) from node at t; guide fields are left alone. False (g's surface emptied)
// when the node is missing, does not convert to a triangle mesh at t, or has no triangles.
bool ExtractSurface(host::INode* node, host::TimeValue t, GuideSet& g);
// The same from a mesh in object space and its object-to-world transform (p' = p * tm).
bool ExtractSurface(const host::Mesh& mesh, const host::Matrix3& tm, GuideSet& g);

}  // namespace crn
