#include "hair/clump_table.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace crn {

namespace {

// Fine grid coordinates stay below this, so cell bounds in doubles are exact to well
// within the 1e-12 margin NearestByFineGrid allows.
constexpr double kFineCoordLimit = double(std::int64_t(1) << 24);

std::size_t SlotOf(std::uint64_t key, std::size_t mask) {
  key ^= key >> 33;
  key *= 0xFF51AFD7ED558CCDull;
  key ^= key >> 33;
  key *= 0xC4CEB9FE1A85EC53ull;
  key ^= key >> 33;
  return std::size_t(key) & mask;
}

// The hashed grid: buckets numbered by the first appearance of their key, each holding its
// centres in insertion order.
void BuildBuckets(ClumpTable& t) {
  const std::size_t K = std::size_t(t.count);
  std::size_t slots = 16;
  while (slots < 2 * K) slots *= 2;
  t.slotKey.assign(slots, 0);
  t.slotBucket.assign(slots, -1);
  t.centreCell.resize(3 * K);
  const std::size_t mask = slots - 1;

  std::vector<std::int32_t> bucketOf(K);
  std::vector<std::uint32_t> place(K), sizes;
  for (std::size_t k = 0; k < K; ++k) {
    const V3& r = t.roots[k];
    std::int64_t* c = &t.centreCell[3 * k];
    c[0] = ClumpCellCoord(r.x, t.cell);
    c[1] = ClumpCellCoord(r.y, t.cell);
    c[2] = ClumpCellCoord(r.z, t.cell);
    const std::uint64_t key = CellKey64(c[0], c[1], c[2]);
    std::size_t s = SlotOf(key, mask);
    while (t.slotBucket[s] >= 0 && t.slotKey[s] != key) s = (s + 1) & mask;
    if (t.slotBucket[s] < 0) {
      t.slotKey[s] = key;
      t.slotBucket[s] = std::int32_t(sizes.size());
      sizes.push_back(0);
    }
    bucketOf[k] = t.slotBucket[s];
    place[k] = sizes[std::size_t(bucketOf[k])]++;
  }
  t.bucketStart.assign(sizes.size() + 1, 0);
  for (std::size_t b = 0; b < sizes.size(); ++b) t.bucketStart[b + 1] = t.bucketStart[b] + sizes[b];
  t.bucketCentres.resize(K);
  for (std::size_t k = 0; k < K; ++k)
    t.bucketCentres[t.bucketStart[std::size_t(bucketOf[k])] + place[k]] = std::int32_t(k);
}

void ClearFineGrid(ClumpTable& t) {
  t.fineCells = 0;
  t.fineStart.clear();
  t.fineMask.clear();
  t.fineRoot.clear();
  t.fineCentre.clear();
}

// The fine grid over finite roots: cells of half a grid cell, made coarser while the box
// would hold more than a few cells per centre (and never more than 8 M cells).
void BuildFineGrid(ClumpTable& t) {
  ClearFineGrid(t);
  const std::size_t K = std::size_t(t.count);
  if (K == 0) return;
  double lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
  for (std::size_t k = 0; k < K; ++k) {
    const double r[3] = {t.roots[k].x, t.roots[k].y, t.roots[k].z};
    for (int a = 0; a < 3; ++a) {
      if (!std::isfinite(r[a])) return;
      lo[a] = k == 0 ? r[a] : std::min(lo[a], r[a]);
      hi[a] = k == 0 ? r[a] : std::max(hi[a], r[a]);
    }
  }
  const std::size_t limit =
      std::min<std::size_t>(std::size_t(1) << 23, std::max<std::size_t>(std::size_t(1) << 16, 32 * K));
  double fc = t.cell / 2;
  for (;;) {
    std::size_t cells = 1;
    bool fits = true;
    for (int a = 0; a < 3 && fits; ++a) {
      const double l = std::floor(lo[a] / fc), h = std::floor(hi[a] / fc);
      fits = l > -kFineCoordLimit && h < kFineCoordLimit;
      if (!fits) break;
      const double dim = h - l + 5;  // two cells of margin on each side
      fits = dim * double(cells) <= double(limit);
      if (!fits) break;
      cells *= std::size_t(dim);
      t.fineLo[a] = std::int64_t(l) - 2;
      t.fineDim[a] = std::int64_t(dim);
    }
    if (fits) {
      t.fineCells = cells;
      break;
    }
    fc *= 1.25;
    if (!(fc <= 4 * t.cell)) return;  // too spread out for any dense grid
  }
  t.fineCell = fc;
  const std::int64_t sx = t.fineDim[1] * t.fineDim[2], sy = t.fineDim[2];
  for (int b = 0; b < 27; ++b) t.fineOffset[b] = (b / 9 - 1) * sx + (b / 3 % 3 - 1) * sy + (b % 3 - 1);

  // Each cell's centres, in insertion order (a counting sort by cell).
  std::vector<std::uint32_t> cellOf(K);
  t.fineStart.assign(t.fineCells + 1, 0);
  for (std::size_t k = 0; k < K; ++k) {
    const double r[3] = {t.roots[k].x, t.roots[k].y, t.roots[k].z};
    std::int64_t index = 0;
    for (int a = 0; a < 3; ++a) index = index * t.fineDim[a] + (std::int64_t(std::floor(r[a] / fc)) - t.fineLo[a]);
    cellOf[k] = std::uint32_t(index);
    ++t.fineStart[cellOf[k] + 1];
  }
  for (std::size_t c = 0; c < t.fineCells; ++c) t.fineStart[c + 1] += t.fineStart[c];
  t.fineRoot.resize(K);
  t.fineCentre.resize(K);
  std::vector<std::uint32_t> next(t.fineStart.begin(), t.fineStart.end() - 1);
  for (std::size_t k = 0; k < K; ++k) {
    const std::uint32_t e = next[cellOf[k]]++;
    t.fineRoot[e] = t.roots[k];
    t.fineCentre[e] = std::int32_t(k);
  }

  // Neighbour masks of the cells a query can own (those with all 27 neighbours inside).
  t.fineMask.assign(t.fineCells, 0);
  for (std::int64_t x = 1; x + 1 < t.fineDim[0]; ++x)
    for (std::int64_t y = 1; y + 1 < t.fineDim[1]; ++y)
      for (std::int64_t z = 1; z + 1 < t.fineDim[2]; ++z) {
        const std::int64_t own = x * sx + y * sy + z;
        std::uint32_t mask = 0;
        for (int b = 0; b < 27; ++b) {
          const std::size_t c = std::size_t(own + t.fineOffset[b]);
          if (t.fineStart[c + 1] > t.fineStart[c]) mask |= 1u << b;
        }
        t.fineMask[std::size_t(own)] = mask;
      }
}

}  // namespace

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

void PrepareClumpTable(ClumpTable& table, int count, int pointsPerStrand) {
  table.count = std::max(count, 0);
  table.pointsPerStrand = pointsPerStrand;
  table.points.resize(std::size_t(table.count) * std::size_t(pointsPerStrand));
  table.roots.clear();
  table.slotKey.clear();
  table.slotBucket.clear();
  table.bucketStart.clear();
  table.bucketCentres.clear();
  table.centreCell.clear();
  ClearFineGrid(table);
}

void BuildClumpGrid(ClumpTable& table, double surfaceArea) {
  table.cell = ClumpCellSize(surfaceArea, table.count);
  table.roots.resize(std::size_t(table.count));
  for (int k = 0; k < table.count; ++k) table.roots[std::size_t(k)] = table.Shape(k)[0];
  BuildBuckets(table);
  BuildFineGrid(table);
}

const std::int32_t* ClumpTable::Bucket(std::uint64_t key, const std::int32_t*& end) const {
  end = nullptr;
  if (slotKey.empty()) return nullptr;
  const std::size_t mask = slotKey.size() - 1;
  for (std::size_t s = SlotOf(key, mask);; s = (s + 1) & mask) {
    const std::int32_t b = slotBucket[s];
    if (b < 0) return nullptr;
    if (slotKey[s] == key) {
      end = bucketCentres.data() + bucketStart[std::size_t(b) + 1];
      return bucketCentres.data() + bucketStart[std::size_t(b)];
    }
  }
}

int ClumpTable::Nearest(const V3& p) const {
  if (count <= 0) return -1;
  const std::int64_t cellOf[3] = {ClumpCellCoord(p.x, cell), ClumpCellCoord(p.y, cell), ClumpCellCoord(p.z, cell)};
  if (fineCells > 0) {
    const int c = NearestByFineGrid(p, cellOf);
    if (c >= 0) return c;
  }

  int best = -1;
  float bestD = std::numeric_limits<float>::infinity();
  for (int di = -1; di <= 1; ++di)
    for (int dj = -1; dj <= 1; ++dj)
      for (int dk = -1; dk <= 1; ++dk) {
        const std::int32_t* end;
        for (const std::int32_t* c = Bucket(CellKey64(cellOf[0] + di, cellOf[1] + dj, cellOf[2] + dk), end);
             c != end; ++c) {
          const float d = LengthSq(roots[std::size_t(*c)] - p);
          // A later candidate wins only when strictly nearer.
          if (best < 0 || d < bestD) {
            best = *c;
            bestD = d;
          }
        }
      }
  return best;
}

// The nearest centre of all, when that is provably the answer of the grid search above,
// else -1. It is when one centre X is strictly nearer than every other and lies in one of
// the 27 grid cells around p: X is then in one of their buckets and every other centre
// there, colliding keys included, is farther, so the scan keeps X whatever its order.
// The nearest is searched among the 27 fine cells around p, own cell first so that most
// others are ruled out by their distance to p alone, and holds for all centres when every
// centre outside those cells is provably farther. A cell is ruled out only when even its
// nearest point, less a margin for the rounding of both computations, is farther than the
// best distance so far, so it cannot hold a nearer or equally near centre.
int ClumpTable::NearestByFineGrid(const V3& p, const std::int64_t cellOf[3]) const {
  const double pc[3] = {p.x, p.y, p.z};
  double f[3];
  std::int64_t own = 0;
  for (int a = 0; a < 3; ++a) {
    f[a] = std::floor(pc[a] / fineCell);  // NaN and infinities fail the range test
    if (!(f[a] >= double(fineLo[a] + 1) && f[a] <= double(fineLo[a] + fineDim[a] - 2))) return -1;
    own = own * fineDim[a] + (std::int64_t(f[a]) - fineLo[a]);
  }
  const std::uint32_t mask = fineMask[std::size_t(own)];
  if (mask == 0) return -1;

  float m = std::numeric_limits<float>::infinity();
  int best = -1;
  bool tie = false;
  const auto scan = [&](std::size_t c) {
    for (std::uint32_t e = fineStart[c], end = fineStart[c + 1]; e < end; ++e) {
      const float d = LengthSq(fineRoot[e] - p);
      if (d < m) {
        m = d;
        best = fineCentre[e];
        tie = false;
      } else if (d == m) {
        tie = true;
      }
    }
  };
  // The float distance of a centre is at least (1 - 3e-7) of its exact distance (five
  // roundings), and within 1e-40 of it near zero; 1e-5 and 1e-30 are generous bounds.
  const auto ruledOut = [&](double bound) { return bound * (1.0 - 1e-5) > double(m) + 1e-30; };

  // Distances from p to the slabs of the neighbour cells along each axis (offsets 0..2 for
  // -1..1), and to the faces of the block of 27. A finite centre in fine cell c has
  // c <= v / fineCell < c + 1 as computed, so it lies within a relative 1e-12 of
  // [c * fineCell, (c + 1) * fineCell].
  double slab[3][3];
  double outside = std::numeric_limits<double>::infinity();
  for (int a = 0; a < 3; ++a) {
    const double low = f[a] * fineCell, high = (f[a] + 1) * fineCell;
    const double margin = (std::fabs(low) + std::fabs(high) + 2 * fineCell) * 1e-12 + 1e-300;
    const double below = pc[a] - (low + margin), above = (high - margin) - pc[a];
    slab[a][0] = below > 0 ? below * below : 0;
    slab[a][1] = 0;
    slab[a][2] = above > 0 ? above * above : 0;
    outside = std::min({outside, below + fineCell, above + fineCell});
  }

  constexpr int kOwn = 13;
  if (mask & (1u << kOwn)) scan(std::size_t(own));
  for (std::uint32_t bits = mask & ~(1u << kOwn); bits != 0; bits &= bits - 1) {
    const int b = __builtin_ctz(bits);
    if (!ruledOut(slab[0][b / 9] + slab[1][b / 3 % 3] + slab[2][b % 3])) scan(std::size_t(own + fineOffset[b]));
  }
  if (best < 0 || tie || !(outside > 0) || !ruledOut(outside * outside)) return -1;
  const std::int64_t* x = &centreCell[3 * std::size_t(best)];
  for (int a = 0; a < 3; ++a)
    if (x[a] < cellOf[a] - 1 || x[a] > cellOf[a] + 1) return -1;
  return best;
}

}  // namespace crn
