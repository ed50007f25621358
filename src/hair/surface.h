#pragma once
// Reading the surface node into world space: triangles, material ids, corner UVW, welded
// vertex normals and tangents, and generated UVs.
#include "hair/gen_types.h"
#include "host/inode.h"

namespace crn {

// Fills the surface fields of g (vertices, normals, tangents, triangles, cornerUVW,
// materialIds) from node at t; guide fields are left alone. False (g's surface emptied)
// when the node is missing, does not convert to a triangle mesh at t, or has no triangles.
bool ExtractSurface(host::INode* node, host::TimeValue t, GuideSet& g);
// The same from a mesh in object space and its object-to-world transform (p' = p * tm).
bool ExtractSurface(const host::Mesh& mesh, const host::Matrix3& tm, GuideSet& g);

// Area-weighted vertex normals and UV tangents, summed over coincident (welded) vertices.
void ComputeNormalsTangents(GuideSet& g);

// Replaces cornerUVW by generated UVs when autoUV asks for them (1 spherical, 2 cylindrical,
// 3 box) or, for autoUV 0, when some corner has no mesh UVW (then spherical).
void GenerateUVs(GuideSet& g, int autoUV);

// True when every triangle index names a vertex of g.
bool TrianglesValid(const GuideSet& g);

// World bounds of the vertices.
void SurfaceBounds(const GuideSet& g, V3& bmin, V3& bmax);

}  // namespace crn
