#pragma once
// Capturing the generation settings from the hair object's parameter block.
#include <span>
#include <variant>

#include "hair/gen_types.h"
#include "host/param_block.h"

namespace crn {

// Reads every generation parameter at t (narrowing valid) into a settings snapshot. The
// face group is read only when a face node is set and keeps its defaults otherwise; the
// fields derived from the surface are left for the caller.
GenSettings ReadGenSettings(const host::IParamBlock2& pb, host::TimeValue t, host::Interval& valid);

// The settings of a new hair object: every parameter at its default in the parameter table.
const GenSettings& DefaultGenSettings();

// Where each parameter lands in GenSettings; the snapshot is read through this table.
using GenSettingsMember = std::variant<std::int32_t GenSettings::*, float GenSettings::*,
                                       bool GenSettings::*, V3 GenSettings::*>;
struct GenSettingsField {
  short id;
  GenSettingsMember member;
  bool faceGroup = false;
};
std::span<const GenSettingsField> GenSettingsFields();

}  // namespace crn
