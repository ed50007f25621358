#include "dynamics/forces.h"

#include "dynamics/hair_wind.h"
#include "dynamics/sim_params.h"
#include "hair/hair_params.h"
#include "host/inode.h"

namespace crn {

using namespace host;

void AddForceFields(Object& hair, TimeValue t, const std::vector<hsim::F3>& positions,
                    std::vector<hsim::Wind>& winds, std::vector<hsim::F3>& E) {
  IParamBlock2* pb = ParamsOf(hair);
  if (!pb) return;
  constexpr double kTicksSquared = 23040000.0;
  for (int i = 0; i < pb->Count(hp::forces); ++i) {
    INode* node = pb->GetINode(hp::forces, t, i);
    Object* obj = node ? node->EvalWorldState(t) : nullptr;
    if (!obj) continue;
    if (obj->ClassID() == kHairWindClassID) {
      winds.push_back(MakeWindRecord(*static_cast<HairWindObject*>(obj), node, t));
      continue;
    }
    if (obj->SuperClassID() != WSM_OBJECT_CLASS_ID) continue;
    auto* wsm = dynamic_cast<WSMObject*>(obj);
    ForceField* field = wsm ? wsm->GetForceField(node) : nullptr;
    if (!field) continue;
    if (E.size() != positions.size()) E.assign(positions.size(), hsim::F3(0, 0, 0));
    for (std::size_t j = 0; j < positions.size(); ++j) {
      const Point3 f = field->Force(t, Point3(positions[j].x, positions[j].y, positions[j].z),
                                    Point3(0, 0, 0), int(j));
      E[j] += hsim::F3(float(f.x * kTicksSquared), float(f.y * kTicksSquared),
                       float(f.z * kTicksSquared));
    }
    field->DeleteThis();
  }
}

}  // namespace crn
