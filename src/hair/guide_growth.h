#pragma once
// Growing one guide per surface vertex: lift, comb, flow, direction noise, gravity bend,
// whisker and brow rules, groom edits.
#include "hair/gen_types.h"

namespace crn {

// Fills g.guidePoints (g.guidePointCount = segments + 1 points per vertex) from g's surface,
// its flow fields and g.settings, in parallel. groomEdits (one offset per guide point in the
// vertex frame) is applied when its size is vertex count * guidePointCount.
void GrowGuides(GuideSet& g, const std::vector<V3>& groomEdits);

}  // namespace crn
