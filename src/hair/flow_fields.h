#pragma once
// Per-vertex comb angles, length factors and thinness computed from the rest-frame surface.
#include "hair/gen_types.h"

namespace crn {

struct FlowFields {
  std::vector<float> combAngles;     // per vertex (flowMode 1 and 2), else empty
  std::vector<float> lengthFactors;  // per vertex when smallParts > 0, else empty
  std::vector<float> thinness;       // per vertex when smallParts > 0 or barePalms, else empty
};

// rest: the rest-frame surface with normals and tangents. Uses s.flowMode, s.faceOn,
// s.facePos, s.smallParts, s.barePalms, s.length.
FlowFields ComputeFlowFields(const GuideSet& rest, const GenSettings& s);

}  // namespace crn
