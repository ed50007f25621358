#pragma once
// Capturing the generation settings from the hair object's parameter block.
#include "hair/gen_types.h"
#include "host/param_block.h"

namespace crn {

// Reads every generation parameter at t (narrowing valid) into a settings snapshot. The
// face group is read only when a face node is set; derived and per-build fields are left at
// their defaults for the caller to fill.
GenSettings ReadGenSettings(const host::IParamBlock2& pb, host::TimeValue t, host::Interval& valid);

}  // namespace crn
