// Picking the hair object: its icon first (cheap), then screen rectangles of the icon and
// the strands, then a sample of strands as polylines and their middle points.
#include <algorithm>
#include <cmath>
#include <mutex>

#include "groom/hair_display.h"
#include "groom/hair_icon.h"
#include "hair/hair_object.h"
#include "host/inode.h"
#include "host/viewport.h"

namespace crn {

using namespace host;

namespace {

constexpr int kPickEpsilon = 4;

struct ScreenRect {
  float x0 = 1e30f, y0 = 1e30f, x1 = -1e30f, y1 = -1e30f;
  bool behind = false;  // a point lay behind the camera and is left out
  void Add(float x, float y) {
    x0 = std::min(x0, x);
    y0 = std::min(y0, y);
    x1 = std::max(x1, x);
    y1 = std::max(y1, y);
  }
  bool Empty() const { return x0 > x1; }
  bool Inside(const ScreenRect& r) const {
    return !Empty() && !behind && x0 >= r.x0 && x1 <= r.x1 && y0 >= r.y0 && y1 <= r.y1;
  }
  bool Overlaps(const ScreenRect& r) const {
    return !Empty() && x0 <= r.x1 && r.x0 <= x1 && y0 <= r.y1 && r.y0 <= y1;
  }
};

void AddProjected(GraphicsWindow& gw, const Point3& p, ScreenRect& r) {
  IPoint3 s;
  if (gw.transPoint(&p, &s)) r.behind = true;
  else r.Add(float(s.x), float(s.y));
}

// The rectangle a region pick is compared with: the box itself, the square around a circle,
// the points' bounds of a fence or lasso, the first point of a paint pick.
ScreenRect RegionRect(const HitRegion& hr, const IPoint2* p) {
  ScreenRect r;
  switch (hr.type) {
    case HITTYPE_BOX:
      r.Add(float(p[0].x), float(p[0].y));
      r.Add(float(p[1].x), float(p[1].y));
      break;
    case HITTYPE_CIRCLE: {
      const float dx = float(p[1].x - p[0].x), dy = float(p[1].y - p[0].y);
      const float h = std::sqrt(dx * dx + dy * dy);
      r.Add(float(p[0].x) - h, float(p[0].y) - h);
      r.Add(float(p[0].x) + h, float(p[0].y) + h);
      break;
    }
    case HITTYPE_FENCE:
    case HITTYPE_LASSO:
      for (const IPoint2& q : hr.points) r.Add(float(q.x), float(q.y));
      if (r.Empty()) r.Add(float(p[0].x), float(p[0].y));
      break;
    default:
      r.Add(float(p[0].x), float(p[0].y));
      break;
  }
  return r;
}

}  // namespace

int HitTestHair(HairObject& obj, TimeValue t, INode* node, int type, int crossing, int,
                const IPoint2& p, ViewExp* vpt) {
  if (!vpt || !vpt->IsAlive()) return 0;
  std::lock_guard lock(obj.EvalLock());
  const StrandSet& set = obj.BuildViewportStrands(t);
  GraphicsWindow& gw = *vpt->getGW();

  HitRegion hr;
  MakeHitRegion(hr, type, crossing, kPickEpsilon, &p);
  const DWORD savedLimits = gw.getRndLimits();
  gw.setRndLimits((savedLimits & ~GW_ILLUM) | GW_PICK);
  gw.setHitRegion(&hr);
  gw.clearHitCode();
  gw.setTransform(Matrix3());

  const bool pointPick = type == HITTYPE_POINT;
  const bool windowPick = !pointPick && !crossing;
  bool hit = false, final = false;

  // The icon's segments, in world space.
  std::vector<Point3> icon;
  if (node) {
    Box3 world;
    obj.GetWorldBoundBox(t, node, vpt, world);
    BuildHairIcon(HairIconSize(world), icon);
    const Matrix3 tm = node->GetObjectTM(t);
    for (Point3& v : icon) v = tm.PointTransform(v);
    for (std::size_t i = 0; i + 1 < icon.size() && !hit; i += 2) {
      gw.polyline(2, &icon[i], nullptr, false);
      hit = gw.checkHitCode();
    }
  }

  // Screen rectangles of the icon (I) and of the icon with the strand box (A).
  if ((!hit || windowPick) && type != HITTYPE_SOLID) {
    ScreenRect I;
    for (const Point3& v : icon) AddProjected(gw, v, I);
    ScreenRect A = I;
    const Box3& b = obj.StrandBounds();
    if (!b.IsEmpty())
      for (int i = 0; i < 8; ++i)
        AddProjected(gw,
                     Point3((i & 1) ? b.pmax.x : b.pmin.x, (i & 2) ? b.pmax.y : b.pmin.y,
                            (i & 4) ? b.pmax.z : b.pmin.z),
                     A);
    if (pointPick) {
      const float e = float(kPickEpsilon);
      hit = !I.Empty() && float(p.x) >= I.x0 - e && float(p.x) <= I.x1 + e &&
            float(p.y) >= I.y0 - e && float(p.y) <= I.y1 + e;
    } else {
      const ScreenRect R = RegionRect(hr, &p);
      if (windowPick) {
        hit = A.Inside(R);
        final = true;
      } else {
        hit = I.Overlaps(R);
      }
    }
  }

  const std::size_t n = set.StrandCount();
  const std::size_t P = std::size_t(std::max(set.pointsPerStrand, 0));
  const bool strandsOk = P > 0 && set.points.size() >= n * P;

  // A sample of at most about 40000 strands as polylines.
  if (!hit && !final && strandsOk && n > 0) {
    const std::size_t k = std::max<std::size_t>(1, n / 40000);
    std::vector<Point3> line(P);
    for (std::size_t s = 0; s < n && !hit; s += k) {
      for (std::size_t i = 0; i < P; ++i) {
        const V3& q = set.points[s * P + i];
        line[i] = Point3(q.x, q.y, q.z);
      }
      gw.polyline(int(P), line.data(), nullptr, false);
      hit = gw.checkHitCode();
    }
  }

  // Point picks: the middle points of a sample of strands within 6 pixels.
  if (!hit && !final && pointPick && strandsOk && n > 0 && !obj.StrandBounds().IsEmpty()) {
    const std::size_t j = std::max<std::size_t>(1, n / 20000);
    long long best = -1;
    for (std::size_t s = 0; s < n; s += j) {
      const V3& q = set.points[s * P + P / 2];
      const Point3 w(q.x, q.y, q.z);
      IPoint3 sp;
      if (gw.transPoint(&w, &sp)) continue;
      const long long dx = sp.x - p.x, dy = sp.y - p.y;
      const long long d2 = dx * dx + dy * dy;
      if (best < 0 || d2 < best) best = d2;
    }
    hit = best >= 0 && best < 36;
  }

  gw.setRndLimits(savedLimits);
  return hit ? 1 : 0;
}

}  // namespace crn
