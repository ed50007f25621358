#include "hair/flow_fields.h"

#include <algorithm>
#include <cmath>

#include "hair/surface_geometry.h"

namespace crn {

namespace {

// Angle about n, measured from t, of the wanted direction projected into the tangent plane.
std::vector<float> CombAngles(const GuideSet& rest, const GenSettings& s) {
  const std::size_t nv = rest.vertices.size();
  std::vector<float> angles(nv);
  V3 bmin, bmax;
  SurfaceBounds(rest, bmin, bmax);
  const V3 centre = (bmin + bmax) * 0.5f;
  const float zMid = centre.z;
  const float zSpan = std::max(zMid - bmin.z, 1e-6f);
  for (std::size_t k = 0; k < nv; ++k) {
    const V3 p = rest.vertices[k], n = rest.normals[k], t = rest.tangents[k];
    V3 want(0, 0, -1);
    if (s.flowMode == 1) {
      // Away from the face (or the body's vertical axis), bending down over the lower body.
      const V3 dir = s.faceOn ? UnitOr(p - s.facePos, V3())
                              : UnitOr(V3(p.x - centre.x, p.y - centre.y, 0), V3());
      const float o = Clamp01(1.6f * (zMid - p.z) / zSpan);
      want = UnitOr(V3(dir.x * (1 - o), dir.y * (1 - o), dir.z * (1 - o) - (1.5f * o + 0.35f)),
                    V3());
    }
    V3 w = want - n * Dot(n, want);
    if (Length(w) < 1e-5f) w = t;
    angles[k] = std::atan2(Dot(w, Cross(n, t)), Dot(w, t));
  }
  return angles;
}

}  // namespace

FlowFields ComputeFlowFields(const GuideSet& rest, const GenSettings& s) {
  FlowFields out;
  const std::size_t nv = rest.vertices.size();
  if (rest.normals.size() != nv || rest.tangents.size() != nv || !TrianglesValid(rest)) return out;
  if (s.flowMode == 1 || s.flowMode == 2) out.combAngles = CombAngles(rest, s);

  // Bare palms needs the curvature too and then shortens by at least a hint.
  const float smallParts = s.barePalms ? std::max(s.smallParts, 0.001f) : s.smallParts;
  if (!(smallParts > 0)) return out;

  // Curvature: normal turn per unit edge length, averaged over the vertex's edges.
  std::vector<double> angleSum(nv, 0.0), lengthSum(nv, 0.0);
  std::vector<int> edgeCount(nv, 0);
  const std::size_t nt = rest.TriangleCount();
  for (std::size_t f = 0; f < nt; ++f)
    for (int e = 0; e < 3; ++e) {
      const std::int32_t i = rest.triangles[f * 3 + e], j = rest.triangles[f * 3 + (e + 1) % 3];
      const float len = Length(rest.vertices[j] - rest.vertices[i]);
      if (!(len > 0)) continue;
      const float ang = std::acos(std::clamp(Dot(rest.normals[i], rest.normals[j]), -1.f, 1.f));
      angleSum[i] += ang;
      angleSum[j] += ang;
      lengthSum[i] += len;
      lengthSum[j] += len;
      ++edgeCount[i];
      ++edgeCount[j];
    }
  std::vector<double> radius(nv, 1e9);
  std::vector<float> f0(nv, 1.f);
  const double len = std::max(double(s.length), 1e-6);
  for (std::size_t k = 0; k < nv; ++k) {
    if (edgeCount[k] == 0) continue;
    const double kappa = angleSum[k] / std::max(lengthSum[k], 1e-9);
    radius[k] = kappa <= 1e-9 ? 1e9 : 1.0 / kappa;
    f0[k] = float(std::min(std::max(radius[k] / (3.0 * len), 0.12), 1.0));
  }
  // Smoothing over the vertex and the next corner of every triangle corner at it.
  std::vector<float> sum(f0);
  std::vector<int> cnt(nv, 1);
  for (std::size_t f = 0; f < nt; ++f)
    for (int c = 0; c < 3; ++c) {
      const std::int32_t v = rest.triangles[f * 3 + c], nextV = rest.triangles[f * 3 + (c + 1) % 3];
      sum[v] += f0[nextV];
      ++cnt[v];
    }
  out.lengthFactors.resize(nv);
  for (std::size_t k = 0; k < nv; ++k)
    out.lengthFactors[k] = 1.f - (1.f - sum[k] / float(cnt[k])) * smallParts;

  V3 bmin, bmax;
  SurfaceBounds(rest, bmin, bmax);
  const double diag = Length(bmax - bmin);
  const double thinScale = std::max(0.025 * diag, 1e-30);
  out.thinness.resize(nv);
  for (std::size_t k = 0; k < nv; ++k)
    out.thinness[k] = float(std::min(radius[k] / thinScale, 1.0));
  return out;
}

}  // namespace crn
