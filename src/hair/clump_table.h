#pragma once
// Clump centres of one strand build: the base shape of every centre strand and a hashed
// grid over their roots that finds the nearest centre to a point. Two tables exist per
// build (main clumps and sub-clumps); both are discarded when the build ends.
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "hair/fur_math.h"

namespace crn {

struct ClumpTable {
  int count = 0;            // centres; centre k is root k
  int pointsPerStrand = 0;  // points of every stored shape
  std::vector<V3> points;   // count * pointsPerStrand: the base shape of each centre
  std::vector<V3> roots;    // point 0 of each shape, kept apart for the nearest search
  double cell = 1e-6;       // grid cell edge
  std::unordered_map<std::uint64_t, std::vector<int>> grid;  // cell key -> centres, in insertion order

  const V3* Shape(int c) const { return points.data() + std::size_t(c) * std::size_t(pointsPerStrand); }
  V3* Shape(int c) { return points.data() + std::size_t(c) * std::size_t(pointsPerStrand); }

  // Index of the centre nearest to p among the 27 cells around p's cell, or -1.
  int Nearest(const V3& p) const;
};

// Number of centres for a table of clumpCount clumps with the given amount: min(roots,
// clumpCount) when amount > 0, else 0; while brushing at most max(strands / 8, 64).
int ClumpCentreCount(std::size_t rootCount, int clumpCount, float amount, bool brushActive,
                     std::size_t strandCount);

// Cell edge for `count` centres spread over a surface of the given area: twice the mean
// spacing, at least 1e-6.
double ClumpCellSize(double area, int count);

// Sizes the table for `count` centres of `pointsPerStrand` points; the caller fills the
// shapes, then calls BuildClumpGrid.
void PrepareClumpTable(ClumpTable& table, int count, int pointsPerStrand);

// Enters point 0 of every centre's shape into the grid, in centre order.
void BuildClumpGrid(ClumpTable& table, double surfaceArea);

// Integer grid coordinate of v / cell, clamped so that huge or invalid inputs stay defined.
std::int64_t ClumpCellCoord(double v, double cell);

}  // namespace crn
