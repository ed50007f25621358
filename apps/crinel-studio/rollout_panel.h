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

struct RolloutPanelState {
  PendingPick pick;
  std::string status;  // the last edit's message for the status line
  bool changed = false;  // something was stored this frame
};

// Draws every rollout of block under a header named owner.
void DrawParamBlockRollouts(host::Interface& ip, host::IParamBlock2& block, const std::string& owner,
                            RolloutPanelState& state);

// Finishes a pending pick with node (null clears); returns the message of a refused pick.
std::string CompletePick(host::Interface& ip, RolloutPanelState& state, host::INode* node);

}  // namespace crn::studio
