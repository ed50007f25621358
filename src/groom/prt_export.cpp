#include "groom/prt_export.h"

#include <cstdio>

#include "dynamics/prt_writer.h"
#include "hair/hair_object.h"
#include "hair/hair_params.h"
#include "host/time.h"

namespace crn {

PrtExportResult ExportPrtSequence(HairObject& hair, const std::string& chosenPath, int first,
                                  int last, const std::function<bool(int, int)>& progress,
                                  bool leadIn) {
  PrtExportResult result;
  const double fraction = double(hair.pblock2->GetFloat(hp::renderPercent, 0)) / 100.0;
  const int total = last >= first ? last - first + 1 : 0;
  StrandSet previous, current;
  bool havePrevious = false;
  if (leadIn && first <= last) {
    hair.BuildRenderStrands(host::FramesToTicks(first - 1), fraction, previous);
    havePrevious = true;
  }
  for (int frame = first; frame <= last; ++frame) {
    hair.BuildRenderStrands(host::FramesToTicks(frame), fraction, current);
    PrtFrame prt;
    prt.strands = &current;
    prt.previousPoints = havePrevious ? &previous.points : nullptr;
    prt.frameSeconds = double(host::GetTicksPerFrame()) / double(host::TICKS_PER_SECOND);
    prt.objectId = 1;
    const std::string path = PrtSequenceFileName(chosenPath, frame);
    std::string error, reason;
    if (!WritePrt(prt, path, error, &reason)) {
      // The reason names the file too: keep only what went wrong.
      if (reason.rfind(path + ": ", 0) == 0) reason.erase(0, path.size() + 2);
      result.error = path + ": " + error + (reason.empty() ? "" : " (" + reason + ")");
      break;
    }
    ++result.written;
    std::swap(previous, current);
    havePrevious = true;
    if (progress && !progress(result.written, total)) {
      result.cancelled = true;
      break;
    }
  }
  return result;
}

std::string PrtExportMessage(int written) {
  char text[64];
  std::snprintf(text, sizeof text, "PRT: %d frame%s written.", written, written == 1 ? "" : "s");
  return text;
}

}  // namespace crn
