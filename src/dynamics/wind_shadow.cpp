#include "dynamics/wind_shadow.h"

#include <algorithm>
#include <cmath>

#include "dynamics/cell_hash.h"

namespace crn {

std::vector<float> ComputeWindShadow(const std::vector<hsim::F3>& positions,
                                     const std::vector<float>& L,
                                     const std::vector<hsim::Wind>& winds) {
  if (winds.empty()) return {};
  float sMax = 0;
  for (const hsim::Wind& w : winds) sMax = std::max(sMax, w.shadow);
  if (!(sMax > 0)) return {};

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

  // Group the points by column (dense ids in order of first appearance), then sort each
  // column by (depth, index).
  const std::size_t n = positions.size();
  KeyIndex columns;
  columns.Reset(n / 4 + 1);
  std::vector<std::int32_t> column(n);
  std::vector<float> depth(n);
  std::vector<std::int32_t> counts;
  for (std::size_t i = 0; i < n; ++i) {
    const V3& p = positions[i];
    const std::int64_t cu = CellOf(Dot(u, p), H), cw = CellOf(Dot(w, p), H);
    const std::int32_t c =
        columns.Insert((std::uint64_t(std::uint32_t(cu)) << 32) | std::uint32_t(cw));
    if (std::size_t(c) == counts.size()) counts.push_back(0);
    ++counts[std::size_t(c)];
    column[i] = c;
    const float d = Dot(a, p);
    depth[i] = d == d ? d : 1e30f;  // a NaN would break the ordering of the sort
  }
  std::vector<std::int32_t> start(counts.size() + 1, 0);
  for (std::size_t c = 0; c < counts.size(); ++c) start[c + 1] = start[c] + counts[c];
  std::vector<std::int32_t> order(n), fill(start.begin(), start.end() - 1);
  for (std::size_t i = 0; i < n; ++i) order[std::size_t(fill[std::size_t(column[i])]++)] = std::int32_t(i);

  std::vector<float> factors(n, 1.f);
  for (std::size_t c = 0; c < counts.size(); ++c) {
    auto first = order.begin() + start[c], last = order.begin() + start[c + 1];
    std::sort(first, last, [&](std::int32_t x, std::int32_t y) {
      return depth[std::size_t(x)] < depth[std::size_t(y)] ||
             (depth[std::size_t(x)] == depth[std::size_t(y)] && x < y);
    });
    for (auto it = first; it != last; ++it) {
      const float j = float(it - first);
      factors[std::size_t(*it)] = 1.f - (1.f - std::exp(-0.15f * j)) * sMax;
    }
  }
  return factors;
}

}  // namespace crn
