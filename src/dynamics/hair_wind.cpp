#include "dynamics/hair_wind.h"

#include "resources/strings.h"

namespace crn {

const char* HairWindDesc::ClassName() { return res::GetString(res::IDS_WIND_CLASS_NAME); }
const char* HairWindDesc::Category() { return res::GetString(res::IDS_CATEGORY); }
const char* HairWindDesc::GetRsrcString(int id) { return res::GetString(id); }

}  // namespace crn
