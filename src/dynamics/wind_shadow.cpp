#include "dynamics/wind_shadow.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>

#include "dynamics/cell_hash.h"
#include "plugin/worker_pool.h"

namespace crn {

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

  // The column and depth of every point and the bounds of the columns, on the worker pool.
  const std::size_t n = positions.size();
  std::vector<std::int64_t>& cu = scratch.cu;
  std::vector<std::int64_t>& cw = scratch.cw;
  std::vector<float>& depth = scratch.depth;
  cu.resize(n);
  cw.resize(n);
  depth.resize(n);
  constexpr std::int64_t kLow = std::numeric_limits<std::int64_t>::min();
  constexpr std::int64_t kHigh = std::numeric_limits<std::int64_t>::max();
  std::atomic<std::int64_t> u0{kHigh}, u1{kLow}, w0{kHigh}, w1{kLow};
  ParallelFor(
      n,
      [&](std::uint64_t begin, std::uint64_t end) {
        std::int64_t lu0 = kHigh, lu1 = kLow, lw0 = kHigh, lw1 = kLow;
        for (std::uint64_t i = begin; i < end; ++i) {
          const V3& p = positions[i];
          cu[i] = CellOf(Dot(u, p), H);
          cw[i] = CellOf(Dot(w, p), H);
          const float d = Dot(a, p);
          depth[i] = d == d ? d : 1e30f;  // a NaN would break the ordering of the sort
          lu0 = std::min(lu0, cu[i]);
          lu1 = std::max(lu1, cu[i]);
          lw0 = std::min(lw0, cw[i]);
          lw1 = std::max(lw1, cw[i]);
        }
        AtomicMin(u0, lu0);
        AtomicMax(u1, lu1);
        AtomicMin(w0, lw0);
        AtomicMax(w1, lw1);
      },
      8192);

  // Dense column ids: straight from the cell coordinates when the columns span a modest
  // rectangle, else from a hash map in order of first appearance. A point's factor depends
  // only on its rank in its column, so the numbering does not matter.
  std::vector<std::int32_t>& column = scratch.column;
  column.resize(n);
  std::size_t columnCount = 0;
  const double span = n > 0 ? (double(u1) - double(u0) + 1) * (double(w1) - double(w0) + 1) : 0;
  if (n > 0 && span <= double(4 * n + 1024)) {
    const std::int64_t rows = w1 - w0 + 1, firstU = u0, firstW = w0;
    columnCount = std::size_t(span);
    ParallelFor(
        n,
        [&](std::uint64_t begin, std::uint64_t end) {
          for (std::uint64_t i = begin; i < end; ++i)
            column[i] = std::int32_t((cu[i] - firstU) * rows + (cw[i] - firstW));
        },
        8192);
  } else {
    KeyIndex columns;
    columns.Reset(n / 4 + 1);
    for (std::size_t i = 0; i < n; ++i)
      column[i] = columns.Insert((std::uint64_t(std::uint32_t(cu[i])) << 32) | std::uint32_t(cw[i]));
    columnCount = columns.Size();
  }
  std::vector<std::int32_t>& start = scratch.start;
  start.assign(columnCount + 1, 0);
  for (std::size_t i = 0; i < n; ++i) ++start[std::size_t(column[i]) + 1];
  std::int32_t longest = 0;
  for (std::size_t c = 0; c < columnCount; ++c) {
    longest = std::max(longest, start[c + 1]);
    start[c + 1] += start[c];
  }
  // Each column's points as sort keys: the depth's bits in an order that sorts like the
  // depth (no NaN is left; -0 counts as +0), above the point's index for ties. The keys go to
  // their column on the worker pool in any order: the sort below decides the order.
  std::vector<std::uint64_t>& order = scratch.columnKeys;
  std::vector<std::int32_t>& fill = scratch.fill;
  order.resize(n);
  fill.assign(start.begin(), start.end() - 1);
  ParallelFor(
      n,
      [&](std::uint64_t begin, std::uint64_t end) {
        for (std::uint64_t i = begin; i < end; ++i) {
          const float d = depth[i] == 0.f ? 0.f : depth[i];
          std::uint32_t bits;
          std::memcpy(&bits, &d, sizeof bits);
          bits = bits & 0x80000000u ? ~bits : bits | 0x80000000u;
          const std::int32_t at =
              std::atomic_ref<std::int32_t>(fill[std::size_t(column[i])]).fetch_add(1, std::memory_order_relaxed);
          order[std::size_t(at)] = (std::uint64_t(bits) << 32) | std::uint32_t(i);
        }
      },
      8192);

  // The factor of the j-th point of a column, then each column sorted by (depth, index) on the
  // worker pool.
  std::vector<float> byRank(static_cast<std::size_t>(longest));
  for (std::int32_t j = 0; j < longest; ++j)
    byRank[std::size_t(j)] = 1.f - (1.f - std::exp(-0.15f * float(j))) * sMax;
  factors.assign(n, 1.f);
  ParallelFor(
      columnCount,
      [&](std::uint64_t begin, std::uint64_t end) {
        for (std::uint64_t c = begin; c < end; ++c) {
          auto first = order.begin() + start[c], last = order.begin() + start[c + 1];
          std::sort(first, last);
          for (auto it = first; it != last; ++it)
            factors[std::size_t(std::uint32_t(*it))] = byRank[std::size_t(it - first)];
        }
      },
      64);
}

}  // namespace crn
