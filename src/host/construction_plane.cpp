// The construction plane under the mouse, where creation tools place new objects.
#include <cmath>

#include "host/viewport.h"

namespace host {

Point3 ViewExp::SnapPoint(IPoint2 m) const {
  const ViewCamera& cam = gw_.Camera();
  const GraphicsWindow& gw = gw_;
  const float w = float(gw.getWinSizeX()), h = float(gw.getWinSizeY());
  const Matrix3 viewToWorld = Inverse(cam.worldToView);
  // The pixel's ray in view space (looking down -z).
  Point3 origin, dir;
  if (cam.perspective) {
    const float f = 0.5f * w / std::tan(0.5f * cam.fov);
    origin = Point3(0, 0, 0);
    dir = Point3((float(m.x) - 0.5f * w) / f, (0.5f * h - float(m.y)) / f, -1.f);
  } else {
    const float f = w / std::max(cam.orthoWidth, 1e-30f);
    origin = Point3((float(m.x) - 0.5f * w) / f, (0.5f * h - float(m.y)) / f, 0.f);
    dir = Point3(0, 0, -1);
  }
  const Point3 wo = viewToWorld.PointTransform(origin);
  const Point3 wd = viewToWorld.VectorTransform(dir);
  // Perspective: the home grid (z = 0); orthographic: the plane through the origin facing
  // the viewer.
  const Point3 n = cam.perspective ? Point3(0, 0, 1) : Normalize(wd);
  const float denom = DotProd(n, wd);
  if (std::fabs(denom) < 1e-12f) return Point3(wo.x, wo.y, 0);
  const float s = -DotProd(n, wo) / denom;
  return wo + wd * s;
}

}  // namespace host
