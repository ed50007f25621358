#include "dynamics/self_volume.h"

#include <algorithm>
#include <cmath>

#include "dynamics/cell_hash.h"
#include "dynamics/colliders.h"
#include "host/platform.h"
#include "kernels/sim_step_kernel.h"
#include "plugin/worker_pool.h"

namespace crn {

namespace {

constexpr int kMaxPackedPoints = 128;  // longer guides compare coordinates

// Points of the guide (its P cells from `guide`) in cell c.
std::int32_t OwnInCell(const CellCoord* guide, int P, const CellCoord& c) {
  std::int32_t own = 0;  // without branches: which points share the cell is unpredictable
  for (int k = 0; k < P; ++k)
    own += int(guide[k].x == c.x) & int(guide[k].y == c.y) & int(guide[k].z == c.z);
  return own;
}

// OwnInCell of every point of a guide. When the guide's cells lie within 512 cells of its
// first one on each axis, each cell is one 32-bit word (its offsets from that cell), so the
// comparisons run four or eight at a time; otherwise the coordinates are compared.
void OwnInCells(const CellCoord* guide, int P, std::int32_t* own) {
  constexpr std::int64_t kReach = 512;
  alignas(32) std::uint32_t packed[kMaxPackedPoints];
  bool near = P <= kMaxPackedPoints;
  for (int k = 0; k < P && near; ++k) {
    const std::int64_t d[3] = {guide[k].x - guide[0].x, guide[k].y - guide[0].y, guide[k].z - guide[0].z};
    for (const std::int64_t a : d) near = near && a > -kReach && a < kReach;
    packed[k] = std::uint32_t(d[0] + kReach) | std::uint32_t(d[1] + kReach) << 10 |
                std::uint32_t(d[2] + kReach) << 20;
  }
  for (int k = 0; k < P; ++k) {
    if (!near) {
      own[k] = OwnInCell(guide, P, guide[k]);
      continue;
    }
    const std::uint32_t cell = packed[k];
    std::int32_t n = 0;
    for (int j = 0; j < P; ++j) n += std::int32_t(packed[j] == cell);
    own[k] = n;
  }
}

}  // namespace

void InitSelfVolume(GuideSolver& s) {
  const std::int64_t N = s.N;
  const int P = s.P;
  const std::int64_t stride = std::max<std::int64_t>(1, N / 200);
  double sum = 0;
  std::int64_t count = 0;
  for (std::int64_t g = 0; g < N; g += stride)
    for (int k = 1; k < P; ++k) {
      sum += s.L[std::size_t(g * P + k)];
      ++count;
    }
  s.volumeCell = count > 0 ? std::max(1e-4f, float(2.0 * sum / double(count))) : 1.f;
  std::vector<CellCoord> cells;
  CellDensity grid;
  grid.Build(s.x, s.volumeCell, cells);
  s.restDensity.assign(s.x.size(), 0.f);
  if (P < 1) return;
  const std::uint64_t guides = s.x.size() / std::uint64_t(P);
  ParallelFor(
      guides,
      [&](std::uint64_t firstGuide, std::uint64_t endGuide) {
        std::vector<std::int32_t> own(std::size_t(P), 0);
        for (std::uint64_t g = firstGuide; g < endGuide; ++g) {
          const std::size_t root = std::size_t(g) * std::size_t(P);
          OwnInCells(cells.data() + root, P, own.data());
          for (int k = 0; k < P; ++k) {
            const std::size_t i = root + std::size_t(k);
            s.restDensity[i] = float(grid.CountOfPoint(i) - own[std::size_t(k)]);
          }
        }
      },
      std::max<std::uint64_t>(1, 4096 / std::uint64_t(P)));
}

float SelfVolumeSkin(bool collide, float dynRadius, const ColliderGrid& grid) {
  static const bool noSkin = host::GetEnvironmentVariable("CRINEL_NOSKIN");
  if (!collide || noSkin) return 0.f;
  const float cell = grid.grid.cellStart ? grid.grid.cell : 0.f;
  return 3.f * std::max(1e-4f, dynRadius) + cell;
}

void AddSelfVolumePush(GuideSolver& s, float selfVol, float frameTime,
                       std::vector<hsim::F3>& E, float skin) {
  const std::size_t n = s.x.size();
  if (!(selfVol > 0) || !(frameTime > 0) || s.restDensity.size() != n || E.size() != n || s.P < 1)
    return;
  const float h = s.volumeCell;
  // Cells and their counts.
  std::vector<CellCoord>& cells = s.scratch.cells;
  CellDensity& grid = s.scratch.density;
  grid.Build(s.x, h, cells);
  // Cell gaps for the skin test, so that most points far from the colliders skip it.
  hsim::GridItems& items = s.colliders.items;
  if (skin > 0 && items.skinOffset != skin) {
    hsim::BuildCellGaps(s.colliders.grid, items, skin, items.skinGap, PoolRanges());
    items.skinOffset = skin;
  }
  const float scale = selfVol * 0.04f * h / (frameTime * frameTime);
  const int P = s.P;
  const std::uint64_t guides = n / std::uint64_t(P);
  ParallelFor(
      guides,
      [&](std::uint64_t firstGuide, std::uint64_t endGuide) {
        std::vector<std::int32_t> ownOfGuide(std::size_t(P), 0);
        for (std::uint64_t g = firstGuide; g < endGuide; ++g) {
          const std::uint64_t root = g * std::uint64_t(P);
          OwnInCells(cells.data() + root, P, ownOfGuide.data());
          for (int k = 2; k < P; ++k) {
            const std::uint64_t i = root + std::uint64_t(k);
            const CellCoord c = cells[i];
            const std::int32_t rho = grid.CountOfPoint(i);
            const std::int32_t own = ownOfGuide[std::size_t(k)];
            float A = float(rho - own) / std::max(1.f, s.restDensity[i]) - 1.25f;
            A = std::min(A, 2.f);
            if (A <= 0) continue;
            // Hair lying on a collider is not pushed (tested after the cheaper density test).
            if (skin > 0 && hsim::GridTouchesCpu(s.colliders.grid, s.colliders.items, s.x[i], skin))
              continue;
            std::int32_t near[6];
            grid.NeighbourCounts(i, c, near);
            const V3 G(float(near[0]) - float(near[1]), float(near[2]) - float(near[3]),
                       float(near[4]) - float(near[5]));
            const float len = Length(G);
            if (len < 1e-6f) continue;
            E[i] -= G * (scale * A / len);
          }
        }
      },
      std::max<std::uint64_t>(1, 4096 / std::uint64_t(P)));
}

}  // namespace crn
