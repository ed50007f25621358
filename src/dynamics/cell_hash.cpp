#include "dynamics/cell_hash.h"

#include <algorithm>
#include <atomic>
#include <limits>

#include "kernels/hash32.h"
#include "plugin/worker_pool.h"

namespace crn {

namespace {

std::size_t SlotOf(std::uint64_t key, std::size_t mask) {
  return std::size_t(Mix32(std::uint32_t(key) ^ Mix32(std::uint32_t(key >> 32)))) & mask;
}

}  // namespace

void KeyIndex::Reset(std::size_t expected) {
  std::size_t cap = 16;
  while (cap < 2 * expected) cap *= 2;
  slots_.assign(cap, -1);
  keys_.clear();
  keys_.reserve(expected);
  mask_ = cap - 1;
  size_ = 0;
}

std::int32_t KeyIndex::Insert(std::uint64_t key) {
  if (2 * (size_ + 1) > slots_.size()) {
    // Grow and re-insert in index order, which keeps every index.
    std::vector<std::uint64_t> keys = std::move(keys_);
    Reset(std::max<std::size_t>(keys.size() * 2, 8));
    for (std::uint64_t k : keys) Insert(k);
  }
  for (std::size_t s = SlotOf(key, mask_);; s = (s + 1) & mask_) {
    const std::int32_t i = slots_[s];
    if (i < 0) {
      slots_[s] = std::int32_t(size_);
      keys_.push_back(key);
      return std::int32_t(size_++);
    }
    if (keys_[std::size_t(i)] == key) return i;
  }
}

std::int32_t KeyIndex::Find(std::uint64_t key) const {
  if (slots_.empty()) return -1;
  for (std::size_t s = SlotOf(key, mask_);; s = (s + 1) & mask_) {
    const std::int32_t i = slots_[s];
    if (i < 0) return -1;
    if (keys_[std::size_t(i)] == key) return i;
  }
}

void CellDensity::Build(std::span<const CellCoord> cells) {
  Build(cells.size(), cells.data(), nullptr, 0.f, nullptr);
}

void CellDensity::Build(std::span<const V3> points, float h, std::vector<CellCoord>& cells) {
  cells.resize(points.size());
  Build(points.size(), nullptr, points.data(), h, cells.data());
}

void CellDensity::Build(std::size_t n, const CellCoord* given, const V3* points, float h,
                        CellCoord* out) {
  const CellCoord* cells = points ? out : given;
  ids_.resize(n);
  // The bounds on the worker pool (with points: their cells first, in the same pass).
  constexpr std::int64_t kLow = std::numeric_limits<std::int64_t>::min();
  constexpr std::int64_t kHigh = std::numeric_limits<std::int64_t>::max();
  std::atomic<std::int64_t> lo[3] = {kHigh, kHigh, kHigh}, hi[3] = {kLow, kLow, kLow};
  ParallelFor(
      n,
      [&](std::uint64_t begin, std::uint64_t end) {
        std::int64_t l[3] = {kHigh, kHigh, kHigh}, u[3] = {kLow, kLow, kLow};
        for (std::uint64_t i = begin; i < end; ++i) {
          if (points) out[i] = CellOf(points[i], h);
          const std::int64_t c[3] = {cells[i].x, cells[i].y, cells[i].z};
          for (int a = 0; a < 3; ++a) {
            l[a] = std::min(l[a], c[a]);
            u[a] = std::max(u[a], c[a]);
          }
        }
        for (int a = 0; a < 3; ++a) {
          AtomicMin(lo[a], l[a]);
          AtomicMax(hi[a], u[a]);
        }
      },
      16384);
  // Cell coordinates are clamped to +-1e15, so the sizes are exact in a double.
  double volume = 1;
  for (int a = 0; a < 3; ++a) volume *= n > 0 ? double(hi[a]) - double(lo[a]) + 1 : 0;
  dense_ = n > 0 && volume <= double(4 * n + 1024);
  if (dense_) {
    lo_ = {lo[0], lo[1], lo[2]};
    size_ = {hi[0] - lo[0] + 1, hi[1] - lo[1] + 1, hi[2] - lo[2] + 1};
    counts_.assign(std::size_t(size_.x * size_.y * size_.z), 0);
    // Box cells on the worker pool, counts on this thread: atomic increments from both
    // threads on neighbouring counters cost more than the whole count alone.
    ParallelFor(
        n,
        [&](std::uint64_t begin, std::uint64_t end) {
          for (std::uint64_t i = begin; i < end; ++i) {
            const CellCoord& c = cells[i];
            ids_[i] = std::int32_t(((c.z - lo_.z) * size_.y + (c.y - lo_.y)) * size_.x + (c.x - lo_.x));
          }
        },
        16384);
    for (const std::int32_t at : ids_) ++counts_[std::size_t(at)];
    return;
  }
  std::size_t cap = 16;
  while (cap < 2 * n) cap *= 2;
  mask_ = cap - 1;
  slotCells_.resize(cap);
  counts_.assign(cap, -1);
  for (std::size_t i = 0; i < n; ++i) {
    const std::int64_t s = Slot(cells[i]);
    if (counts_[std::size_t(s)] < 0) {
      counts_[std::size_t(s)] = 0;
      slotCells_[std::size_t(s)] = cells[i];
    }
    ++counts_[std::size_t(s)];
    ids_[i] = std::int32_t(s);
  }
}

std::int64_t CellDensity::Slot(const CellCoord& c) const {
  for (std::size_t s = SlotOf(KeyOf(c), mask_);; s = (s + 1) & mask_) {
    const CellCoord& at = slotCells_[s];
    if (counts_[s] < 0 || (at.x == c.x && at.y == c.y && at.z == c.z)) return std::int64_t(s);
  }
}

std::int32_t CellDensity::Count(const CellCoord& c) const {
  if (dense_) {
    const std::int64_t x = c.x - lo_.x, y = c.y - lo_.y, z = c.z - lo_.z;
    if (x < 0 || y < 0 || z < 0 || x >= size_.x || y >= size_.y || z >= size_.z) return 0;
    return counts_[std::size_t((z * size_.y + y) * size_.x + x)];
  }
  if (counts_.empty()) return 0;
  return std::max<std::int32_t>(0, counts_[std::size_t(Slot(c))]);
}

void CellBuckets::Build(std::span<const V3> points, float cell) {
  cell_ = cell;
  index_.Reset(points.size());
  std::vector<std::int32_t> bucket(points.size());
  std::vector<std::int32_t> counts;
  for (std::size_t j = 0; j < points.size(); ++j) {
    const std::int32_t i = index_.Insert(KeyOf(CellOf(points[j], cell)));
    if (std::size_t(i) == counts.size()) counts.push_back(0);
    ++counts[std::size_t(i)];
    bucket[j] = i;
  }
  start_.assign(counts.size() + 1, 0);
  for (std::size_t b = 0; b < counts.size(); ++b) start_[b + 1] = start_[b] + counts[b];
  items_.assign(points.size(), 0);
  std::vector<std::int32_t> fill(start_.begin(), start_.end() - 1);
  for (std::size_t j = 0; j < points.size(); ++j) items_[std::size_t(fill[std::size_t(bucket[j])]++)] = std::int32_t(j);
}

std::span<const std::int32_t> CellBuckets::Items(std::uint64_t key) const {
  const std::int32_t i = index_.Find(key);
  if (i < 0) return {};
  return std::span<const std::int32_t>(items_.data() + start_[std::size_t(i)],
                                       items_.data() + start_[std::size_t(i) + 1]);
}

}  // namespace crn
