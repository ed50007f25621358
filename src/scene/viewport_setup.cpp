#include "scene/viewport_setup.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace crn::scene {

using namespace host;

namespace {

// The view's axes in world space: right, up and back (towards the viewer).
struct ViewAxes {
  Point3 right, up, back;
};

ViewAxes AxesOf(ViewKind kind) {
  switch (kind) {
    case ViewKind::Front: return {{1, 0, 0}, {0, 0, 1}, {0, -1, 0}};
    case ViewKind::Top: return {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    case ViewKind::Left: return {{0, -1, 0}, {0, 0, 1}, {-1, 0, 0}};
    case ViewKind::Persp: break;
  }
  const Point3 back = Normalize(Point3(0.6f, -1.f, 0.7f));
  const Point3 right = Normalize(CrossProd(Point3(0, 0, 1), back));
  return {right, CrossProd(back, right), back};
}

Matrix3 WorldToView(const ViewAxes& a, const Point3& eye) {
  Matrix3 viewToWorld;
  viewToWorld.SetRow(0, a.right);
  viewToWorld.SetRow(1, a.up);
  viewToWorld.SetRow(2, a.back);
  viewToWorld.SetTrans(eye);
  return Inverse(viewToWorld);
}

}  // namespace

bool ParseViewKind(const std::string& name, ViewKind& kind) {
  if (name == "front") kind = ViewKind::Front;
  else if (name == "top") kind = ViewKind::Top;
  else if (name == "left") kind = ViewKind::Left;
  else if (name == "persp") kind = ViewKind::Persp;
  else return false;
  return true;
}

bool ParseViewSize(const std::string& text, int& width, int& height) {
  const auto x = text.find('x');
  if (x == std::string::npos) return false;
  auto number = [](const std::string& s, int& v) {
    if (s.empty() || s.size() > 5 || s.find_first_not_of("0123456789") != std::string::npos)
      return false;
    v = std::atoi(s.c_str());
    return v >= 1 && v <= 8192;
  };
  return number(text.substr(0, x), width) && number(text.substr(x + 1), height);
}

Box3 SceneBounds(Interface& ip, TimeValue t) {
  Box3 bounds;
  for (const auto& n : ip.Nodes()) {
    if (n->IsHidden()) continue;
    Object* obj = n->EvalWorldState(t);
    if (!obj) continue;
    if (const Mesh* mesh = obj->GetMesh(t)) {
      const Matrix3 tm = n->GetObjectTM(t);
      for (const Point3& v : mesh->verts) bounds += tm.PointTransform(v);
    } else {
      Box3 b;
      obj->GetWorldBoundBox(t, n.get(), nullptr, b);
      bounds += b;
    }
  }
  return bounds;
}

ViewCamera FrameView(ViewKind kind, const Box3& box, int width, int height) {
  Box3 b = box;
  if (b.IsEmpty()) {
    b += Point3(-50, -50, -50);
    b += Point3(50, 50, 50);
  }
  const Point3 c = b.Center();
  const float radius = std::max(0.5f * Length(b.Width()), 1e-3f);
  const ViewAxes axes = AxesOf(kind);
  const float aspect = float(std::max(width, 1)) / float(std::max(height, 1));
  ViewCamera cam;
  auto corner = [&](int i) {
    return Point3((i & 1) ? b.pmax.x : b.pmin.x, (i & 2) ? b.pmax.y : b.pmin.y,
                  (i & 4) ? b.pmax.z : b.pmin.z) - c;
  };
  if (kind == ViewKind::Persp) {
    cam.perspective = true;
    cam.fov = kNodeCameraFov;
    // Back off along the view axis until every corner is inside the field, with a margin.
    const float tanH = std::tan(0.5f * cam.fov) / 1.1f, tanV = tanH / aspect;
    float dist = radius;
    for (int i = 0; i < 8; ++i) {
      const Point3 d = corner(i);
      dist = std::max(dist, DotProd(d, axes.back) + std::max(std::fabs(DotProd(d, axes.right)) / tanH,
                                                             std::fabs(DotProd(d, axes.up)) / tanV));
    }
    cam.nearClip = std::max(1e-4f * dist, 1e-4f);
    cam.worldToView = WorldToView(axes, c + axes.back * dist);
    return cam;
  }
  // Orthographic: the box's extent across and up the screen, with a margin.
  float ex = 0, ey = 0;
  for (int i = 0; i < 8; ++i) {
    const Point3 d = corner(i);
    ex = std::max(ex, std::fabs(DotProd(d, axes.right)));
    ey = std::max(ey, std::fabs(DotProd(d, axes.up)));
  }
  cam.perspective = false;
  cam.orthoWidth = std::max(2.2f * std::max(ex, ey * aspect), 1e-3f);
  cam.worldToView = WorldToView(axes, c + axes.back * (2 * radius + 1));
  return cam;
}

ViewCamera NodeCamera(INode& node, TimeValue t) {
  const Matrix3 tm = node.GetNodeTM(t);
  ViewAxes a{Normalize(tm.GetRow(0)), Normalize(tm.GetRow(1)), Normalize(tm.GetRow(2))};
  ViewCamera cam;
  cam.perspective = true;
  cam.fov = kNodeCameraFov;
  cam.worldToView = WorldToView(a, tm.GetTrans());
  return cam;
}

void SetActiveView(Interface& ip, ViewKind kind) {
  GraphicsWindow& gw = *ip.GetActiveViewExp().getGW();
  const int w = gw.getWinSizeX(), h = gw.getWinSizeY();
  ip.SetActiveViewport(FrameView(kind, SceneBounds(ip, ip.GetTime()), w, h), w, h);
}

void SetDefaultViewport(Interface& ip) {
  ip.SetActiveViewport(FrameView(ViewKind::Persp, SceneBounds(ip, ip.GetTime()),
                                 kDefaultViewWidth, kDefaultViewHeight),
                       kDefaultViewWidth, kDefaultViewHeight);
}

}  // namespace crn::scene
