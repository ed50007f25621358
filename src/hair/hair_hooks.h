#pragma once
// What the hair object asks of the parts of the module that use it. The hair object knows
// nothing of grooming, dynamics or display; the module fills these hooks when it loads, and
// an empty hook means the feature is absent.
#include <cstdint>

#include "host/time.h"

namespace host {
class INode;
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
  // The object's viewport render items.
  bool (*updatePerNodeItems)(HairObject& obj, host::INode* node,
                             host::RenderItemContainer& items) = nullptr;
  // Picking the object in a viewport: 1 on a hit.
  int (*hitTest)(HairObject& obj, host::TimeValue t, host::INode* node, int type, int crossing,
                 int flags, const host::IPoint2& p, host::ViewExp* vpt) = nullptr;
};

HairHooks& GetHairHooks();

}  // namespace crn
