#include "dynamics/wind_shadow.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>

#include "dynamics/cell_hash.h"
#include "plugin/worker_pool.h"

namespace crn {

namespace {

// Sorts keys by their bits from lowBit up to highBit, stably, and with order gives in order the
// index each key had (order null: the keys carry it themselves below lowBit). Least
// significant digit first, 11 bits a pass (a digit every key shares is skipped). Each
// pass counts and moves blocks of the keys, every block into places set aside for it after the
// blocks before it; a stable sort has one result, so the blocks never change it. Many keys go
// in eight blocks on the worker pool, a few in one on the calling thread (waking the pool's
// threads eight times a frame would cost more).
void RadixSort(std::vector<std::uint64_t>& keys, int lowBit, int highBit,
               std::vector<std::uint32_t>* order, std::vector<std::uint64_t>& spareKeys,
               std::vector<std::uint32_t>& spareOrder) {
  const std::size_t n = keys.size();
  constexpr int kDigit = 11;
  constexpr std::size_t kBuckets = std::size_t(1) << kDigit;
  const std::size_t kBlocks = n >= 65536 ? 8 : 1;
  const std::size_t block = std::max<std::size_t>((n + kBlocks - 1) / kBlocks, 1);
  if (order) {
    order->resize(n);
    for (std::size_t i = 0; i < n; ++i) (*order)[i] = std::uint32_t(i);
    spareOrder.resize(n);
  }
  spareKeys.resize(n);
  std::vector<std::uint32_t> count(kBlocks * kBuckets);
  for (int shift = lowBit; shift < highBit; shift += kDigit) {
    auto digit = [shift](std::uint64_t key) { return std::size_t(key >> shift) & (kBuckets - 1); };
    ParallelFor(
        kBlocks,
        [&](std::uint64_t b0, std::uint64_t b1) {
          for (std::uint64_t b = b0; b < b1; ++b) {
            std::uint32_t* c = count.data() + b * kBuckets;
            std::fill(c, c + kBuckets, 0u);
            for (std::size_t j = b * block, e = std::min(n, (b + 1) * block); j < e; ++j) ++c[digit(keys[j])];
          }
        },
        1);
    // Places: bucket by bucket, and within a bucket block by block.
    std::uint32_t sum = 0;
    bool oneBucket = false;
    for (std::size_t d = 0; d < kBuckets; ++d) {
      const std::uint32_t before = sum;
      for (std::size_t b = 0; b < kBlocks; ++b) {
        const std::uint32_t here = count[b * kBuckets + d];
        count[b * kBuckets + d] = sum;
        sum += here;
      }
      oneBucket = oneBucket || sum - before == n;
    }
    if (oneBucket) continue;  // every key has this digit
    ParallelFor(
        kBlocks,
        [&](std::uint64_t b0, std::uint64_t b1) {
          for (std::uint64_t b = b0; b < b1; ++b) {
            std::uint32_t* c = count.data() + b * kBuckets;
            const std::size_t first = b * block, last = std::min(n, (b + 1) * block);
            if (order) {
              for (std::size_t j = first; j < last; ++j) {
                const std::uint32_t at = c[digit(keys[j])]++;
                spareKeys[at] = keys[j];
                spareOrder[at] = (*order)[j];
              }
            } else {
              for (std::size_t j = first; j < last; ++j) spareKeys[c[digit(keys[j])]++] = keys[j];
            }
          }
        },
        1);
    keys.swap(spareKeys);
    if (order) order->swap(spareOrder);
  }
}

// The number of bits values below `count` need (at least 1).
int BitsFor(std::uint64_t count) {
  if (count <= 1) return 1;
  int bits = 1;
  while (bits < 64 && ((count - 1) >> bits) != 0) ++bits;
  return bits;
}

}  // namespace

std::vector<float> ComputeWindShadow(const std::vector<hsim::F3>& positions,
                                     const std::vector<float>& L,
                                     const std::vector<hsim::Wind>& winds) {
  SolverScratch scratch;
  ComputeWindShadow(positions, L, winds, scratch);
  return std::move(scratch.shadow);
}

void ComputeWindShadow(const std::vector<hsim::F3>& positions, const std::vector<float>& L,
                       const std::vector<hsim::Wind>& winds, SolverScratch& scratch) {
  std::vector<float>& factors = scratch.shadow;
  factors.clear();
  if (winds.empty()) return;
  float sMax = 0;
  for (const hsim::Wind& w : winds) sMax = std::max(sMax, w.shadow);
  if (!(sMax > 0)) return;

  const V3 a = UnitOr(winds[0].type == 0 ? winds[0].dir : V3(1, 0, 0), V3(0, 0, 1));
  const V3 helper = std::fabs(a.z) < 0.9f ? V3(0, 0, 1) : V3(1, 0, 0);
  const V3 u = UnitOr(Cross(a, helper), V3(0, 0, 1));
  const V3 w = Cross(a, u);

  // Column size from a sample of the positive rest lengths.
  float H = 1.f;
  if (L.size() >= 2) {
    const std::size_t step = std::max<std::size_t>(1, L.size() / 500);
    double sum = 0;
    std::size_t count = 0;
    for (std::size_t i = 1; i < L.size(); i += step)
      if (L[i] > 0) {
        sum += L[i];
        ++count;
      }
    if (count > 0) H = float(1.5 * sum / double(count));
  }
  H = std::max(H, 1e-4f);

  // The bounds of the columns, from the bounds of the points' projections: CellOf never
  // decreases as its argument grows, and gives a NaN the lowest cell, as it gives -infinity.
  const std::size_t n = positions.size();
  constexpr float kInf = std::numeric_limits<float>::infinity();
  float minU = kInf, maxU = -kInf, minW = kInf, maxW = -kInf;
  bool nanU = false, nanW = false;
  std::mutex merge;
  ParallelFor(
      n,
      [&](std::uint64_t begin, std::uint64_t end) {
        float lu0 = kInf, lu1 = -kInf, lw0 = kInf, lw1 = -kInf;
        bool lnanU = false, lnanW = false;
        for (std::uint64_t i = begin; i < end; ++i) {
          const float du = Dot(u, positions[i]), dw = Dot(w, positions[i]);
          lnanU = lnanU || du != du;
          lnanW = lnanW || dw != dw;
          lu0 = du < lu0 ? du : lu0;  // a NaN never compares true
          lu1 = du > lu1 ? du : lu1;
          lw0 = dw < lw0 ? dw : lw0;
          lw1 = dw > lw1 ? dw : lw1;
        }
        const std::lock_guard<std::mutex> lock(merge);
        minU = std::min(minU, lu0);
        maxU = std::max(maxU, lu1);
        minW = std::min(minW, lw0);
        maxW = std::max(maxW, lw1);
        nanU = nanU || lnanU;
        nanW = nanW || lnanW;
      },
      8192);
  constexpr std::int64_t kLowest = -1000000000000000ll;  // CellOf of NaN and -infinity
  const std::int64_t u0 = nanU || !(minU <= maxU) ? kLowest : CellOf(minU, H);
  const std::int64_t u1 = minU <= maxU ? CellOf(maxU, H) : kLowest;
  const std::int64_t w0 = nanW || !(minW <= maxW) ? kLowest : CellOf(minW, H);
  const std::int64_t w1 = minW <= maxW ? CellOf(maxW, H) : kLowest;

  // Each point's sort key: its column above the depth's bits in an order that sorts like the
  // depth (a NaN depth counts as 1e30; -0 counts as +0). Dense column ids come straight from
  // the cell coordinates when the columns span a modest rectangle, else from a hash map in
  // order of first appearance (fewer than n); a point's factor depends only on its rank in its
  // column, so the numbering does not matter. Where the bits allow, each key also carries its
  // point's index below them (the sort then moves 8 bytes a point instead of 12).
  auto depthBits = [&](const V3& p) {
    float d = Dot(a, p);
    d = d != d ? 1e30f : d == 0.f ? 0.f : d;
    std::uint32_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    return bits & 0x80000000u ? ~bits : bits | 0x80000000u;
  };
  std::vector<std::uint64_t>& keys = scratch.columnKeys;
  keys.resize(n);
  const double span = n > 0 ? (double(u1) - double(u0) + 1) * (double(w1) - double(w0) + 1) : 0;
  const bool dense = n > 0 && span <= double(4 * n + 1024);
  const int keyBits = std::min(64, 32 + BitsFor(dense ? std::uint64_t(span) : std::uint64_t(n)));
  const int indexBits = BitsFor(n);
  const int low = keyBits + indexBits <= 64 ? indexBits : 0;  // the index's bits, if carried
  auto keyOf = [&](std::uint64_t column, std::size_t i) {
    return (column << 32 | depthBits(positions[i])) << low | (low ? std::uint64_t(i) : 0);
  };
  if (dense) {
    const std::int64_t rows = w1 - w0 + 1;
    ParallelFor(
        n,
        [&](std::uint64_t begin, std::uint64_t end) {
          for (std::uint64_t i = begin; i < end; ++i) {
            const V3& p = positions[i];
            const std::int64_t cu = CellOf(Dot(u, p), H), cw = CellOf(Dot(w, p), H);
            keys[i] = keyOf(std::uint64_t((cu - u0) * rows + (cw - w0)), i);
          }
        },
        8192);
  } else {
    KeyIndex columns;
    columns.Reset(n / 4 + 1);
    for (std::size_t i = 0; i < n; ++i) {
      const V3& p = positions[i];
      const std::uint32_t cu = std::uint32_t(CellOf(Dot(u, p), H)), cw = std::uint32_t(CellOf(Dot(w, p), H));
      keys[i] = keyOf(std::uint64_t(columns.Insert(std::uint64_t(cu) << 32 | cw)), i);
    }
  }

  // The points by (column, depth, index): a stable radix sort from index order keeps ties in
  // index order.
  std::vector<std::uint32_t>& order = scratch.order;
  RadixSort(keys, low, low + keyBits, low ? nullptr : &order, scratch.spareKeys, scratch.spareOrder);
  const int columnShift = 32 + low;
  const std::uint64_t indexMask = (std::uint64_t(1) << low) - 1;

  // The factor of the j-th point of a column, from a table for the usual ranks.
  auto factorOf = [sMax](std::size_t rank) { return 1.f - (1.f - std::exp(-0.15f * float(rank))) * sMax; };
  std::vector<float>& byRank = scratch.byRank;
  byRank.resize(std::min<std::size_t>(n, 2048));
  for (std::size_t rank = 0; rank < byRank.size(); ++rank) byRank[rank] = factorOf(rank);
  factors.resize(n);
  ParallelFor(
      n,
      [&](std::uint64_t begin, std::uint64_t end) {
        // The first point of the column this range starts in.
        const std::uint64_t column = keys[begin] >> columnShift;
        std::size_t first = std::size_t(
            std::lower_bound(keys.begin(), keys.begin() + std::ptrdiff_t(begin), column << columnShift) -
            keys.begin());
        for (std::size_t j = begin; j < end; ++j) {
          if (j > first && keys[j] >> columnShift != keys[j - 1] >> columnShift) first = j;  // a new column
          const std::size_t rank = j - first;
          const std::size_t point = low ? std::size_t(keys[j] & indexMask) : order[j];
          factors[point] = rank < byRank.size() ? byRank[rank] : factorOf(rank);
        }
      },
      16384);
}

}  // namespace crn
