// The module's class descriptors and parameter block descriptors, built during static
// initialisation in one fixed order and destroyed in reverse at unload. Keeping them in one
// translation unit is what fixes the order. The hooks between the module's parts are filled
// first.
#include <memory>

#include "dynamics/hair_wind.h"
#include "groom/crinel_ops.h"
#include "hair/hair_object.h"
#include "hair/hair_param_block.h"
#include "material/hair_mtl.h"
#include "plugin/module_hooks.h"
#include "render/hair_renderer.h"

namespace crn {

namespace {

struct ModuleStatics {
  ModuleStatics() { RegisterModuleHooks(); }
  HairMtlDesc mtlDesc;
  std::unique_ptr<host::ParamBlockDesc2> mtlParams = MakeHairMtlParamBlockDesc(&mtlDesc);
  HairObjDesc hairDesc;
  std::unique_ptr<host::ParamBlockDesc2> hairParams = MakeHairParamBlockDesc(&hairDesc);
  HairRendDesc rendDesc;
  CrinelOps crinelOps;
  HairWindDesc windDesc;
  std::unique_ptr<host::ParamBlockDesc2> windParams = MakeWindParamBlockDesc(&windDesc);
};

ModuleStatics g_statics;

}  // namespace

HairMtlDesc* GetHairMtlDesc() { return &g_statics.mtlDesc; }
HairObjDesc* GetHairObjDesc() { return &g_statics.hairDesc; }
const host::ParamBlockDesc2& HairParamBlockDesc() { return *g_statics.hairParams; }
HairRendDesc* GetHairRendDesc() { return &g_statics.rendDesc; }
HairWindDesc* GetHairWindDesc() { return &g_statics.windDesc; }
CrinelOps* GetCrinelOps() { return &g_statics.crinelOps; }

}  // namespace crn
