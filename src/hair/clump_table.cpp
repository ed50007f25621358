#include "hair/clump_table.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace crn {

int ClumpCentreCount(std::size_t rootCount, int clumpCount, float amount, bool brushActive,
                     std::size_t strandCount) {
  if (!(amount > 0.f) || clumpCount <= 0) return 0;
  std::size_t k = std::min(rootCount, std::size_t(clumpCount));
  // Strokes stay interactive: few centres while the brush is down.
  if (brushActive) k = std::min(k, std::max<std::size_t>(strandCount >> 3, 64));
  return int(k);
}

double ClumpCellSize(double area, int count) {
  if (count <= 0) return 1e-6;
  const double cell = 2.0 * std::sqrt(area / double(count));
  return cell > 1e-6 ? cell : 1e-6;  // also catches a NaN area
}

std::int64_t ClumpCellCoord(double v, double cell) {
  const double f = std::floor(v / cell);
  // Far outside any real scene, or NaN: keep the cast defined; such points find no centre
  // they should not.
  constexpr double kLimit = 4.0e18;
  if (!(f > -kLimit)) return f != f ? 0 : -std::int64_t(kLimit);
  if (f > kLimit) return std::int64_t(kLimit);
  return std::int64_t(f);
}

void PrepareClumpTable(ClumpTable& table, int count, int pointsPerStrand) {
  table.count = std::max(count, 0);
  table.pointsPerStrand = pointsPerStrand;
  table.points.resize(std::size_t(table.count) * std::size_t(pointsPerStrand));
  table.roots.clear();
  table.grid.clear();
}

void BuildClumpGrid(ClumpTable& table, double surfaceArea) {
  table.cell = ClumpCellSize(surfaceArea, table.count);
  table.roots.resize(std::size_t(table.count));
  table.grid.clear();
  table.grid.reserve(std::size_t(table.count));
  for (int k = 0; k < table.count; ++k) {
    const V3& p = table.Shape(k)[0];
    table.roots[std::size_t(k)] = p;
    const std::uint64_t key = CellKey64(ClumpCellCoord(p.x, table.cell), ClumpCellCoord(p.y, table.cell),
                                        ClumpCellCoord(p.z, table.cell));
    table.grid[key].push_back(k);
  }
}

int ClumpTable::Nearest(const V3& p) const {
  if (count <= 0 || grid.empty()) return -1;
  const std::int64_t ci = ClumpCellCoord(p.x, cell), cj = ClumpCellCoord(p.y, cell),
                     ck = ClumpCellCoord(p.z, cell);
  int best = -1;
  float bestD = std::numeric_limits<float>::infinity();
  for (int di = -1; di <= 1; ++di)
    for (int dj = -1; dj <= 1; ++dj)
      for (int dk = -1; dk <= 1; ++dk) {
        const auto it = grid.find(CellKey64(ci + di, cj + dj, ck + dk));
        if (it == grid.end()) continue;
        for (const int c : it->second) {
          const float d = LengthSq(roots[std::size_t(c)] - p);
          // A later candidate wins only when strictly nearer.
          if (best < 0 || d < bestD) {
            best = c;
            bestD = d;
          }
        }
      }
  return best;
}

}  // namespace crn
