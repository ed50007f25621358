#include "crinel-studio/viewport_pick.h"

#include <limits>

#include "host/mesh.h"

namespace crn::studio {

using namespace host;

namespace {

// Depth of the triangle's surface at pixel (x, y), or infinity when the pixel is outside it.
float DepthUnder(const Point3 s[3], float x, float y) {
  const float d = (s[1].y - s[2].y) * (s[0].x - s[2].x) + (s[2].x - s[1].x) * (s[0].y - s[2].y);
  if (d == 0) return std::numeric_limits<float>::infinity();
  const float a = ((s[1].y - s[2].y) * (x - s[2].x) + (s[2].x - s[1].x) * (y - s[2].y)) / d;
  const float b = ((s[2].y - s[0].y) * (x - s[2].x) + (s[0].x - s[2].x) * (y - s[2].y)) / d;
  const float c = 1 - a - b;
  if (a < 0 || b < 0 || c < 0) return std::numeric_limits<float>::infinity();
  return a * s[0].z + b * s[1].z + c * s[2].z;
}

}  // namespace

INode* PickNode(Interface& ip, ViewExp& vpt, IPoint2 m, TimeValue t) {
  GraphicsWindow& gw = *vpt.getGW();
  const Matrix3 saved = gw.getTransform();
  INode* best = nullptr;
  float bestDepth = std::numeric_limits<float>::infinity();
  for (const auto& node : ip.Nodes()) {
    if (node->IsHidden()) continue;
    Object* obj = node->EvalWorldState(t);
    const Mesh* mesh = obj ? obj->GetMesh(t) : nullptr;
    if (!mesh) continue;
    gw.setTransform(node->GetObjectTM(t));
    for (const Face& f : mesh->faces) {
      Point3 s[3];
      bool ok = true;
      for (int k = 0; k < 3 && ok; ++k)
        ok = f.v[std::size_t(k)] < mesh->verts.size() && gw.transPoint(&mesh->verts[f.v[std::size_t(k)]], &s[k]) == 0;
      if (!ok) continue;
      const float depth = DepthUnder(s, float(m.x), float(m.y));
      if (depth < bestDepth) {
        bestDepth = depth;
        best = node.get();
      }
    }
  }
  gw.setTransform(saved);
  // Objects without a mesh pick themselves (within a few pixels), in front of the meshes.
  for (const auto& node : ip.Nodes()) {
    if (node->IsHidden()) continue;
    Object* obj = node->EvalWorldState(t);
    if (obj && !obj->GetMesh(t) && obj->HitTest(t, node.get(), HITTYPE_POINT, HIT_CROSSING, 0, m, &vpt)) return node.get();
  }
  return best;
}

}  // namespace crn::studio
