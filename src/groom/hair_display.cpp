// Placeholder viewport display of the hair object; replaced by the render items and picking.
#include "hair/hair_object.h"

namespace crn {

using namespace host;

void HairObject::GetWorldBoundBox(TimeValue, INode*, ViewExp*, Box3& box) { box.Init(); }
void HairObject::GetLocalBoundBox(TimeValue, INode*, ViewExp*, Box3& box) { box.Init(); }
void HairObject::GetDeformBBox(TimeValue, Box3& box, const Matrix3*) { box.Init(); }
int HairObject::HitTest(TimeValue, INode*, int, int, int, const IPoint2&, ViewExp*) { return 0; }
bool HairObject::UpdatePerNodeItems(INode*, RenderItemContainer&) { return false; }
MouseCallBack* HairObject::GetCreateMouseCallBack() { return nullptr; }

}  // namespace crn
