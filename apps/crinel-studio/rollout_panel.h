#pragma once
// Draws a parameter block's rollouts (built from its descriptor) with ImGui controls; each
// finished edit is stored as one undo step.
#include <string>

#include "host/interface.h"
#include "scene/rollout_model.h"

namespace crn::studio {

// A node-picker waiting for the user to pick a node in the node list or the viewport.
struct PendingPick {
  host::IParamBlock2* block = nullptr;
  host::ParamID id = -1;
  std::string label;
  bool Active() const { return block != nullptr; }
};

// A map slot whose button was pressed: a map is chosen for it after the frame.
struct PendingMapSlot {
  host::IParamBlock2* block = nullptr;
  host::ParamID id = -1;
  bool Active() const { return block != nullptr; }
};

struct RolloutPanelState {
  PendingPick pick;
  PendingMapSlot map;
  std::string status;  // the last edit's message for the status line
  bool changed = false;  // something was stored this frame
};

// Draws every rollout of block under a header named owner.
void DrawParamBlockRollouts(host::Interface& ip, host::IParamBlock2& block, const std::string& owner,
                            RolloutPanelState& state);

// Loads the image file at path as a bitmap map of the scene and puts it in the slot (null
// path: clears the slot), one undo step. Returns the error (naming the file) or "".
std::string AssignMap(host::Interface& ip, host::IParamBlock2& block, host::ParamID id, const std::string* path);

// Finishes a pending pick with node (null clears); returns the message of a refused pick.
std::string CompletePick(host::Interface& ip, RolloutPanelState& state, host::INode* node);

}  // namespace crn::studio
