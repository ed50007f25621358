#pragma once
// Features found on the surface for the face rules: the nose tip and the eyes.
#include "hair/gen_types.h"

namespace crn {

// Sets s.noseTipZ / s.noseTipY from the vertices of g (noseTipZ = -1e9 when none qualifies
// or the face is off).
void FindNoseTip(const GuideSet& g, GenSettings& s);

// Small, roundish connected elements in the upper part of the rest surface.
void FindEyes(const GuideSet& rest, std::vector<V3>& centres, std::vector<float>& radii);
// The same, also flagging per triangle (1) the triangles that belong to a detected eye.
void FindEyes(const GuideSet& rest, std::vector<V3>& centres, std::vector<float>& radii,
              std::vector<char>& eyeTriangles);

}  // namespace crn
