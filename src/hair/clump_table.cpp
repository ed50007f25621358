#include "hair/clump_table.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "plugin/worker_pool.h"

namespace crn {

namespace {

// Fine grid coordinates stay below this, so cell bounds in doubles are exact to well
// within the 1e-12 margin the nearest lists allow.
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
  const std::size_t mask = slots - 1;

  std::vector<std::int32_t> bucketOf(K);
  std::vector<std::uint32_t> place(K), sizes;
  for (std::size_t k = 0; k < K; ++k) {
    const V3& r = t.roots[k];
    const std::uint64_t key =
        CellKey64(ClumpCellCoord(r.x, t.cell), ClumpCellCoord(r.y, t.cell), ClumpCellCoord(r.z, t.cell));
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

void ClearLists(ClumpTable& t) {
  t.fineCells = 0;
  t.listStart.clear();
  t.listRoot.clear();
  t.listCentre.clear();
}

constexpr std::size_t kMaxList = 16;

// Squared distances from r to the nearest and the farthest point of a box.
void BoxDistances(const V3& r, const double lo[3], const double hi[3], double& nearSq, double& farSq) {
  const double v[3] = {r.x, r.y, r.z};
  nearSq = farSq = 0;
  for (int a = 0; a < 3; ++a) {
    const double gap = std::max({0.0, lo[a] - v[a], v[a] - hi[a]});
    const double span = std::max(std::fabs(v[a] - lo[a]), std::fabs(v[a] - hi[a]));
    nearSq += gap * gap;
    farSq += span * span;
  }
}

// The nearest lists over finite roots. Cells of a third of a grid cell, made coarser while the
// grid would hold more than a few cells per centre; lists only for the cells within one
// cell of a centre, and only when the searches to come outnumber those cells.
void BuildNearestLists(ClumpTable& t, std::size_t queries) {
  ClearLists(t);
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
      std::min<std::size_t>(std::size_t(1) << 22, std::max<std::size_t>(std::size_t(1) << 16, 16 * K));
  constexpr std::int64_t kMargin = 3;  // lists reach one cell beyond the centres; a list reads two more
  double fc = t.cell / 3;
  std::size_t cells = 0;
  for (;;) {
    cells = 1;
    bool fits = true;
    for (int a = 0; a < 3 && fits; ++a) {
      const double l = std::floor(lo[a] / fc), h = std::floor(hi[a] / fc);
      fits = l > -kFineCoordLimit && h < kFineCoordLimit;
      if (!fits) break;
      const double dim = h - l + 1 + 2 * kMargin;
      fits = dim * double(cells) <= double(limit);
      if (!fits) break;
      cells *= std::size_t(dim);
      t.fineLo[a] = std::int64_t(l) - kMargin;
      t.fineDim[a] = std::int64_t(dim);
    }
    if (fits) break;
    fc *= 1.25;
    if (!(fc <= 4 * t.cell)) return;  // too spread out for a dense grid
  }
  const std::int64_t sx = t.fineDim[1] * t.fineDim[2], sy = t.fineDim[2];
  const auto cellOf = [&](const V3& r) {
    return std::size_t((std::int64_t(std::floor(double(r.x) / fc)) - t.fineLo[0]) * sx +
                       (std::int64_t(std::floor(double(r.y) / fc)) - t.fineLo[1]) * sy +
                       (std::int64_t(std::floor(double(r.z) / fc)) - t.fineLo[2]));
  };

  // The centres of each cell (a counting sort by cell), and the cells that get a list:
  // those within one cell of a centre.
  std::vector<std::uint32_t> memberStart(cells + 1, 0), members(K), home(K);
  for (std::size_t k = 0; k < K; ++k) ++memberStart[(home[k] = std::uint32_t(cellOf(t.roots[k]))) + 1];
  for (std::size_t c = 0; c < cells; ++c) memberStart[c + 1] += memberStart[c];
  {
    std::vector<std::uint32_t> next(memberStart.begin(), memberStart.end() - 1);
    for (std::size_t k = 0; k < K; ++k) members[next[home[k]]++] = std::uint32_t(k);
  }
  std::vector<std::uint8_t> wanted(cells, 0);
  std::vector<std::uint32_t> listed;
  for (std::size_t k = 0; k < K; ++k)
    for (std::int64_t dx = -1; dx <= 1; ++dx)
      for (std::int64_t dy = -1; dy <= 1; ++dy)
        for (std::int64_t dz = -1; dz <= 1; ++dz) {
          const std::size_t c = std::size_t(std::int64_t(home[k]) + dx * sx + dy * sy + dz);
          if (!wanted[c]) listed.push_back(std::uint32_t(c));
          wanted[c] = 1;
        }
  if (queries < 4 * listed.size()) return;
  std::sort(listed.begin(), listed.end());

  // Each listed cell F: the centres of the 5 x 5 x 5 cells around it, U the least of their
  // farthest distances to F (no point of F is farther from its nearest centre), and the
  // list those whose nearest distance to F is within U: every centre of the block that can
  // be nearest to a point of F, or tie with the nearest. Centres outside the block are two
  // cells or more from F; NearestByList keeps only nearest centres closer than that. Boxes
  // are widened by the rounding margin of the cell coordinates and distances compared with
  // a relative 1e-5 to spare, so rounding never drops a centre that could be nearest.
  std::vector<std::uint32_t> found(listed.size() * kMaxList), foundCount(listed.size(), 0);
  ParallelFor(
      listed.size(),
      [&](std::uint64_t begin, std::uint64_t end) {
        std::uint32_t candidates[125 * 8];
        double nearSq[125 * 8];
        for (std::uint64_t i = begin; i < end; ++i) {
          const std::int64_t c = listed[i];
          const std::int64_t f[3] = {c / sx + t.fineLo[0], c / sy % t.fineDim[1] + t.fineLo[1],
                                     c % t.fineDim[2] + t.fineLo[2]};
          double boxLo[3], boxHi[3];
          for (int a = 0; a < 3; ++a) {
            const double l = double(f[a]) * fc, h = double(f[a] + 1) * fc;
            const double margin = (std::fabs(l) + std::fabs(h)) * 1e-12 + 1e-300;
            boxLo[a] = l - margin;
            boxHi[a] = h + margin;
          }
          std::size_t n = 0;
          double U = std::numeric_limits<double>::infinity();
          bool overflow = false;
          for (std::int64_t dx = -2; dx <= 2; ++dx)
            for (std::int64_t dy = -2; dy <= 2; ++dy)
              for (std::int64_t dz = -2; dz <= 2; ++dz) {
                const std::size_t b = std::size_t(c + dx * sx + dy * sy + dz);
                for (std::uint32_t e = memberStart[b]; e < memberStart[b + 1]; ++e) {
                  if (n == 125 * 8) {
                    overflow = true;
                    break;
                  }
                  double farSq;
                  BoxDistances(t.roots[members[e]], boxLo, boxHi, nearSq[n], farSq);
                  U = std::min(U, farSq);
                  candidates[n++] = members[e];
                }
              }
          const double within = U * (1.0 + 1e-5) + 1e-30;
          if (overflow) continue;
          std::uint32_t kept = 0;
          for (std::size_t j = 0; j < n && kept <= kMaxList; ++j)
            if (nearSq[j] <= within) {
              if (kept < kMaxList) found[i * kMaxList + kept] = candidates[j];
              ++kept;
            }
          foundCount[i] = kept <= kMaxList ? kept : 0;  // a crowded cell stays unsettled
        }
      },
      64);

  t.fineCell = fc;
  t.fineCells = cells;
  const double reach = std::min(t.cell, 2 * fc);
  t.listReachSq = reach * reach * (1.0 - 1e-5);
  t.listStart.assign(cells + 1, 0);
  for (std::size_t i = 0; i < listed.size(); ++i) t.listStart[listed[i] + 1] = foundCount[i];
  for (std::size_t c = 0; c < cells; ++c) t.listStart[c + 1] += t.listStart[c];
  t.listRoot.resize(t.listStart[cells]);
  t.listCentre.resize(t.listStart[cells]);
  for (std::size_t i = 0; i < listed.size(); ++i)
    for (std::uint32_t j = 0; j < foundCount[i]; ++j) {
      const std::uint32_t e = t.listStart[listed[i]] + j, k = found[i * kMaxList + j];
      t.listRoot[e] = t.roots[k];
      t.listCentre[e] = std::int32_t(k);
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
  ClearLists(table);
}

void BuildClumpGrid(ClumpTable& table, double surfaceArea, std::size_t queries) {
  table.cell = ClumpCellSize(surfaceArea, table.count);
  table.roots.resize(std::size_t(table.count));
  for (int k = 0; k < table.count; ++k) table.roots[std::size_t(k)] = table.Shape(k)[0];
  BuildBuckets(table);
  BuildNearestLists(table, queries);
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
  if (fineCells > 0) {
    const int c = NearestByList(p);
    if (c >= 0) return c;
  }

  const std::int64_t cellOf[3] = {ClumpCellCoord(p.x, cell), ClumpCellCoord(p.y, cell), ClumpCellCoord(p.z, cell)};
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
// there, colliding keys included, is farther, so the scan keeps X whatever its order. The
// list of p's fine cell holds every centre of the 5 x 5 x 5 fine cells around it that can
// be nearest or tie; centres outside those are two fine cells or more away, and X lies in
// the 27 grid cells when it is nearer than one grid cell along every axis. Both hold when
// X is nearer than listReachSq, which keeps a relative 1e-5 to spare for rounding.
int ClumpTable::NearestByList(const V3& p) const {
  const double pc[3] = {p.x, p.y, p.z};
  std::int64_t index = 0;
  for (int a = 0; a < 3; ++a) {
    const double f = std::floor(pc[a] / fineCell);  // NaN and infinities fail the range test
    if (!(f >= double(fineLo[a]) && f < double(fineLo[a] + fineDim[a]))) return -1;
    index = index * fineDim[a] + (std::int64_t(f) - fineLo[a]);
  }
  const std::uint32_t end = listStart[std::size_t(index) + 1];
  float m = std::numeric_limits<float>::infinity();
  int best = -1;
  bool tie = false;
  for (std::uint32_t e = listStart[std::size_t(index)]; e < end; ++e) {
    const float d = LengthSq(listRoot[e] - p);
    tie = d == m || (tie && !(d < m));
    if (d < m) {
      m = d;
      best = listCentre[e];
    }
  }
  if (best < 0 || tie || !(double(m) * (1.0 + 1e-5) + 1e-30 < listReachSq)) return -1;
  return best;
}

}  // namespace crn
