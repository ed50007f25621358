#include "scene/viewport_render.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "host/render_items.h"

namespace crn::scene {

using namespace host;

namespace {

// Colour and depth buffers. Pixel (i, j) is centred on screen point (i, j).
class Raster : public LineSink {
 public:
  Raster(int w, int h, bool perspective)
      : w_(w), h_(h), persp_(perspective), rgba_(std::size_t(w) * h * 4),
        depth_(std::size_t(w) * h, std::numeric_limits<float>::infinity()) {
    for (std::size_t i = 0; i < rgba_.size(); i += 4) {
      rgba_[i] = rgba_[i + 1] = rgba_[i + 2] = kViewBackground;
      rgba_[i + 3] = 255;
    }
  }

  // A filled triangle in screen space (x, y pixels, z view depth) of one grey level.
  void Triangle(const Point3 s[3], std::uint8_t grey) {
    const float area = (s[1].x - s[0].x) * (s[2].y - s[0].y) - (s[1].y - s[0].y) * (s[2].x - s[0].x);
    if (std::fabs(area) < 1e-12f) return;
    const int x0 = std::max(0, int(std::ceil(std::min({s[0].x, s[1].x, s[2].x}))));
    const int x1 = std::min(w_ - 1, int(std::floor(std::max({s[0].x, s[1].x, s[2].x}))));
    const int y0 = std::max(0, int(std::ceil(std::min({s[0].y, s[1].y, s[2].y}))));
    const int y1 = std::min(h_ - 1, int(std::floor(std::max({s[0].y, s[1].y, s[2].y}))));
    const float k[3] = {Key(s[0].z), Key(s[1].z), Key(s[2].z)};
    // Barycentric weights are affine in x: each row's start is computed, then stepped by a
    // constant per pixel.
    float ex[3];
    for (int i = 0; i < 3; ++i) ex[i] = -(s[(i + 2) % 3].y - s[(i + 1) % 3].y) / area;
    for (int y = y0; y <= y1; ++y) {
      const float py = float(y), px0 = float(x0);
      float b[3];
      for (int i = 0; i < 3; ++i) {
        const Point3& a = s[(i + 1) % 3];
        const Point3& c = s[(i + 2) % 3];
        b[i] = ((c.x - a.x) * (py - a.y) - (c.y - a.y) * (px0 - a.x)) / area;
      }
      for (int x = x0; x <= x1; ++x, b[0] += ex[0], b[1] += ex[1], b[2] += ex[2]) {
        if (b[0] < 0 || b[1] < 0 || b[2] < 0) continue;
        const float z = Depth(b[0] * k[0] + b[1] * k[1] + b[2] * k[2]);
        const std::size_t p = std::size_t(y) * w_ + x;
        if (!(z < depth_[p])) continue;
        depth_[p] = z;
        Put(p, grey, grey, grey);
      }
    }
  }

  void Line(const ScreenLine& l) override {
    float t0 = 0, t1 = 1;
    const float dx = l.b.x - l.a.x, dy = l.b.y - l.a.y;
    // Liang-Barsky against the window grown by one pixel.
    auto clip = [&](float p, float q) {
      if (p == 0) return q >= 0;
      const float r = q / p;
      if (p < 0) t0 = std::max(t0, r);
      else t1 = std::min(t1, r);
      return t0 <= t1;
    };
    if (!clip(-dx, l.a.x + 1) || !clip(dx, float(w_) - l.a.x) || !clip(-dy, l.a.y + 1) ||
        !clip(dy, float(h_) - l.a.y))
      return;
    const int steps = std::max(1, int(std::ceil(std::max(std::fabs(dx), std::fabs(dy)) * (t1 - t0))));
    const float dt = (t1 - t0) / float(steps);
    const float ka = Key(l.a.z), dk = Key(l.b.z) - ka;
    float c0[3], dc[3];
    for (int k = 0; k < 3; ++k) {
      const int shift = 16 - 8 * k;
      c0[k] = float((l.colourA >> shift) & 0xFF);
      dc[k] = float((l.colourB >> shift) & 0xFF) - c0[k];
    }
    for (int i = 0; i <= steps; ++i) {
      const float t = t0 + dt * float(i);
      const int x = Floor(l.a.x + dx * t + 0.5f), y = Floor(l.a.y + dy * t + 0.5f);
      if (x < 0 || y < 0 || x >= w_ || y >= h_) continue;
      const std::size_t p = std::size_t(y) * w_ + x;
      if (l.depthTest) {
        const float z = Depth(ka + dk * t);
        if (z > depth_[p] * (1 + 1e-3f) + 1e-5f) continue;
        depth_[p] = std::min(depth_[p], z);
      }
      Put(p, std::uint8_t(c0[0] + dc[0] * t + 0.5f), std::uint8_t(c0[1] + dc[1] * t + 0.5f),
          std::uint8_t(c0[2] + dc[2] * t + 0.5f));
    }
  }

  RgbaImage Take() { return {w_, h_, std::move(rgba_)}; }

 private:
  // floor for the clipped coordinates (within a pixel of the window), without a library call.
  static int Floor(float v) {
    const int i = int(v);
    return i - (float(i) > v);
  }
  // Perspective depth is interpolated as its reciprocal, which is linear on screen.
  float Key(float z) const { return persp_ ? 1.f / std::max(z, 1e-30f) : z; }
  float Depth(float key) const { return persp_ ? 1.f / std::max(key, 1e-30f) : key; }
  void Put(std::size_t p, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    rgba_[4 * p] = r;
    rgba_[4 * p + 1] = g;
    rgba_[4 * p + 2] = b;
    rgba_[4 * p + 3] = 255;
  }

  int w_, h_;
  bool persp_;
  std::vector<std::uint8_t> rgba_;
  std::vector<float> depth_;
};

// Flat-shaded triangles of a mesh, clipped at the near plane in view space.
void DrawShadedMesh(const Mesh& mesh, const Matrix3& objectToView, const GraphicsWindow& gw,
                    Raster& raster) {
  const ViewCamera& cam = gw.Camera();
  std::vector<Point3> view(mesh.verts.size());
  for (std::size_t i = 0; i < view.size(); ++i) view[i] = objectToView.PointTransform(mesh.verts[i]);
  for (const Face& f : mesh.faces) {
    if (f.v[0] >= view.size() || f.v[1] >= view.size() || f.v[2] >= view.size()) continue;
    const Point3 v[3] = {view[f.v[0]], view[f.v[1]], view[f.v[2]]};
    const Point3 n = Normalize(CrossProd(v[1] - v[0], v[2] - v[0]));
    const std::uint8_t grey = FaceGrey(n.z);
    // Sutherland-Hodgman against depth >= nearClip (perspective only).
    Point3 poly[4];
    int count = 0;
    for (int i = 0; i < 3; ++i) {
      const Point3 &a = v[i], &b = v[(i + 1) % 3];
      const bool ina = !cam.perspective || -a.z >= cam.nearClip;
      const bool inb = !cam.perspective || -b.z >= cam.nearClip;
      if (ina) poly[count++] = a;
      if (ina != inb) {
        const float t = (cam.nearClip + a.z) / (a.z - b.z);
        poly[count++] = a + (b - a) * t;
      }
    }
    if (count < 3) continue;
    Point3 s[4];
    for (int i = 0; i < count; ++i) s[i] = gw.ViewToScreen(poly[i]);
    for (int i = 1; i + 1 < count; ++i) {
      const Point3 tri[3] = {s[0], s[i], s[i + 1]};
      raster.Triangle(tri, grey);
    }
  }
}

// The visible edges of a mesh as grey lines in front of everything.
void DrawWireMesh(const Mesh& mesh, const Matrix3& objectToWorld, GraphicsWindow& gw) {
  const DWORD limits = gw.getRndLimits();
  gw.setRndLimits(limits & ~GW_Z_BUFFER);
  gw.setTransform(objectToWorld);
  gw.setColor(LINE_COLOR, 0.75f, 0.75f, 0.75f);
  for (const Face& f : mesh.faces) {
    if (f.v[0] >= mesh.verts.size() || f.v[1] >= mesh.verts.size() || f.v[2] >= mesh.verts.size())
      continue;
    const Point3 p[3] = {mesh.verts[f.v[0]], mesh.verts[f.v[1]], mesh.verts[f.v[2]]};
    const int es[3] = {f.edgeVis & 1, f.edgeVis & 2, f.edgeVis & 4};
    gw.polyline(3, p, nullptr, true, es);
  }
  gw.setRndLimits(limits);
}

}  // namespace

RgbaImage DrawViewport(Interface& ip, ViewExp& vpt, TimeValue t, ViewportItemCache* cache) {
  GraphicsWindow& gw = *vpt.getGW();
  Raster raster(gw.getWinSizeX(), gw.getWinSizeY(), gw.Camera().perspective);
  const DWORD limits = gw.getRndLimits();
  const Matrix3 savedTM = gw.getTransform();
  gw.setRndLimits(limits & ~GW_PICK);
  gw.setLineSink(&raster);

  for (ViewportDisplayCallback* cb : ip.ViewportDisplayCallbacks(true)) cb->Display(t, &vpt, 0);
  const bool wire = (limits & GW_WIREFRAME) != 0;
  for (const auto& node : ip.Nodes()) {
    if (node->IsHidden()) continue;
    Object* obj = node->EvalWorldState(t);
    const Mesh* mesh = obj ? obj->GetMesh(t) : nullptr;
    if (!mesh) continue;
    const Matrix3 tm = node->GetObjectTM(t);
    if (wire) DrawWireMesh(*mesh, tm, gw);
    else DrawShadedMesh(*mesh, tm * gw.Camera().worldToView, gw, raster);
  }
  for (const auto& node : ip.Nodes()) {
    if (node->IsHidden()) continue;
    Object* obj = node->EvalWorldState(t);
    if (!obj) continue;
    RenderItemContainer fresh;
    RenderItemContainer* items = cache ? cache->ItemsOf(*node, *obj)
                                       : obj->UpdatePerNodeItems(node.get(), fresh) ? &fresh : nullptr;
    if (!items) continue;
    DrawContext dc(&vpt, t, node.get(), node->GetObjectTM(t));
    items->RealizeAndDisplay(dc);
  }
  for (ViewportDisplayCallback* cb : ip.ViewportDisplayCallbacks(false)) cb->Display(t, &vpt, 0);

  gw.setLineSink(nullptr);
  gw.setRndLimits(limits);
  gw.setTransform(savedTM);
  return raster.Take();
}

}  // namespace crn::scene
