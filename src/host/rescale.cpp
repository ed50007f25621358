#include "host/rescale.h"

namespace host {

void RescaleSceneWorldUnits(Interface& ip, float f) {
  for (const auto& node : ip.Nodes())
    if (Object* obj = node->GetObjectRef()) obj->ClearAFlag(A_WORK1);
  for (const auto& node : ip.Nodes()) {
    NodeTransform xf = node->Transform();
    xf.constPosition *= f;
    xf.position.Transform([f](const Point3& p) { return p * f; });
    node->SetTransform(std::move(xf));
    if (Object* obj = node->GetObjectRef()) obj->RescaleWorldUnits(f);
  }
  for (const auto& node : ip.Nodes())
    if (Object* obj = node->GetObjectRef()) obj->ClearAFlag(A_WORK1);
}

}  // namespace host
