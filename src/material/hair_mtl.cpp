#include "material/hair_mtl.h"

#include "resources/strings.h"

namespace crn {

const char* HairMtlDesc::ClassName() { return res::GetString(res::IDS_MTL_CLASS_NAME); }
const char* HairMtlDesc::Category() { return res::GetString(res::IDS_CATEGORY); }
const char* HairMtlDesc::GetRsrcString(int id) { return res::GetString(id); }

}  // namespace crn
