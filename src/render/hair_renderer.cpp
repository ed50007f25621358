#include "render/hair_renderer.h"

#include "resources/strings.h"

namespace crn {

const char* HairRendDesc::ClassName() { return res::GetString(res::IDS_REND_CLASS_NAME); }
const char* HairRendDesc::NonLocalizedClassName() { return res::GetString(res::IDS_REND_CLASS_NAME); }
const char* HairRendDesc::Category() { return res::GetString(res::IDS_CATEGORY); }
const char* HairRendDesc::GetRsrcString(int id) { return res::GetString(id); }

}  // namespace crn
