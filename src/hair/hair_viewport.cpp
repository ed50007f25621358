// The hair object's viewport side: bounding boxes and the creation click here; render items
// and picking through the display hooks.
#include <mutex>

#include "hair/hair_hooks.h"
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

bool HairObject::UpdatePerNodeItems(INode* node, RenderItemContainer& items) {
  auto update = GetHairHooks().updatePerNodeItems;
  return update && update(*this, node, items);
}

int HairObject::HitTest(TimeValue t, INode* node, int type, int crossing, int flags,
                        const IPoint2& p, ViewExp* vpt) {
  auto hit = GetHairHooks().hitTest;
  return hit ? hit(*this, t, node, type, crossing, flags, p, vpt) : 0;
}

}  // namespace crn
