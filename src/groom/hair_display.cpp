// The hair object's viewport render items: the strand lines and the icon.
#include "groom/hair_display.h"

#include <cmath>
#include <mutex>

#include "groom/hair_icon.h"
#include "hair/hair_object.h"
#include "host/inode.h"

namespace crn {

using namespace host;

HairDisplayItems::HairDisplayItems() : line(new HairLineItem), mark(new HairMarkItem) {
  line->AddRef();
  mark->AddRef();
}

HairDisplayItems::~HairDisplayItems() {
  // Containers that still hold the items keep them alive, but not bound to the object.
  line->SetOwner(nullptr, nullptr);
  mark->SetOwner(nullptr, nullptr);
  line->Release();
  mark->Release();
}

void HairMarkItem::Realize(DrawContext& dc) {
  if (!object_) return;
  Box3 world;
  object_->GetWorldBoundBox(dc.GetTime(), node_, dc.GetViewExp(), world);
  const float s = HairIconSize(world);
  if (built_ && std::fabs(s - size_) < 0.001f * s) return;
  std::vector<Point3> verts;
  BuildHairIcon(s, verts);
  const std::vector<std::uint32_t> colours(verts.size(), kIconColour);
  positions_.Initialize(sizeof(Point3), verts.size(), verts.data());
  colours_.Initialize(sizeof(std::uint32_t), colours.size(), colours.data());
  material_.Initialize();
  vertexCount_ = verts.size();
  size_ = s;
  built_ = true;
}

void HairMarkItem::Display(DrawContext& dc) {
  if (vertexCount_ < 2) return;
  material_.Activate(dc);
  for (int pass = 0; pass < material_.GetPassCount(dc); ++pass) {
    material_.ActivatePass(dc, pass);
    dc.SetStreamSource(VertexColorMaterialHandle::kPositionStream, positions_);
    dc.SetStreamSource(VertexColorMaterialHandle::kColourStream, colours_);
    dc.DrawPrimitive(PrimitiveLineList, 0, vertexCount_ / 2);
  }
  material_.Terminate(dc);
}

HairDisplayItems* DisplayItemsOf(HairObject& obj) {
  return static_cast<HairDisplayItems*>(obj.displayData.get());
}

bool UpdateHairItems(HairObject& obj, INode* node, RenderItemContainer& items) {
  if (!obj.displayData) obj.displayData = std::make_shared<HairDisplayItems>();
  HairDisplayItems& d = *DisplayItemsOf(obj);
  d.line->SetOwner(&obj, node);
  d.mark->SetOwner(&obj, node);
  d.line->ResetBuiltVersion();
  for (ICustomRenderItem* item : {static_cast<ICustomRenderItem*>(d.line),
                                  static_cast<ICustomRenderItem*>(d.mark)}) {
    CustomRenderItemHandle h;
    h.Initialize();
    h.SetCustomImplementation(item);
    items.AddRenderItem(h);
  }
  return true;
}

}  // namespace crn
