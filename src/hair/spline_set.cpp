#include "hair/spline_set.h"

#include "host/shape.h"

namespace crn {

SplineSet BuildSplineSet(const std::vector<host::INode*>& nodes, host::TimeValue t, int pointCount) {
  SplineSet set;
  if (pointCount < 1) return set;
  set.pointCount = pointCount;
  for (host::INode* node : nodes) {
    if (!node) continue;
    host::Object* obj = node->EvalWorldState(t);
    auto* shape = obj && obj->SuperClassID() == host::SHAPE_CLASS_ID
                      ? dynamic_cast<host::ShapeObject*>(obj)
                      : nullptr;
    if (!shape) continue;
    const host::Matrix3 tm = node->GetObjectTM(t);
    const int curves = shape->NumberOfCurves();
    for (int c = 0; c < curves; ++c)
      for (int k = 0; k < pointCount; ++k) {
        // A single point per curve takes the start instead of dividing by zero.
        const float param = pointCount > 1 ? float(k) / float(pointCount - 1) : 0.f;
        const host::Point3 p = tm.PointTransform(shape->InterpCurve3D(t, c, param));
        set.points.emplace_back(p.x, p.y, p.z);
      }
  }
  return set;
}

}  // namespace crn
