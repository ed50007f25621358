#include "scene/viewport_items.h"

namespace crn::scene {

using namespace host;

RenderItemContainer* ViewportItemCache::ItemsOf(INode& node, Object& obj) {
  Entry& e = entries_[&node];
  if (e.object != &obj) {
    e.object = &obj;
    e.items.ClearAllRenderItems();
    e.has = obj.UpdatePerNodeItems(&node, e.items);
  }
  return e.has ? &e.items : nullptr;
}

}  // namespace crn::scene
