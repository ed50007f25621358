#pragma once
// Clump centres of one strand build: the base shape of every centre strand and a hashed
// grid over their roots that finds the nearest centre to a point. Two tables exist per
// build (main clumps and sub-clumps); both are discarded when the build ends.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "hair/fur_math.h"

namespace crn {

struct ClumpTable {
  int count = 0;            // centres; centre k is root k
  int pointsPerStrand = 0;  // points of every stored shape
  std::vector<V3> points;   // count * pointsPerStrand: the base shape of each centre
  std::vector<V3> roots;    // point 0 of each shape, kept apart for the nearest search
  double cell = 1e-6;       // grid cell edge

  // The hashed grid: cell key (CellKey64) -> bucket of the centres whose cells have that
  // key, in insertion order; cells whose keys collide share a bucket. Open addressing over
  // slotKey / slotBucket (-1: empty slot); bucket b is bucketCentres[bucketStart[b] ..
  // bucketStart[b + 1]).
  std::vector<std::uint64_t> slotKey;
  std::vector<std::int32_t> slotBucket;
  std::vector<std::uint32_t> bucketStart;
  std::vector<std::int32_t> bucketCentres;

  // Nearest lists: a dense grid of finer cells (fineCell, about a third of a cell) over the
  // centres, two cells of margin on each side, listing for each cell the few centres that
  // can be nearest to a point in it (their roots beside their indices); an empty list
  // where that could not be settled. Nearest keeps the nearest of a list only where it is
  // provably the answer of the grid search. Unused (fineCells == 0) when the grid would be
  // too large or would cost more to fill than the searches it serves.
  double fineCell = 0;
  double listReachSq = 0;  // a list's nearest centre is kept only when nearer than this
  std::int64_t fineLo[3] = {0, 0, 0};
  std::int64_t fineDim[3] = {0, 0, 0};
  std::size_t fineCells = 0;
  std::vector<std::uint32_t> listStart;  // fineCells + 1 offsets into the entries
  std::vector<V3> listRoot;
  std::vector<std::int32_t> listCentre;

  const V3* Shape(int c) const { return points.data() + std::size_t(c) * std::size_t(pointsPerStrand); }
  V3* Shape(int c) { return points.data() + std::size_t(c) * std::size_t(pointsPerStrand); }

  // Index of the centre nearest to p among the centres of the buckets of the 27 cells
  // around p's cell, visited x outermost from -1, then y, then z, each bucket in insertion
  // order; a later centre wins only when strictly nearer. -1 when there is none.
  int Nearest(const V3& p) const;

  // The bucket of a cell key: its centres, or an empty range.
  const std::int32_t* Bucket(std::uint64_t key, const std::int32_t*& end) const;

 private:
  int NearestByList(const V3& p) const;
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

// Enters point 0 of every centre's shape into the grid, in centre order. queries is about
// how many searches will follow: the nearest lists are made only when they pay off.
void BuildClumpGrid(ClumpTable& table, double surfaceArea, std::size_t queries = 0);

// Integer grid coordinate of v / cell, clamped so that huge or invalid inputs stay defined.
inline std::int64_t ClumpCellCoord(double v, double cell) {
  const double f = std::floor(v / cell);
  // Far outside any real scene, or NaN: keep the cast defined; such points find no centre
  // they should not.
  constexpr double kLimit = 4.0e18;
  if (!(f > -kLimit)) return f != f ? 0 : -std::int64_t(kLimit);
  if (f > kLimit) return std::int64_t(kLimit);
  return std::int64_t(f);
}

}  // namespace crn
