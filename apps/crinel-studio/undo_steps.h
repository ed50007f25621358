#pragma once
// Edits of the node list and the renderer settings as named undo steps, one per edit, the
// way parameter edits are.
#include <string>

#include "host/inode.h"
#include "render/render_settings.h"

namespace crn::studio {

// The node list's H box: step "Hide NODE" or "Unhide NODE".
void SetNodeHidden(host::INode& node, bool hidden);
// The node list's R box: step "Renderable NODE" or "Not renderable NODE".
void SetNodeRenderable(host::INode& node, bool renderable);

// The renderer settings were changed from before to what they are now (setting names the
// control): step "Renderer setting SETTING"; nothing when they did not change.
void RecordRenderSettingsEdit(const RenderSettings& before, const std::string& setting);

}  // namespace crn::studio
