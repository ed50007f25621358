#include "crinel-studio/view_navigation.h"

#include <algorithm>
#include <cmath>

namespace crn::studio {

using namespace host;

ViewCamera Orbit(const ViewCamera& cam, const Point3& pivot, float yaw, float pitch) {
  ViewCamera out = cam;
  // Row vectors: a point goes through the left matrix first.
  const Matrix3 aboutZ = TransMatrix(-pivot) * RotateZMatrix(yaw) * TransMatrix(pivot);
  const Point3 pv = cam.worldToView.PointTransform(pivot);
  const Matrix3 aboutX = TransMatrix(-pv) * RotateXMatrix(pitch) * TransMatrix(pv);
  out.worldToView = aboutZ * cam.worldToView * aboutX;
  return out;
}

ViewCamera Pan(const ViewCamera& cam, const Point3& pivot, float dx, float dy, int width, int height) {
  (void)height;
  ViewCamera out = cam;
  float worldPerPixel;
  if (cam.perspective) {
    const float depth = std::max(-cam.worldToView.PointTransform(pivot).z, cam.nearClip);
    worldPerPixel = 2 * depth * std::tan(0.5f * cam.fov) / float(std::max(width, 1));
  } else {
    worldPerPixel = cam.orthoWidth / float(std::max(width, 1));
  }
  out.worldToView = cam.worldToView * TransMatrix(Point3(dx * worldPerPixel, -dy * worldPerPixel, 0));
  return out;
}

ViewCamera Zoom(const ViewCamera& cam, const Point3& pivot, float steps) {
  ViewCamera out = cam;
  const float f = std::pow(0.85f, steps);
  if (!cam.perspective) {
    out.orthoWidth = std::max(cam.orthoWidth * f, 1e-4f);
    return out;
  }
  const float depth = std::max(-cam.worldToView.PointTransform(pivot).z, cam.nearClip);
  // Moving the scene towards the viewer by the part of the distance the zoom removes.
  out.worldToView = cam.worldToView * TransMatrix(Point3(0, 0, depth * (1 - f)));
  return out;
}

}  // namespace crn::studio
