#include "plugin/module_hooks.h"

#include "dynamics/sim_hooks.h"
#include "dynamics/sim_registry.h"
#include "groom/brush_state.h"
#include "groom/hair_display.h"
#include "hair/hair_hooks.h"
#include "hair/hair_object.h"

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

  SimHairHooks& sim = GetSimHairHooks();
  sim.objectId = [](host::Object& obj) -> SimObjectId {
    HairObject* h = AsHair(obj);
    return h ? h->ObjectId() : 0;
  };
  sim.growGuides = [](host::Object& obj, host::TimeValue t, GuideSet& out, host::Interval& valid) {
    HairObject* h = AsHair(obj);
    return h && h->GrowGuideSet(t, out, valid);
  };
}

}  // namespace crn
