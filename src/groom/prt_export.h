#pragma once
// Exporting a hair object's render strands over the animation range as a numbered sequence
// of PRT files, for the Tools panel and the command line.
#include <functional>
#include <string>

namespace crn {

class HairObject;

struct PrtExportResult {
  int written = 0;        // files written
  bool cancelled = false;
  std::string error;      // why the export stopped early: the failing file and the reason
};

// For every frame from first to last: the render strands with the renderPercent share (read at
// time 0), the previous frame's points for velocities when their count matches, written to
// PrtSequenceFileName(chosenPath, frame). Stops at the first file that cannot be written or
// when progress (files so far, total frames) returns false. With leadIn, the first frame takes
// its velocities from frame first - 1 (built, not written), as it would in a longer sequence.
PrtExportResult ExportPrtSequence(HairObject& hair, const std::string& chosenPath, int first,
                                  int last, const std::function<bool(int, int)>& progress,
                                  bool leadIn = false);

// The panel's message after an export: "PRT: %d frame%s written.".
std::string PrtExportMessage(int written);

}  // namespace crn
