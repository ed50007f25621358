#include "host/simple_object.h"

namespace host {

SimpleObject2::~SimpleObject2() {
  IParamBlock2* pb = pblock2;
  DeleteAllRefsFromMe();
  delete pb;  // the object owns its block
}

void SimpleObject2::SetReference(int i, ReferenceTarget* target) {
  if (i == 0) pblock2 = static_cast<IParamBlock2*>(target);
}

RefResult SimpleObject2::NotifyRefChanged(const Interval& changeInt, ReferenceTarget* hTarget,
                                          PartID& partID, RefMessage message, bool propagate) {
  if (message == REFMSG_TARGET_DELETED && hTarget == pblock2) {
    pblock2 = nullptr;
    return REF_SUCCEED;
  }
  if (message == REFMSG_CHANGE && propagate) NotifyDependents(changeInt, partID, message);
  return REF_SUCCEED;
}

}  // namespace host
