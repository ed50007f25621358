#include "dynamics/cell_hash.h"

#include "kernels/hash32.h"

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

void CellCounts::Build(std::span<const V3> points, float cell) {
  std::vector<std::uint64_t> keys(points.size());
  for (std::size_t i = 0; i < points.size(); ++i) keys[i] = KeyOf(CellOf(points[i], cell));
  BuildFromKeys(keys);
}

void CellCounts::BuildFromKeys(std::span<const std::uint64_t> keys) {
  // Cells usually hold many points: a table sized for the cells, grown when there are more,
  // stays in the cache where one sized for every point would not.
  index_.Reset(keys.size() / 16 + 16);
  counts_.clear();
  // Neighbouring points of a strand often share a cell: a repeat of the previous key skips the
  // hash table.
  std::int32_t previous = -1;
  for (std::size_t j = 0; j < keys.size(); ++j) {
    const std::int32_t i = previous >= 0 && keys[j] == keys[j - 1] ? previous : index_.Insert(keys[j]);
    if (std::size_t(i) == counts_.size()) counts_.push_back(0);
    ++counts_[std::size_t(i)];
    previous = i;
  }
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
