#include "dynamics/water.h"

#include <algorithm>

#include "dynamics/sim_params.h"
#include "hair/hair_params.h"
#include "host/inode.h"
#include "host/particles.h"
#include "plugin/worker_pool.h"

namespace crn {

using namespace host;

WaterGrid BuildWaterGrid(Object& hair, TimeValue t) {
  WaterGrid grid;
  IParamBlock2* pb = ParamsOf(hair);
  if (!pb) return grid;
  grid.radius = std::max(pb->GetFloat(hp::waterRadius, t), 1e-4f);
  for (int i = 0; i < pb->Count(hp::waterNodes); ++i) {
    INode* node = pb->GetINode(hp::waterNodes, t, i);
    IParticleObjectExt* ext = node ? GetParticleObjectExtInterface(node->EvalWorldState(t)) : nullptr;
    if (!ext) continue;
    ext->UpdateParticles(node, t);
    const Matrix3 tm = node->GetNodeTM(t);
    for (int k = 0; k < ext->NumParticles(); ++k) {
      const Point3* p = ext->GetParticlePositionByIndex(k);
      if (!p) continue;
      const Point3 w = tm.PointTransform(*p);
      const Point3* s = ext->GetParticleSpeedByIndex(k);
      const Point3 vel = s ? tm.VectorTransform(*s) * float(TICKS_PER_SECOND) : Point3();
      grid.positions.emplace_back(w.x, w.y, w.z);
      grid.velocities.emplace_back(vel.x, vel.y, vel.z);
    }
  }
  HashWater(grid);
  return grid;
}

void HashWater(WaterGrid& grid) { grid.cells.Build(grid.positions, grid.radius); }

WaterSample SampleWater(const WaterGrid& grid, const V3& p) {
  if (grid.Empty()) return {};
  const float r2 = grid.radius * grid.radius;
  const CellCoord c = CellOf(p, grid.radius);
  float W = 0;
  V3 V(0, 0, 0);
  for (int dz = -1; dz <= 1; ++dz)
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx)
        for (std::int32_t j : grid.cells.Items(CellKey64(c.x + dx, c.y + dy, c.z + dz))) {
          const float d2 = LengthSq(p - grid.positions[std::size_t(j)]);
          if (!(d2 < r2)) continue;
          const float q = 1.f - d2 / r2;
          const float w = q * q;
          W += w;
          V += grid.velocities[std::size_t(j)] * w;
        }
  if (!(W > 0)) return {};
  return {V / W, std::min(W / 1.5f, 1.f)};
}

WaterSettings ReadWaterSettings(const IParamBlock2& pb, TimeValue t) {
  WaterSettings s;
  s.buoyancy = pb.GetFloat(hp::buoyancy, t);
  s.drag = pb.GetFloat(hp::waterDrag, t);
  s.wetSpeed = pb.GetFloat(hp::wetSpeed, t);
  s.dryTime = std::max(pb.GetFloat(hp::dryTime, t), 0.1f);
  return s;
}

void AddWaterForces(const WaterGrid& grid, const WaterSettings& ws, const std::vector<V3>& x,
                    const std::vector<V3>& v, int P, float frameTime, std::vector<V3>& E,
                    std::vector<float>& wetness) {
  if (P < 1) return;
  const std::size_t N = x.size() / std::size_t(P);
  if (wetness.size() != N) wetness.assign(N, 0.f);
  if (E.size() != x.size()) E.assign(x.size(), V3(0, 0, 0));
  const float g = GravityAccel();
  const float dragScale = ws.drag / std::max(0.001f, frameTime) * 0.5f;
  ParallelFor(
      N,
      [&](std::uint64_t begin, std::uint64_t end) {
        for (std::uint64_t gi = begin; gi < end; ++gi) {
          float b = 0;
          for (int i = 0; i < P; ++i) {
            const std::size_t k = gi * std::size_t(P) + std::size_t(i);
            const WaterSample s = SampleWater(grid, x[k]);
            b = std::max(b, i == 0 ? 0.5f * s.density : s.density);
            if (i < 2 || !(s.density > 0)) continue;
            E[k].z += g * ws.buoyancy * s.density;
            E[k] += (s.velocity - v[k]) * (s.density * dragScale);
          }
          float& w = wetness[gi];
          w = b > 0 ? std::min(1.f, w + b * ws.wetSpeed) : std::max(0.f, w - frameTime / ws.dryTime);
        }
      },
      256);
}

}  // namespace crn
