#pragma once
// Points by integer cell: the counts per cell of the self-volume push (by the cell
// coordinates), and the points per cell of the hair-hair push and the water, keyed by CellKey64
// of the cell (cells that share a key share a bucket, which only adds candidates that those
// passes test by distance). Open addressing sized to the points, so the cost follows the point
// count, not the extent of the scene.
#include <atomic>
#include <cmath>
#include <cstdint>
#include <span>
#include <vector>

#include "hair/fur_math.h"
#include "kernels/vec3.h"

namespace crn {

// Integer cell of p for cell size h, clamped far out so the conversion never overflows.
struct CellCoord {
  std::int64_t x, y, z;
};
// The floor is taken from the truncating conversion: the baseline instruction set has no
// rounding instruction, and a libm call per coordinate cost more than the division.
inline std::int64_t CellOf(float v, float h) {
  const double c = double(v) / double(h);
  if (!(c > -1e15)) return -1000000000000000ll;  // NaN and far below
  if (!(c < 1e15)) return 1000000000000000ll;
  const std::int64_t t = std::int64_t(c);  // towards zero
  return t - std::int64_t(double(t) > c);
}
inline CellCoord CellOf(const V3& p, float h) { return {CellOf(p.x, h), CellOf(p.y, h), CellOf(p.z, h)}; }
inline std::uint64_t KeyOf(const CellCoord& c) { return CellKey64(c.x, c.y, c.z); }

// Lowers (raises) a to v: merges the bounds that tasks on the worker pool found.
inline void AtomicMin(std::atomic<std::int64_t>& a, std::int64_t v) {
  std::int64_t cur = a.load(std::memory_order_relaxed);
  while (v < cur && !a.compare_exchange_weak(cur, v, std::memory_order_relaxed)) {
  }
}
inline void AtomicMax(std::atomic<std::int64_t>& a, std::int64_t v) {
  std::int64_t cur = a.load(std::memory_order_relaxed);
  while (v > cur && !a.compare_exchange_weak(cur, v, std::memory_order_relaxed)) {
  }
}

// Maps 64-bit keys to dense indices 0, 1, 2, ... in order of first insertion.
class KeyIndex {
 public:
  void Reset(std::size_t expected);
  // The key's index, inserted when new.
  std::int32_t Insert(std::uint64_t key);
  // The key's index, or -1.
  std::int32_t Find(std::uint64_t key) const;
  std::size_t Size() const { return size_; }

 private:
  std::vector<std::uint64_t> keys_;
  std::vector<std::int32_t> slots_;  // -1: empty
  std::size_t mask_ = 0, size_ = 0;
};

// Point counts per cell of integer cell coordinates, each cell counted on its own: a dense
// array over the cells' bounding box when that box is not much larger than the point count,
// else a hash table of the coordinates themselves. (Cell keys cannot stand for cells here:
// CellKey64 gives many nearby cells of negative coordinates the same key.)
class CellDensity {
 public:
  void Build(std::span<const CellCoord> cells);
  // The same for the cells of points for cell size h (CellOf), which it fills in.
  void Build(std::span<const V3> points, float h, std::vector<CellCoord>& cells);
  // The count of the cell of point i of the cells built from.
  std::int32_t CountOfPoint(std::size_t i) const { return counts_[std::size_t(ids_[i])]; }
  // The count of any cell (0 where no point is).
  std::int32_t Count(const CellCoord& c) const;
  // The counts of the six cells next to c, the cell of point i: +x, -x, +y, -y, +z, -z.
  void NeighbourCounts(std::size_t i, const CellCoord& c, std::int32_t n[6]) const {
    if (!dense_) {
      const std::int64_t d[6][3] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
      for (int k = 0; k < 6; ++k) n[k] = Count({c.x + d[k][0], c.y + d[k][1], c.z + d[k][2]});
      return;
    }
    // From the point's box cell: its neighbours inside the box are a row, a layer away.
    const std::int32_t* at = counts_.data() + ids_[i];
    const std::int64_t x = c.x - lo_.x, y = c.y - lo_.y, z = c.z - lo_.z;
    const std::int64_t row = size_.x, layer = size_.x * size_.y;
    n[0] = x + 1 < size_.x ? at[1] : 0;
    n[1] = x > 0 ? at[-1] : 0;
    n[2] = y + 1 < size_.y ? at[row] : 0;
    n[3] = y > 0 ? at[-row] : 0;
    n[4] = z + 1 < size_.z ? at[layer] : 0;
    n[5] = z > 0 ? at[-layer] : 0;
  }

 private:
  // From the given cells, or from the cells of points written to out.
  void Build(std::size_t n, const CellCoord* given, const V3* points, float h, CellCoord* out);
  std::int64_t Slot(const CellCoord& c) const;  // hash table: c's slot, or the empty one ending its probe

  bool dense_ = false;
  CellCoord lo_{}, size_{};          // dense: the box
  std::vector<CellCoord> slotCells_;  // hash table: the cell of each used slot
  std::size_t mask_ = 0;
  std::vector<std::int32_t> counts_;  // per box cell or per slot (-1: empty slot)
  std::vector<std::int32_t> ids_;     // per point: its box cell or slot
};

// The indices of the points in each cell.
class CellBuckets {
 public:
  void Build(std::span<const V3> points, float cell);
  std::span<const std::int32_t> Items(std::uint64_t key) const;
  float Cell() const { return cell_; }

 private:
  KeyIndex index_;
  std::vector<std::int32_t> start_, items_;
  float cell_ = 1.f;
};

}  // namespace crn
