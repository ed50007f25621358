#include "hair/hair_object.h"

#include "resources/strings.h"

namespace crn {

using namespace host;

HairObject::HairObject() { GetHairObjDesc()->MakeAutoParamBlocks(this); }

HairObject::~HairObject() = default;

RefResult HairObject::NotifyRefChanged(const Interval& changeInt, ReferenceTarget* hTarget,
                                       PartID& partID, RefMessage message, bool propagate) {
  if (message == REFMSG_CHANGE) ++changeCounter_;
  return SimpleObject2::NotifyRefChanged(changeInt, hTarget, partID, message, propagate);
}

void* HairObjDesc::Create(bool) { return new HairObject(); }
const char* HairObjDesc::ClassName() { return res::GetString(res::IDS_HAIR_CLASS_NAME); }
const char* HairObjDesc::Category() { return res::GetString(res::IDS_CATEGORY); }
const char* HairObjDesc::GetRsrcString(int id) { return res::GetString(id); }

}  // namespace crn
