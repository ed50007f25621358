#include "hair/face_features.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "hair/face_coords.h"
#include "hair/surface_geometry.h"

namespace crn {

void FindNoseTip(const GuideSet& g, GenSettings& s) {
  s.noseTipZ = -1e9f;
  s.noseTipY = 0;
  if (!s.faceOn) return;
  const FaceAxes axes = MakeFaceAxes(s);
  bool found = false;
  for (const V3& p : g.vertices) {
    const V3 q = FaceCoords(s, axes, p);
    if (!(std::fabs(q.x) <= 0.35f && q.y >= -2.f && q.y <= 1.f && q.z >= -1.f && q.z <= 3.f))
      continue;
    if (!found || q.z > s.noseTipZ) {  // the first of equal candidates stays
      s.noseTipZ = q.z;
      s.noseTipY = q.y;
      found = true;
    }
  }
}

namespace {

std::int32_t FindRoot(std::vector<std::int32_t>& parent, std::int32_t v) {
  while (parent[v] != v) {
    parent[v] = parent[parent[v]];  // path halving
    v = parent[v];
  }
  return v;
}

}  // namespace

void FindEyes(const GuideSet& rest, std::vector<V3>& centres, std::vector<float>& radii,
              std::vector<char>& eyeTriangles) {
  centres.clear();
  radii.clear();
  const std::size_t nv = rest.vertices.size(), nt = rest.TriangleCount();
  eyeTriangles.assign(nt, 0);
  if (nv == 0 || nt == 0 || !TrianglesValid(rest)) return;

  // Connected elements: vertices joined by shared triangles.
  std::vector<std::int32_t> parent(nv);
  std::iota(parent.begin(), parent.end(), 0);
  for (std::size_t f = 0; f < nt; ++f) {
    const std::int32_t a = FindRoot(parent, rest.triangles[f * 3]);
    for (int c = 1; c < 3; ++c) {
      const std::int32_t b = FindRoot(parent, rest.triangles[f * 3 + c]);
      if (a != b) parent[std::max(a, b)] = std::min(a, b);  // the lowest index is the root
    }
  }

  // Bounds of each element over the vertices its triangles use.
  struct Element {
    V3 lo{1e30f, 1e30f, 1e30f}, hi{-1e30f, -1e30f, -1e30f};
    bool used = false, eye = false;
  };
  std::vector<Element> elems(nv);
  std::vector<char> used(nv, 0);
  for (std::size_t f = 0; f < nt; ++f)
    for (int c = 0; c < 3; ++c) used[rest.triangles[f * 3 + c]] = 1;
  for (std::size_t v = 0; v < nv; ++v) {
    if (!used[v]) continue;
    Element& e = elems[FindRoot(parent, std::int32_t(v))];
    const V3 p = rest.vertices[v];
    e.lo = {std::min(e.lo.x, p.x), std::min(e.lo.y, p.y), std::min(e.lo.z, p.z)};
    e.hi = {std::max(e.hi.x, p.x), std::max(e.hi.y, p.y), std::max(e.hi.z, p.z)};
    e.used = true;
  }

  V3 bmin, bmax;
  SurfaceBounds(rest, bmin, bmax);
  const float surfaceDiag = Length(bmax - bmin);
  const float minCentreZ = bmin.z + 0.45f * (bmax.z - bmin.z);
  for (std::size_t r = 0; r < nv; ++r) {  // elements in the order of their lowest vertex
    Element& e = elems[r];
    if (!e.used) continue;
    const V3 ext = e.hi - e.lo;
    const float largest = std::max(ext.x, std::max(ext.y, ext.z));
    const float smallest = std::min(ext.x, std::min(ext.y, ext.z));
    const V3 centre = (e.lo + e.hi) * 0.5f;
    if (Length(ext) < 0.04f * surfaceDiag && largest > 0 && smallest >= 0.45f * largest &&
        centre.z >= minCentreZ) {
      e.eye = true;
      centres.push_back(centre);
      radii.push_back(0.5f * largest);
    }
  }
  for (std::size_t f = 0; f < nt; ++f)
    eyeTriangles[f] = elems[FindRoot(parent, rest.triangles[f * 3])].eye ? 1 : 0;
}

void FindEyes(const GuideSet& rest, std::vector<V3>& centres, std::vector<float>& radii) {
  std::vector<char> eyeTriangles;
  FindEyes(rest, centres, radii, eyeTriangles);
}

}  // namespace crn
