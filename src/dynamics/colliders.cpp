#include "dynamics/colliders.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "dynamics/sim_hooks.h"
#include "dynamics/sim_params.h"
#include "hair/hair_params.h"
#include "host/inode.h"
#include "host/simple_object.h"
#include "plugin/worker_pool.h"

namespace crn {

using hsim::F3;
using namespace host;

bool AppendNodeTriangles(INode* node, TimeValue t, std::vector<F3>& soup) {
  if (!node) return false;
  Object* obj = node->EvalWorldState(t);
  if (!obj || !obj->CanConvertToType(triObjectClassID)) return false;
  const Mesh* mesh = obj->GetMesh(t);
  if (!mesh) return false;
  const Matrix3 tm = node->GetObjectTM(t);
  std::vector<F3> world(mesh->verts.size());
  for (std::size_t i = 0; i < world.size(); ++i) {
    const Point3 p = tm.PointTransform(mesh->verts[i]);
    world[i] = F3(p.x, p.y, p.z);
  }
  for (const Face& f : mesh->faces) {
    if (f.v[0] >= world.size() || f.v[1] >= world.size() || f.v[2] >= world.size()) continue;
    for (int c = 0; c < 3; ++c) soup.push_back(world[f.v[c]]);
  }
  return true;
}

std::vector<F3> GatherColliders(Object& hair, TimeValue t, const GuideSet& targets, bool otherHair) {
  std::vector<F3> soup;
  const std::size_t nv = targets.vertices.size();
  for (std::size_t i = 0; i + 2 < targets.triangles.size(); i += 3) {
    const std::int32_t a = targets.triangles[i], b = targets.triangles[i + 1],
                       c = targets.triangles[i + 2];
    if (a < 0 || b < 0 || c < 0 || std::size_t(a) >= nv || std::size_t(b) >= nv ||
        std::size_t(c) >= nv)
      continue;
    soup.push_back(targets.vertices[std::size_t(a)]);
    soup.push_back(targets.vertices[std::size_t(b)]);
    soup.push_back(targets.vertices[std::size_t(c)]);
  }
  IParamBlock2* pb = ParamsOf(hair);
  if (!pb) return soup;
  for (int i = 0; i < pb->Count(hp::colliders); ++i)
    AppendNodeTriangles(pb->GetINode(hp::colliders, t, i), t, soup);
  if (otherHair) {
    INode* own = pb->GetINode(hp::surface, t);
    for (auto& [id, state] : SimRegistry::Get().All()) {
      if (!state->owner || state->owner == &hair) continue;
      IParamBlock2* other = ParamsOf(*state->owner);
      INode* surface = other ? other->GetINode(hp::surface, t) : nullptr;
      if (surface && surface != own) AppendNodeTriangles(surface, t, soup);
    }
  }
  return soup;
}

hsim::ForRanges PoolRanges() {
  return [](std::int64_t count, std::int64_t grain,
            const std::function<void(std::int64_t, std::int64_t)>& body) {
    ParallelFor(
        std::uint64_t(count),
        [&](std::uint64_t begin, std::uint64_t end) {
          body(std::int64_t(begin), std::int64_t(end));
        },
        std::uint64_t(std::max<std::int64_t>(1, grain)));
  };
}

void BuildColliderGrid(ColliderGrid& g, const std::vector<F3>& soup, float offset) {
  const std::size_t T = soup.size() / 3;
  // Triangles that did not move since the grid was built (static scenery) keep their grid.
  if (T > 0 && g.grid.cellStart && g.offset == offset && g.triVerts.size() == 3 * T &&
      std::memcmp(g.triVerts.data(), soup.data(), 3 * T * sizeof(F3)) == 0)
    return;
  {
    // A fresh grid, which keeps the item array's memory: an animated collider is built anew
    // every frame, and fresh pages would have to be faulted in each time.
    ColliderGrid fresh;
    fresh.items.coords.swap(g.items.coords);
    fresh.items.coords.clear();
    g = std::move(fresh);
  }
  if (T == 0) return;
  F3 lo(1e30f, 1e30f, 1e30f), hi(-1e30f, -1e30f, -1e30f);
  double edge = 0;
  for (std::size_t t = 0; t < T; ++t) {
    for (int c = 0; c < 3; ++c) {
      const F3& v = soup[3 * t + c];
      lo = F3(std::min(lo.x, v.x), std::min(lo.y, v.y), std::min(lo.z, v.z));
      hi = F3(std::max(hi.x, v.x), std::max(hi.y, v.y), std::max(hi.z, v.z));
    }
    edge += Length(soup[3 * t + 1] - soup[3 * t]);
  }
  if (!(std::isfinite(lo.x) && std::isfinite(lo.y) && std::isfinite(lo.z) &&
        std::isfinite(hi.x) && std::isfinite(hi.y) && std::isfinite(hi.z)))
    return;
  const float m = 5.f * offset + 1e-4f;
  float c = std::max(1e-4f, float(1.5 * edge / double(T)));
  const float q = c + m;
  const F3 origin = lo - F3(q, q, q);
  const F3 extent = hi - lo + F3(2 * q, 2 * q, 2 * q);
  auto counts = [&](float cell, std::int64_t n[3]) {
    const float e[3] = {extent.x, extent.y, extent.z};
    for (int a = 0; a < 3; ++a)
      n[a] = std::max<std::int64_t>(1, std::int64_t(std::ceil(double(e[a]) / double(cell))));
  };
  std::int64_t n[3];
  counts(c, n);
  while (double(n[0]) * double(n[1]) * double(n[2]) > 8000000.0) {
    c *= 1.4f;
    counts(c, n);
  }

  g.triVerts.assign(soup.begin(), soup.begin() + std::ptrdiff_t(3 * T));
  g.triNormals.resize(T);
  for (std::size_t t = 0; t < T; ++t)
    g.triNormals[t] = UnitOr(Cross(soup[3 * t + 1] - soup[3 * t], soup[3 * t + 2] - soup[3 * t]),
                             F3(0, 0, 1));

  // The cells overlapped by a triangle's bounds grown by m.
  struct CellBox {
    std::int64_t x0, x1, y0, y1, z0, z1;
  };
  auto range = [&](float vmin, float vmax, float o, std::int64_t count, std::int64_t& a,
                   std::int64_t& b) {
    a = std::max<std::int64_t>(0, std::int64_t((vmin - m - o) / c));
    b = std::min<std::int64_t>(count - 1, std::int64_t((vmax + m - o) / c));
  };
  auto box = [&](std::size_t t) {
    const F3 &a = soup[3 * t], &b = soup[3 * t + 1], &d = soup[3 * t + 2];
    CellBox r;
    range(std::min({a.x, b.x, d.x}), std::max({a.x, b.x, d.x}), origin.x, n[0], r.x0, r.x1);
    range(std::min({a.y, b.y, d.y}), std::max({a.y, b.y, d.y}), origin.y, n[1], r.y0, r.y1);
    range(std::min({a.z, b.z, d.z}), std::max({a.z, b.z, d.z}), origin.z, n[2], r.z0, r.z1);
    return r;
  };
  // A few huge triangles among small ones could list themselves in millions of cells each:
  // such soups get coarser cells rather than an enormous item list.
  constexpr double kMaxItems = 64e6;
  while (true) {
    double items = 0;
    for (std::size_t t = 0; t < T && items <= kMaxItems; ++t) {
      const CellBox b = box(t);
      items += double(b.x1 - b.x0 + 1) * double(b.y1 - b.y0 + 1) * double(b.z1 - b.z0 + 1);
    }
    if (items <= kMaxItems) break;
    c *= 1.4f;
    counts(c, n);
  }
  const std::size_t cells = std::size_t(n[0] * n[1] * n[2]);
  g.cellStart.assign(cells + 1, 0);
  auto forCells = [&](std::size_t t, auto&& fn) {
    const CellBox b = box(t);
    for (std::int64_t z = b.z0; z <= b.z1; ++z)
      for (std::int64_t y = b.y0; y <= b.y1; ++y)
        for (std::int64_t x = b.x0; x <= b.x1; ++x) fn(std::size_t((z * n[1] + y) * n[0] + x));
  };
  for (std::size_t t = 0; t < T; ++t) forCells(t, [&](std::size_t i) { ++g.cellStart[i + 1]; });
  for (std::size_t i = 0; i < cells; ++i) g.cellStart[i + 1] += g.cellStart[i];
  g.cellItems.resize(std::size_t(g.cellStart[cells]));
  std::vector<std::int32_t> fill(g.cellStart.begin(), g.cellStart.end() - 1);
  for (std::size_t t = 0; t < T; ++t)
    forCells(t, [&](std::size_t i) { g.cellItems[std::size_t(fill[i]++)] = std::int32_t(t); });

  g.offset = offset;
  g.grid.origin = origin;
  g.grid.cell = c;
  g.grid.nx = std::int32_t(n[0]);
  g.grid.ny = std::int32_t(n[1]);
  g.grid.nz = std::int32_t(n[2]);
  g.grid.cellStart = g.cellStart.data();
  g.grid.cellItems = g.cellItems.data();
  g.grid.triVerts = g.triVerts.data();
  g.grid.triNormals = g.triNormals.data();
  hsim::BuildGridItems(g.grid, g.TriangleCount(), g.items, offset, PoolRanges());
}

}  // namespace crn
