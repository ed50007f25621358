// The hair object's viewport side: its render items, bounding boxes, icon item and
// creation click.
#include "groom/hair_display.h"

#include <cmath>
#include <mutex>

#include "groom/hair_icon.h"
#include "hair/hair_object.h"
#include "host/command_mode.h"
#include "host/inode.h"

namespace crn {

using namespace host;

namespace {

Box3 TransformedBox(const Box3& b, const Matrix3* tm) {
  Box3 out;
  for (int i = 0; i < 8; ++i) {
    const Point3 c((i & 1) ? b.pmax.x : b.pmin.x, (i & 2) ? b.pmax.y : b.pmin.y,
                   (i & 4) ? b.pmax.z : b.pmin.z);
    out += tm ? tm->PointTransform(c) : c;
  }
  return out;
}

Box3 Cube(const Point3& centre, float half) {
  Box3 b;
  b += centre - Point3(half, half, half);
  b += centre + Point3(half, half, half);
  return b;
}

// Creation: the object sits at the world origin; the first press ends creation.
class HairCreateCB : public CreateMouseCallBack {
 public:
  using CreateMouseCallBack::proc;
  int proc(ViewExp*, int msg, int point, int, IPoint2, Matrix3& mat) override {
    switch (msg) {
      case MOUSE_POINT:
        if (point != 0) return CREATE_CONTINUE;
        mat.IdentityMatrix();
        return CREATE_STOP;
      case MOUSE_MOVE:
        mat.IdentityMatrix();
        return CREATE_CONTINUE;
      case MOUSE_ABORT:
        return CREATE_ABORT;
      default:
        return CREATE_CONTINUE;
    }
  }
};

}  // namespace

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

bool HairObject::UpdatePerNodeItems(INode* node, RenderItemContainer& items) {
  if (!displayItems) displayItems = std::make_shared<HairDisplayItems>();
  HairDisplayItems& d = *displayItems;
  d.line->SetOwner(this, node);
  d.mark->SetOwner(this, node);
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

void HairObject::GetWorldBoundBox(TimeValue t, INode* node, ViewExp*, Box3& box) {
  std::lock_guard lock(EvalLock());
  BuildViewportStrands(t);
  box = StrandBounds();
  if (box.IsEmpty()) box = Cube(node ? node->GetNodeTM(t).GetTrans() : Point3(), 5.f);
}

void HairObject::GetLocalBoundBox(TimeValue t, INode* node, ViewExp* vpt, Box3& box) {
  Box3 world;
  GetWorldBoundBox(t, node, vpt, world);
  const Matrix3 inv = Inverse(node ? node->GetObjectTM(t) : Matrix3());
  box = TransformedBox(world, &inv);
}

void HairObject::GetDeformBBox(TimeValue t, Box3& box, const Matrix3* tm) {
  std::lock_guard lock(EvalLock());
  BuildViewportStrands(t);
  const Box3& strands = StrandBounds();
  box = strands.IsEmpty() ? Cube(Point3(), 5.f) : TransformedBox(strands, tm);
}

MouseCallBack* HairObject::GetCreateMouseCallBack() {
  static HairCreateCB createCB;
  return &createCB;
}

}  // namespace crn
