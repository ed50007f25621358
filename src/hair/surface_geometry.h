#pragma once
// What generation derives from a surface already in world space: welded vertex normals and
// tangents, generated UVs, bounds.
#include "hair/gen_types.h"

namespace crn {

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
