#include "hair/surface_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <unordered_map>

namespace crn {

namespace {

// Rounded weld cell of a vertex.
struct WeldCell {
  std::int64_t x, y, z;
  bool operator==(const WeldCell&) const = default;
};
struct WeldCellHash {
  std::size_t operator()(const WeldCell& c) const {
    std::uint64_t h = CellKey64(c.x, c.y, c.z);
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    return std::size_t(h);
  }
};

std::int64_t RoundCell(double x) {
  constexpr double kLimit = 9.0e18;  // keeps llround defined for far-away or broken input
  if (!(x > -kLimit)) return std::numeric_limits<std::int64_t>::min();
  if (!(x < kLimit)) return std::numeric_limits<std::int64_t>::max();
  return std::llround(x);
}

// For every vertex, the first vertex of its weld group: the first earlier vertex in the same
// rounded cell within tol on every axis joins it to that vertex's group. Vertices are chained
// per cell (head / tail / next) so the pass is O(n) on average without a list per cell.
std::vector<std::int32_t> WeldGroups(const std::vector<V3>& verts) {
  const std::size_t n = verts.size();
  std::vector<std::int32_t> group(n);
  if (n == 0) return group;
  V3 lo = verts[0], hi = verts[0];
  for (const V3& p : verts) {
    lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
    hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
  }
  const double dx = double(hi.x) - lo.x, dy = double(hi.y) - lo.y, dz = double(hi.z) - lo.z;
  const double diag = std::sqrt(dx * dx + dy * dy + dz * dz);
  const double tol = std::max(1e-6 * diag, 1e-9);

  struct Chain {
    std::int32_t head, tail;
  };
  std::unordered_map<WeldCell, Chain, WeldCellHash> cells;
  cells.reserve(n);
  std::vector<std::int32_t> next(n, -1);
  for (std::size_t i = 0; i < n; ++i) {
    const V3& p = verts[i];
    group[i] = std::int32_t(i);
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) continue;
    const WeldCell key{RoundCell(p.x / tol), RoundCell(p.y / tol), RoundCell(p.z / tol)};
    auto [it, inserted] = cells.try_emplace(key, Chain{std::int32_t(i), std::int32_t(i)});
    if (inserted) continue;
    for (std::int32_t j = it->second.head; j >= 0; j = next[j]) {
      const V3& q = verts[j];
      if (std::fabs(double(p.x) - q.x) <= tol && std::fabs(double(p.y) - q.y) <= tol &&
          std::fabs(double(p.z) - q.z) <= tol) {
        group[i] = group[j];
        break;
      }
    }
    next[it->second.tail] = std::int32_t(i);
    it->second.tail = std::int32_t(i);
  }
  return group;
}

}  // namespace

void ComputeNormalsTangents(GuideSet& g) {
  const std::size_t nv = g.vertices.size();
  const std::size_t nt = TrianglesValid(g) ? g.TriangleCount() : 0;  // broken: defaults only
  std::vector<V3> nsum(nv), tsum(nv);
  const bool haveUV = g.cornerUVW.size() == nt * 3 && nt > 0;
  for (std::size_t f = 0; f < nt; ++f) {
    const std::int32_t* tri = &g.triangles[f * 3];
    const V3 p0 = g.vertices[tri[0]];
    const V3 e1 = g.vertices[tri[1]] - p0, e2 = g.vertices[tri[2]] - p0;
    const V3 n = Cross(e1, e2);  // length = twice the area: area weighting
    for (int c = 0; c < 3; ++c) nsum[tri[c]] += n;
    if (!haveUV) continue;
    const V3 uv0 = g.cornerUVW[f * 3], uv1 = g.cornerUVW[f * 3 + 1], uv2 = g.cornerUVW[f * 3 + 2];
    const float du1 = uv1.x - uv0.x, dv1 = uv1.y - uv0.y;
    const float du2 = uv2.x - uv0.x, dv2 = uv2.y - uv0.y;
    const float det = du1 * dv2 - du2 * dv1;
    if (!(std::fabs(det) > 1e-12f)) continue;
    const V3 tan = (e1 * dv2 - e2 * dv1) / det;  // direction of increasing u
    for (int c = 0; c < 3; ++c) tsum[tri[c]] += tan;
  }

  // Coincident vertices (UV seams, split normals) share the sums of their group.
  const std::vector<std::int32_t> group = WeldGroups(g.vertices);
  for (std::size_t i = 0; i < nv; ++i)
    if (group[i] != std::int32_t(i)) {
      nsum[group[i]] += nsum[i];
      tsum[group[i]] += tsum[i];
    }

  g.normals.resize(nv);
  g.tangents.resize(nv);
  for (std::size_t i = 0; i < nv; ++i) {
    const std::size_t r = std::size_t(group[i]);
    const V3 n = UnitOr(nsum[r], V3(0, 0, 1));
    V3 t = tsum[r];
    if (LengthSq(t) < 1e-20f) {
      t = Cross(V3(0, 0, 1), n);
      if (Length(t) < 1e-4f) t = V3(1, 0, 0);
    }
    t = t - n * Dot(n, t);
    g.normals[i] = n;
    g.tangents[i] = UnitOr(t, V3(0, 0, 1));
  }
}

bool TrianglesValid(const GuideSet& g) {
  const std::size_t nv = g.vertices.size();
  for (std::int32_t v : g.triangles)
    if (v < 0 || std::size_t(v) >= nv) return false;
  return true;
}

void SurfaceBounds(const GuideSet& g, V3& bmin, V3& bmax) {
  if (g.vertices.empty()) {
    bmin = bmax = V3();
    return;
  }
  bmin = bmax = g.vertices[0];
  for (const V3& p : g.vertices) {
    bmin = {std::min(bmin.x, p.x), std::min(bmin.y, p.y), std::min(bmin.z, p.z)};
    bmax = {std::max(bmax.x, p.x), std::max(bmax.y, p.y), std::max(bmax.z, p.z)};
  }
}

void GenerateUVs(GuideSet& g, int autoUV) {
  const std::size_t nt = g.TriangleCount();
  if (autoUV <= 0 || autoUV > 3) {
    if (!g.cornerUVW.empty() && g.cornerUVW.size() == nt * 3) return;  // mesh UVs kept
    autoUV = 1;
  }
  V3 m, top;
  SurfaceBounds(g, m, top);
  const V3 c = (m + top) * 0.5f;
  const V3 ext = top - m;
  const float h = std::max(ext.z, 1e-6f);
  const float E = std::max(std::max(ext.x, ext.y), std::max(ext.z, 1e-6f));
  constexpr float kTwoPi = 2.f * std::numbers::pi_v<float>;
  constexpr float kPi = std::numbers::pi_v<float>;

  std::vector<V3> uvw(nt * 3);
  for (std::size_t f = 0; f < nt; ++f) {
    const V3 p[3] = {g.vertices[g.triangles[f * 3]], g.vertices[g.triangles[f * 3 + 1]],
                     g.vertices[g.triangles[f * 3 + 2]]};
    V3* out = &uvw[f * 3];
    if (autoUV == 3) {
      const V3 n = Cross(p[1] - p[0], p[2] - p[0]);
      const float ax = std::fabs(n.x), ay = std::fabs(n.y), az = std::fabs(n.z);
      for (int k = 0; k < 3; ++k) {
        const V3 d = p[k] - m;
        if (az >= ax && az >= ay)
          out[k] = {d.x / E, d.y / E, 0};
        else if (ax >= ay)
          out[k] = {d.y / E, d.z / E, 0};
        else
          out[k] = {d.x / E, d.z / E, 0};
      }
      continue;
    }
    for (int k = 0; k < 3; ++k) {
      if (autoUV == 1) {
        const V3 d = UnitOr(p[k] - c, V3(0, 0, 1));
        out[k] = {std::atan2(d.y, d.x) / kTwoPi + 0.5f,
                  std::acos(std::clamp(d.z, -1.f, 1.f)) / kPi, 0};
      } else {
        out[k] = {std::atan2(p[k].y - c.y, p[k].x - c.x) / kTwoPi + 0.5f, (p[k].z - m.z) / h, 0};
      }
    }
    // A triangle that straddles the seam continues past u = 1 instead of wrapping back.
    const float umax = std::max(out[0].x, std::max(out[1].x, out[2].x));
    for (int k = 0; k < 3; ++k)
      if (umax - out[k].x > 0.5f) out[k].x += 1.f;
  }
  g.cornerUVW = std::move(uvw);
}

}  // namespace crn
