#include "host/viewport.h"

#include <algorithm>
#include <cmath>

namespace host {

namespace {

struct P2 {
  float x, y;
};

float Dist2PointSegment(P2 p, P2 a, P2 b) {
  const float dx = b.x - a.x, dy = b.y - a.y;
  const float len2 = dx * dx + dy * dy;
  float t = len2 > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / len2 : 0.f;
  t = std::clamp(t, 0.f, 1.f);
  const float ex = a.x + t * dx - p.x, ey = a.y + t * dy - p.y;
  return ex * ex + ey * ey;
}

float Cross2(P2 o, P2 a, P2 b) { return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x); }

bool SegmentsCross(P2 a, P2 b, P2 c, P2 d) {
  const float d1 = Cross2(c, d, a), d2 = Cross2(c, d, b);
  const float d3 = Cross2(a, b, c), d4 = Cross2(a, b, d);
  if (((d1 > 0 && d2 < 0) || (d1 < 0 && d2 > 0)) && ((d3 > 0 && d4 < 0) || (d3 < 0 && d4 > 0)))
    return true;
  auto onSeg = [](P2 p, P2 q, P2 r) {  // r on segment pq, given collinear
    return std::min(p.x, q.x) <= r.x && r.x <= std::max(p.x, q.x) && std::min(p.y, q.y) <= r.y &&
           r.y <= std::max(p.y, q.y);
  };
  return (d1 == 0 && onSeg(c, d, a)) || (d2 == 0 && onSeg(c, d, b)) ||
         (d3 == 0 && onSeg(a, b, c)) || (d4 == 0 && onSeg(a, b, d));
}

bool InRect(P2 p, const Rect& r) {
  return p.x >= float(r.left) && p.x <= float(r.right) && p.y >= float(r.top) &&
         p.y <= float(r.bottom);
}

bool SegmentTouchesRect(P2 a, P2 b, const Rect& r) {
  if (InRect(a, r) || InRect(b, r)) return true;
  const P2 c[4] = {{float(r.left), float(r.top)},
                   {float(r.right), float(r.top)},
                   {float(r.right), float(r.bottom)},
                   {float(r.left), float(r.bottom)}};
  for (int i = 0; i < 4; ++i)
    if (SegmentsCross(a, b, c[i], c[(i + 1) % 4])) return true;
  return false;
}

// Even-odd rule.
bool InPolygon(P2 p, const std::vector<IPoint2>& poly) {
  bool in = false;
  const std::size_t n = poly.size();
  for (std::size_t i = 0, j = n - 1; i < n; j = i++) {
    const P2 a{float(poly[i].x), float(poly[i].y)}, b{float(poly[j].x), float(poly[j].y)};
    if ((a.y > p.y) != (b.y > p.y) && p.x < (b.x - a.x) * (p.y - a.y) / (b.y - a.y) + a.x)
      in = !in;
  }
  return in;
}

bool SegmentCrossesPolygon(P2 a, P2 b, const std::vector<IPoint2>& poly) {
  const std::size_t n = poly.size();
  for (std::size_t i = 0; i < n; ++i) {
    const IPoint2 c = poly[i], d = poly[(i + 1) % n];
    if (SegmentsCross(a, b, {float(c.x), float(c.y)}, {float(d.x), float(d.y)})) return true;
  }
  return false;
}

std::uint32_t PackRgb(const Point3& c) {
  auto ch = [](float v) { return std::uint32_t(std::clamp(v, 0.f, 1.f) * 255.f + 0.5f); };
  return 0xFF000000u | (ch(c.x) << 16) | (ch(c.y) << 8) | ch(c.z);
}

}  // namespace

void MakeHitRegion(HitRegion& hr, int type, int crossing, int epsilon, const IPoint2* p) {
  hr = HitRegion();
  hr.type = type;
  hr.crossing = crossing != 0;
  hr.epsilon = std::max(epsilon, 0);
  if (!p) return;
  switch (type) {
    case HITTYPE_BOX:
      hr.rect = {std::min(p[0].x, p[1].x), std::min(p[0].y, p[1].y), std::max(p[0].x, p[1].x),
                 std::max(p[0].y, p[1].y)};
      break;
    case HITTYPE_CIRCLE: {
      hr.centre = p[0];
      const double dx = p[1].x - p[0].x, dy = p[1].y - p[0].y;
      hr.radius = int(std::lround(std::sqrt(dx * dx + dy * dy)));
      break;
    }
    case HITTYPE_FENCE:
    case HITTYPE_LASSO:
      for (int i = 0; i < kMaxFencePoints && p[i].x != FENCE_END; ++i) hr.points.push_back(p[i]);
      break;
    default:  // point, solid, paint
      hr.pt = p[0];
      break;
  }
}

void GraphicsWindow::SetWinSize(int w, int h) {
  w_ = std::max(w, 1);
  h_ = std::max(h, 1);
}

float GraphicsWindow::FocalPixels() const {
  return cam_.perspective ? 0.5f * float(w_) / std::tan(0.5f * cam_.fov) : 0.0f;
}

Point3 GraphicsWindow::ViewToScreen(const Point3& v) const { return ViewToScreen(v, FocalPixels()); }

Point3 GraphicsWindow::ViewToScreen(const Point3& v, float f) const {
  const float depth = -v.z;
  float sx, sy;
  if (cam_.perspective) {
    sx = v.x / depth * f;
    sy = v.y / depth * f;
  } else {
    const float f = float(w_) / std::max(cam_.orthoWidth, 1e-30f);
    sx = v.x * f;
    sy = v.y * f;
  }
  return {0.5f * float(w_) + sx, 0.5f * float(h_) - sy, depth};
}

int GraphicsWindow::transPoint(const Point3* in, Point3* out) const {
  const Point3 v = cam_.worldToView.PointTransform(tm_.PointTransform(*in));
  if (cam_.perspective && -v.z < cam_.nearClip) return CLIP_BEHIND;
  *out = ViewToScreen(v);
  return 0;
}

int GraphicsWindow::transPoint(const Point3* in, IPoint3* out) const {
  Point3 s;
  const int clip = transPoint(in, &s);
  if (clip) return clip;
  *out = {int(std::floor(s.x + 0.5f)), int(std::floor(s.y + 0.5f)), int(std::floor(s.z + 0.5f))};
  return 0;
}

void GraphicsWindow::setColor(int which, float r, float g, float b) {
  (which == FILL_COLOR ? fill_ : line_) = Color(r, g, b);
}

std::uint32_t GraphicsWindow::LineColourWord() const {
  return PackRgb({line_.r, line_.g, line_.b});
}

void GraphicsWindow::setHitRegion(const HitRegion* hr) {
  hasRegion_ = hr != nullptr;
  region_ = hr ? *hr : HitRegion();
}

void GraphicsWindow::clearHitCode() { anyInside_ = anyOutside_ = false; }

bool GraphicsWindow::checkHitCode() const {
  const bool window = region_.crossing == false && region_.type != HITTYPE_POINT &&
                      region_.type != HITTYPE_SOLID && region_.type != HITTYPE_PAINT;
  return window ? anyInside_ && !anyOutside_ : anyInside_;
}

void GraphicsWindow::ScreenSegment(const Point3& a, const Point3& b, std::uint32_t ca,
                                   std::uint32_t cb) {
  if (!(limits_ & GW_PICK)) {
    const ScreenLine line{a, b, ca, cb, (limits_ & GW_Z_BUFFER) != 0};
    if (sink_) sink_->Line(line);
    else lines_.push_back(line);
    return;
  }
  if (!hasRegion_) return;
  const P2 pa{a.x, a.y}, pb{b.x, b.y};
  const HitRegion& r = region_;
  switch (r.type) {
    case HITTYPE_BOX:
      if (r.crossing) {
        if (SegmentTouchesRect(pa, pb, r.rect)) anyInside_ = true;
      } else {
        (InRect(pa, r.rect) && InRect(pb, r.rect) ? anyInside_ : anyOutside_) = true;
      }
      break;
    case HITTYPE_CIRCLE: {
      const P2 c{float(r.centre.x), float(r.centre.y)};
      const float r2 = float(r.radius) * float(r.radius);
      if (r.crossing) {
        if (Dist2PointSegment(c, pa, pb) <= r2) anyInside_ = true;
      } else {
        auto in = [&](P2 q) { return (q.x - c.x) * (q.x - c.x) + (q.y - c.y) * (q.y - c.y) <= r2; };
        (in(pa) && in(pb) ? anyInside_ : anyOutside_) = true;
      }
      break;
    }
    case HITTYPE_FENCE:
    case HITTYPE_LASSO: {
      if (r.points.size() < 3) break;
      const bool ia = InPolygon(pa, r.points), ib = InPolygon(pb, r.points);
      const bool crosses = SegmentCrossesPolygon(pa, pb, r.points);
      if (r.crossing) {
        if (ia || ib || crosses) anyInside_ = true;
      } else {
        (ia && ib && !crosses ? anyInside_ : anyOutside_) = true;
      }
      break;
    }
    default: {  // point, solid and paint picks: within epsilon of the point
      const float e = float(r.epsilon);
      if (Dist2PointSegment({float(r.pt.x), float(r.pt.y)}, pa, pb) <= e * e) anyInside_ = true;
      break;
    }
  }
}

void GraphicsWindow::Segment(const Point3& wa, const Point3& wb, std::uint32_t ca,
                             std::uint32_t cb) {
  ViewSegment(cam_.worldToView.PointTransform(wa), cam_.worldToView.PointTransform(wb), ca, cb, FocalPixels());
}

void GraphicsWindow::ViewSegment(Point3 va, Point3 vb, std::uint32_t ca, std::uint32_t cb, float focal) {
  if (cam_.perspective) {
    // Keep the part in front of the near plane (depth = -z >= nearClip).
    const float n = cam_.nearClip, da = -va.z, db = -vb.z;
    if (da < n && db < n) return;
    if (da < n || db < n) {
      const float t = (n - da) / (db - da);
      const Point3 cut = va + (vb - va) * t;
      if (da < n) va = cut;
      else vb = cut;
    }
  }
  ScreenSegment(ViewToScreen(va, focal), ViewToScreen(vb, focal), ca, cb);
}

void GraphicsWindow::polyline(int ct, const Point3* xyz, const Point3* rgb, bool closed,
                              const int* es) {
  ++calls_;
  if (ct <= 0 || !xyz) return;
  const std::uint32_t lc = LineColourWord();
  auto colour = [&](int i) { return rgb ? PackRgb(rgb[i]) : lc; };
  if (ct == 1) {
    const Point3 w = tm_.PointTransform(xyz[0]);
    Segment(w, w, colour(0), colour(0));
    return;
  }
  const int segs = closed ? ct : ct - 1;
  for (int i = 0; i < segs; ++i) {
    if (es && !es[i]) continue;
    const int j = (i + 1) % ct;
    Segment(tm_.PointTransform(xyz[i]), tm_.PointTransform(xyz[j]), colour(i), colour(j));
  }
}

void GraphicsWindow::hPolyline(int ct, const IPoint3* xyz, const Point3* rgb, bool closed,
                               const int* es) {
  ++calls_;
  if (ct <= 0 || !xyz) return;
  const std::uint32_t lc = LineColourWord();
  auto colour = [&](int i) { return rgb ? PackRgb(rgb[i]) : lc; };
  auto pt = [&](int i) { return Point3(float(xyz[i].x), float(xyz[i].y), float(xyz[i].z)); };
  if (ct == 1) {
    ScreenSegment(pt(0), pt(0), colour(0), colour(0));
    return;
  }
  const int segs = closed ? ct : ct - 1;
  for (int i = 0; i < segs; ++i) {
    if (es && !es[i]) continue;
    const int j = (i + 1) % ct;
    ScreenSegment(pt(i), pt(j), colour(i), colour(j));
  }
}

void GraphicsWindow::lineList(std::size_t vertexCount, const Point3* xyz,
                              const std::uint32_t* colours) {
  ++calls_;
  if (!xyz) return;
  const std::uint32_t lc = LineColourWord();
  // Long lists (hair strands): one transform to view space and one focal length for all.
  const Matrix3 toView = tm_ * cam_.worldToView;
  const float focal = FocalPixels();
  for (std::size_t i = 0; i + 1 < vertexCount; i += 2)
    ViewSegment(toView.PointTransform(xyz[i]), toView.PointTransform(xyz[i + 1]),
                colours ? colours[i] : lc, colours ? colours[i + 1] : lc, focal);
}

ViewExp::ViewExp() : hwnd_(this) {}
ViewExp::ViewExp(HWND hwnd) : hwnd_(hwnd) {}

float ViewExp::GetVPWorldWidth(const Point3& wPoint) const {
  const ViewCamera& cam = gw_.Camera();
  if (!cam.perspective) return cam.orthoWidth;
  const float depth = -cam.worldToView.PointTransform(wPoint).z;
  return 2.f * std::max(depth, cam.nearClip) * std::tan(0.5f * cam.fov);
}

}  // namespace host
