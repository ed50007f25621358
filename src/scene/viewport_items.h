#pragma once
// The render items of each node, asked of its object once and kept between redraws, as a
// host keeps them until the node changes: an item rebuilds its buffers only when what it
// draws changed, not on every redraw.
#include <unordered_map>

#include "host/interface.h"
#include "host/render_items.h"

namespace crn::scene {

class ViewportItemCache {
 public:
  // The node's items (asked of obj, the node's evaluated object, when the node is new here or
  // its object changed); null when the object has none.
  host::RenderItemContainer* ItemsOf(host::INode& node, host::Object& obj);
  // Forgets every node's items (call when the scene's nodes go, before new ones come).
  void Clear() { entries_.clear(); }

 private:
  struct Entry {
    host::Object* object = nullptr;
    bool has = false;
    host::RenderItemContainer items;
  };
  std::unordered_map<host::INode*, Entry> entries_;
};

}  // namespace crn::scene
