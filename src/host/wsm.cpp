#include "host/wsm.h"

#include "host/inode.h"

namespace host {

namespace {

// The visible edges of a mesh as vertex pairs.
std::vector<Point3> EdgeList(const Mesh& m) {
  std::vector<Point3> lines;
  for (const Face& f : m.faces) {
    if (f.v[0] >= m.verts.size() || f.v[1] >= m.verts.size() || f.v[2] >= m.verts.size()) continue;
    for (int e = 0; e < 3; ++e) {
      if (!(f.edgeVis & (1 << e))) continue;
      lines.push_back(m.verts[f.v[e]]);
      lines.push_back(m.verts[f.v[(e + 1) % 3]]);
    }
  }
  return lines;
}

// Draws the icon of one space warp; rebuilt from the object at every realisation.
class IconItem : public ICustomRenderItem {
 public:
  explicit IconItem(SimpleWSMObject2* obj) : obj_(obj) {}
  void Realize(DrawContext& dc) override {
    const std::vector<Point3> lines = EdgeList(obj_->IconMesh(dc.GetTime()));
    const std::vector<std::uint32_t> colours(lines.size(), kSpaceWarpColour);
    positions_.Initialize(sizeof(Point3), lines.size(), lines.data());
    colours_.Initialize(sizeof(std::uint32_t), colours.size(), colours.data());
    count_ = lines.size();
  }
  void Display(DrawContext& dc) override {
    if (count_ < 2) return;
    dc.SetStreamSource(VertexColorMaterialHandle::kPositionStream, positions_);
    dc.SetStreamSource(VertexColorMaterialHandle::kColourStream, colours_);
    dc.DrawPrimitive(PrimitiveLineList, 0, count_ / 2);
  }
  std::size_t GetPrimitiveCount() const override { return count_ / 2; }

 private:
  SimpleWSMObject2* obj_;
  VertexBufferHandle positions_, colours_;
  std::size_t count_ = 0;
};

}  // namespace

SimpleWSMObject2::~SimpleWSMObject2() {
  IParamBlock2* pb = pblock2;
  DeleteAllRefsFromMe();
  delete pb;  // the object owns its block
}

void SimpleWSMObject2::SetReference(int i, ReferenceTarget* target) {
  if (i == 0) pblock2 = static_cast<IParamBlock2*>(target);
}

RefResult SimpleWSMObject2::NotifyRefChanged(const Interval&, ReferenceTarget* hTarget,
                                             PartID& partID, RefMessage message, bool) {
  if (message == REFMSG_TARGET_DELETED && hTarget == pblock2) {
    pblock2 = nullptr;
    return REF_SUCCEED;
  }
  if (hTarget == pblock2 && message == REFMSG_CHANGE) {
    ivalid.SetEmpty();
    NotifyDependents(FOREVER, partID, message);
  }
  return REF_SUCCEED;
}

ReferenceTarget* SimpleWSMObject2::CloneBlockInto(SimpleWSMObject2* copy) {
  IParamBlock2* fresh = copy->pblock2;
  copy->ReplaceReference(0, pblock2 ? pblock2->Clone(copy) : nullptr);
  delete fresh;
  return copy;
}

const Mesh& SimpleWSMObject2::IconMesh(TimeValue t) {
  std::lock_guard lock(meshLock_);
  if (!ivalid.InInterval(t)) BuildMesh(t);
  return mesh;
}

bool SimpleWSMObject2::UpdatePerNodeItems(INode*, RenderItemContainer& items) {
  CustomRenderItemHandle h;
  h.SetCustomImplementation(new IconItem(this));
  items.AddRenderItem(h);
  return true;
}

int SimpleWSMObject2::HitTest(TimeValue t, INode* node, int type, int crossing, int,
                              const IPoint2& p, ViewExp* vpt) {
  if (!node || !vpt) return 0;
  GraphicsWindow& gw = *vpt->getGW();
  HitRegion hr;
  MakeHitRegion(hr, type, crossing, 4, &p);
  const DWORD saved = gw.getRndLimits();
  const Matrix3 savedTM = gw.getTransform();
  gw.setRndLimits(saved | GW_PICK);
  gw.setHitRegion(&hr);
  gw.clearHitCode();
  gw.setTransform(node->GetObjectTM(t));
  const std::vector<Point3> lines = EdgeList(IconMesh(t));
  gw.lineList(lines.size(), lines.data(), nullptr);
  const bool hit = gw.checkHitCode();
  gw.setRndLimits(saved);
  gw.setTransform(savedTM);
  return hit ? 1 : 0;
}

void SimpleWSMObject2::GetLocalBoundBox(TimeValue t, INode*, ViewExp*, Box3& box) {
  box.Init();
  for (const Point3& v : IconMesh(t).verts) box += v;
}

void SimpleWSMObject2::GetWorldBoundBox(TimeValue t, INode* node, ViewExp*, Box3& box) {
  box.Init();
  const Matrix3 tm = node ? node->GetObjectTM(t) : Matrix3();
  for (const Point3& v : IconMesh(t).verts) box += tm.PointTransform(v);
}

}  // namespace host
