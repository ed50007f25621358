#pragma once
// The rollouts of a parameter block as an interface draws them: one rollout per rollout
// descriptor, in order, each with the controls of the parameters listed on it. Built from the
// descriptors alone, so every class with a parameter block gets its panel without UI code of
// its own; edits go through the block as one undo step.
#include <string>
#include <vector>

#include "host/param_block.h"

namespace crn::scene {

enum class ControlKind {
  FloatSpinner,
  IntSpinner,
  Checkbox,
  DropDown,
  ColourSwatch,
  MapSlot,
  NodePicker,  // one node, picked in the viewport or the node list
  NodeList,    // a list of nodes; a pick appends
  Text,
  FileName,
};

struct ControlModel {
  host::ParamID id = -1;
  ControlKind kind = ControlKind::FloatSpinner;
  std::string name;   // the parameter's internal name
  std::string label;  // the text beside the control
  bool hasRange = false;
  double min = 0, max = 0;
  float step = 0;                  // spinner step (0: the control's own)
  bool worldUnits = false;
  bool animatable = false;
  std::vector<std::string> items;  // drop-down items in index order
  std::string prompt;              // pick-button prompt
};

struct RolloutModel {
  host::MapID map = 0;
  std::string title;
  bool openByDefault = true;
  std::vector<ControlModel> controls;
};

// Every rollout of the block's descriptor in the descriptor's order. Parameters whose rollout
// the descriptor does not list have no control (they are kept for scripts and files).
std::vector<RolloutModel> BuildRollouts(const host::ParamBlockDesc2& desc);

// The control for one parameter.
ControlModel ControlFor(const host::ParamBlockDesc2& desc, const host::ParamDef& def);

// The outcome of an edit made through a control.
struct ControlEdit {
  host::SetStatus status = host::SetStatus::Ok;
  std::string message;  // empty when the value was stored as given
  bool Stored() const {
    return status == host::SetStatus::Ok || status == host::SetStatus::Clamped;
  }
};

// Name of the undo step of a control edit (the same as a script's `set`).
inline constexpr const char* kParameterChangeStep = "Parameter change";

// Stores v in parameter id at t as one undo step; a refused or mistyped value leaves the
// block and the undo stack as they were. A node picked into a node list is appended.
ControlEdit ApplyControlEdit(host::IParamBlock2& block, host::ParamID id, host::TimeValue t,
                             const host::PBValue& v);

}  // namespace crn::scene
