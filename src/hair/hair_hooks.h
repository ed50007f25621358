#pragma once
// What the hair object asks of the parts of the module that use it. The hair object knows
// nothing of grooming, dynamics or display; the module fills these hooks when it loads, and
// an empty hook means the feature is absent.
#include <cstdint>
#include <vector>

#include "hair/gen_types.h"
#include "host/time.h"

namespace host {
class INode;
class Interface;
class RenderItemContainer;
class ViewExp;
struct IPoint2;
}  // namespace host

namespace crn {

class HairObject;

struct HairHooks {
  // A brush stroke is running: viewport builds cap their strands and clump centres.
  bool (*brushActive)() = nullptr;
  // Erases the simulation record of the object with this id.
  void (*discardSimulation)(std::uint64_t objectId) = nullptr;
  // Guide evaluation with dynamics on: the simulation driver brings the object to t and
  // hands it the simulated positions of t (ApplySimPositions); false when it has none.
  bool (*simulateToTime)(HairObject& obj, host::TimeValue t) = nullptr;
  // The fire's per-vertex burn and glow of the frame at t for the guides' surface (both
  // empty without fire); runs under the object's lock.
  bool (*burnAt)(HairObject& obj, host::TimeValue t, const GuideSet& guides,
                 std::vector<float>& burn, std::vector<float>& glow) = nullptr;
  // Drops the burn and glow caches of the object with this id.
  void (*clearBurn)(std::uint64_t objectId) = nullptr;
  // The object's viewport render items.
  bool (*updatePerNodeItems)(HairObject& obj, host::INode* node,
                             host::RenderItemContainer& items) = nullptr;
  // Picking the object in a viewport: 1 on a hit.
  int (*hitTest)(HairObject& obj, host::TimeValue t, host::INode* node, int type, int crossing,
                 int flags, const host::IPoint2& p, host::ViewExp* vpt) = nullptr;
  // The object's panels open (close) in the modify panel: its tools rollout is added after
  // the parameter rollouts (removed).
  void (*beginEditParams)(HairObject& obj, host::Interface* ip) = nullptr;
  void (*endEditParams)(HairObject& obj, host::Interface* ip) = nullptr;
};

HairHooks& GetHairHooks();

}  // namespace crn
