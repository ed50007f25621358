#pragma once
// Process-wide brushing state shared by the brush mode, the script interface and strand
// generation.

namespace crn {

// A brush stroke is in progress: viewport builds cap their strands and clump centres.
bool BrushActive();
void SetBrushActive(bool on);

}  // namespace crn
