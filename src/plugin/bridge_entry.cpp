// The render engine's entry into the module: the bridge record, exported by name.
#include "plugin/entry.h"
#include "render/render_bridge.h"

CRN_EXPORT const crn::CrnBridge* CRN_GetBridge() { return crn::BridgeRecord(); }
