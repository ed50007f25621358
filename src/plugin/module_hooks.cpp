#include "plugin/module_hooks.h"

#include "dynamics/fire.h"
#include "dynamics/sim_driver.h"
#include "dynamics/sim_hooks.h"
#include "dynamics/sim_registry.h"
#include "groom/brush_state.h"
#include "groom/hair_display.h"
#include "groom/tools_panel.h"
#include "hair/hair_hooks.h"
#include "hair/hair_object.h"
#include "hair/hair_params.h"
#include "hair/surface.h"
#include "render/live_view.h"

namespace crn {

namespace {

HairObject* AsHair(host::Object& obj) {
  return obj.ClassID() == kHairObjectClassID ? static_cast<HairObject*>(&obj) : nullptr;
}

}  // namespace

void RegisterModuleHooks() {
  HairHooks& hair = GetHairHooks();
  hair.brushActive = &BrushActive;
  hair.discardSimulation = [](std::uint64_t id) { SimRegistry::Get().Erase(id); };
  hair.updatePerNodeItems = &UpdateHairItems;
  hair.hitTest = &HitTestHair;
  hair.simulateToTime = [](HairObject& obj, host::TimeValue t) { return SimulateToTime(obj, t); };
  hair.burnAt = [](HairObject& obj, host::TimeValue t, const GuideSet& guides,
                   std::vector<float>& burn, std::vector<float>& glow) {
    return BurnAt(obj, t, guides, burn, glow);
  };
  hair.clearBurn = &ClearBurn;
  hair.beginEditParams = &BeginToolsPanel;
  hair.endEditParams = &EndToolsPanel;
  SetLiveViewOpener([] { OpenLiveView(); });

  SimHairHooks& sim = GetSimHairHooks();
  sim.objectId = [](host::Object& obj) -> SimObjectId {
    HairObject* h = AsHair(obj);
    return h ? h->ObjectId() : 0;
  };
  sim.growGuides = [](host::Object& obj, host::TimeValue t, GuideSet& out, host::Interval& valid) {
    HairObject* h = AsHair(obj);
    return h && h->GrowGuideSet(t, out, valid);
  };
  sim.surfaceAt = [](host::Object& obj, host::TimeValue t, GuideSet& out) {
    HairObject* h = AsHair(obj);
    if (!h || !h->pblock2) return false;
    std::lock_guard lock(h->EvalLock());
    return ExtractSurface(h->pblock2->GetINode(hp::surface, t), t, out);
  };
  sim.applyPositions = [](host::Object& obj, host::TimeValue t, const std::vector<V3>& positions) {
    if (HairObject* h = AsHair(obj)) h->ApplySimPositions(t, positions);
  };
  sim.applyWetness = [](host::Object& obj, host::TimeValue t, const std::vector<float>& wetness) {
    if (HairObject* h = AsHair(obj)) h->ApplySimWetness(t, wetness);
  };
  sim.holdsPositions = [](host::Object& obj, host::TimeValue t) {
    HairObject* h = AsHair(obj);
    return h && h->HoldsSimPositions(t);
  };
}

}  // namespace crn
