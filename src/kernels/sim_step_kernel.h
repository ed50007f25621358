#pragma once
// The simulation step over all guides of one hair object: the CPU twin over a guide range
// (callers parallelise it) and the GPU kernel hsim::kStep behind a launcher with its
// persistent buffer set. Both run StepGuide of kernels/sim_step.h; the kernel is compiled with
// fast approximate maths, so the two agree only within a tolerance.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "kernels/large_alloc.h"

#include "kernels/gpu_runtime.h"
#include "kernels/sim_types.h"

namespace hsim {

// The triangles listed in a collider grid, item by item in the grid's order, one array per
// number so that the CPU twin reads the triangles of a cell several at a time: a.x, a.y, a.z,
// b.x, ..., c.z (arrays 0-8), the normal (9-11; NaN where the plane test below does not hold)
// and a rounding allowance (12), number k of item i at coords[k * stride + i], padded past the
// last item. A point's signed distance along the normal of its nearest triangle, as
// GridContact computes it, is the distance of its plane within the allowance plus
// kItemTolerance times |p.x| + |p.y| + |p.z|.
//
// cellGap: per part of a cell (each cell cut into gapDiv^3 equal boxes, gapDiv 1 or 2,
// gapDiv^3 numbers per cell in x, y, z order), for the collision offset gapOffset, a lower bound on how far the
// part's centre lies outside the contact band of every triangle the cell lists (below 0 where
// it may lie inside one, or where a triangle has no plane test). A point nearer the centre of
// its part than the gap, less its own allowance, is outside every band: the search of its
// cell would find no contact, and the twin skips it.
constexpr float kItemTolerance = 1e-4f;
// skinGap: the same for another offset, skinOffset (the self-volume push's skin test).
struct GridItems {
  // Searches read a cell's items from 13 places megabytes apart: huge pages keep that from
  // missing the TLB on every search.
  std::vector<float, hrt::LargeArrayAllocator<float>> coords;
  std::int64_t stride = 0;
  std::vector<float> cellGap, skinGap;
  float gapOffset = 0, skinOffset = 0;
  int gapDiv = 1;
};

// Runs body(begin, end) over ranges that cover [0, count) once, of about `grain` indices or
// more, possibly several at the same time on other threads (the module passes its worker
// pool). Empty: one range on this thread.
using ForRanges = std::function<void(std::int64_t count, std::int64_t grain,
                                     const std::function<void(std::int64_t, std::int64_t)>& body)>;

// Fills items from the grid's cell lists and its triangle count (empty for an empty grid),
// with the cell gaps for the collision offset. Items keeps the memory of its arrays for the
// next build (an animated collider's grid is built every frame).
void BuildGridItems(const Grid& g, std::int64_t triangles, GridItems& items, float offset,
                    const ForRanges& forRanges = {});
// The cell gaps of items (built for g, with its gapDiv) for an offset, into gaps; none (empty)
// when no part of any cell lies outside every band, as with a wide band.
void BuildCellGaps(const Grid& g, const GridItems& items, float offset, std::vector<float>& gaps,
                   const ForRanges& forRanges = {});
// Whether q, in the cell (x, y, z) of g, lies outside the contact band of every triangle of the
// cell, by the cell's gap: a search of the cell would find no contact. The allowance covers
// q's own rounding allowance in the search and the rounding of the distances both ways.
// (Private to each unit that uses it, as the twin's units are compiled for different
// instruction sets.)
namespace {
inline bool OutsideEveryBand(const Grid& g, const float* gaps, int div, std::int64_t x,
                             std::int64_t y, std::int64_t z, const F3& q) {
  // The part of the cell q lies in (any part would do: the bound holds for every point).
  const double at[3] = {double(q.x), double(q.y), double(q.z)};
  const double lo[3] = {double(g.origin.x) + double(x) * double(g.cell),
                        double(g.origin.y) + double(y) * double(g.cell),
                        double(g.origin.z) + double(z) * double(g.cell)};
  const double part = double(g.cell) / double(div);
  int sub[3];  // without branches: which half a point lies in is unpredictable
  for (int a = 0; a < 3; ++a) sub[a] = int(div == 2) & int(at[a] >= lo[a] + part);
  const std::int64_t cell = (z * g.ny + y) * g.nx + x;
  const float gap = gaps[std::size_t(cell * div * div * div + (sub[2] * div + sub[1]) * div + sub[0])];
  if (!(gap > 0.f)) return false;
  const double dx = at[0] - (lo[0] + (double(sub[0]) + 0.5) * part);
  const double dy = at[1] - (lo[1] + (double(sub[1]) + 0.5) * part);
  const double dz = at[2] - (lo[2] + (double(sub[2]) + 0.5) * part);
  const double size = std::fabs(double(q.x)) + std::fabs(double(q.y)) + std::fabs(double(q.z)) +
                      std::fabs(double(g.origin.x)) + std::fabs(double(g.origin.y)) +
                      std::fabs(double(g.origin.z)) + double(g.cell) * double(g.nx + g.ny + g.nz);
  const double reach = double(gap) - (double(kItemTolerance) * size + 1e-5 * size + 1e-20);
  return reach > 0 && (dx * dx + dy * dy + dz * dz) * (1.0 + 3e-5) < reach * reach;
}
}  // namespace

// GridCollide of one point on the CPU, reading the cell's triangles from items several at a
// time; the same result as GridCollide.
F3 GridCollideCpu(const Grid& g, const GridItems& items, F3& p, float offset);
// Whether GridCollide of a copy of p reports a contact (the same answer, often without
// searching for the nearest triangle).
bool GridTouchesCpu(const Grid& g, const GridItems& items, const F3& p, float offset);

// One frame's step of N guides of P points, in host memory. Per-point arrays are
// guide-major (guide g at g * P).
struct StepArgs {
  std::int64_t N = 0;
  int P = 0;
  F3* x = nullptr;              // positions, in/out
  F3* v = nullptr;              // velocities, in/out
  const F3* A = nullptr;        // target pose at the start of the frame
  const F3* B = nullptr;        // target pose at the end of the frame
  const float* L = nullptr;     // rest lengths
  const F3* E = nullptr;        // external accelerations, or null
  const Wind* winds = nullptr;  // params.windCount records
  Grid grid;                    // host arrays; empty when cellStart is null
  std::int64_t gridTriangles = 0;
  Params params;
  const float* S = nullptr;     // shadow factors, used when shadowCount == N * P
  std::size_t shadowCount = 0;
  const float* itemCoords = nullptr;  // GridItems of the grid for the CPU twin, or null
  std::int64_t itemStride = 0;
  const float* cellGap = nullptr;  // the items' cell gaps when made for params.offset, or null
  int gapDiv = 1;
};

// CPU twin: steps guides [begin, end), several at once in the lanes of the widest vectors the
// processor has.
void StepRange(std::uint64_t begin, std::uint64_t end, const StepArgs& a);

// How the twin steps guides: 8 per call (AVX2, where the processor has it; else as Sse2), 4
// per call (SSE2, the x86-64 baseline) or one at a time. All give the same results.
enum class CpuLanes { Avx2, Sse2, Single };
void StepRangeOn(CpuLanes lanes, std::uint64_t begin, std::uint64_t end, const StepArgs& a);
bool CpuHasAvx2();

// The twin's parts for each instruction set.
void StepRangeSse2(std::uint64_t begin, std::uint64_t end, const StepArgs& a);
void StepRangeAvx2(std::uint64_t begin, std::uint64_t end, const StepArgs& a);
F3 GridCollideSse2(const Grid& g, const float* itemCoords, std::int64_t itemStride, F3& p,
                   float offset);
F3 GridCollideAvx2(const Grid& g, const float* itemCoords, std::int64_t itemStride, F3& p,
                   float offset);
bool GridTouchesSse2(const Grid& g, const float* itemCoords, std::int64_t itemStride, const F3& p,
                     float offset);
bool GridTouchesAvx2(const Grid& g, const float* itemCoords, std::int64_t itemStride, const F3& p,
                     float offset);
// The same for a p whose cell, one that lists triangles, is known.
bool GridTouchesCellSse2(const Grid& g, const float* itemCoords, std::int64_t itemStride,
                         std::int64_t cell, const F3& p, float offset);
bool GridTouchesCellAvx2(const Grid& g, const float* itemCoords, std::int64_t itemStride,
                         std::int64_t cell, const F3& p, float offset);
// GridCollide compiled for the baseline, for lanes without GridItems.
F3 GridCollidePoint(const Grid& g, F3& p, float offset);

// Device copies of a step's arrays, kept by one solver and grown to the largest size asked.
struct GpuStepBuffers {
  crn::gpu::DeviceBuffer<F3> x, v, A, B, E;
  crn::gpu::DeviceBuffer<float> L, S;
  crn::gpu::DeviceBuffer<Wind> winds;
  crn::gpu::DeviceBuffer<std::int32_t> cellStart, cellItems;
  crn::gpu::DeviceBuffer<F3> triVerts, triNormals;
};

// Uploads every input, runs hsim::kStep (128 threads per block, one guide per thread), waits
// for the device and copies positions and velocities back. Declines (false, with the reason
// in error) without a device, with P above kMaxGpuPoints or with no guides; fails on any
// device error. x and v are unchanged unless it succeeds.
bool StepOnGpu(GpuStepBuffers& buffers, const StepArgs& a, std::string& error);

}  // namespace hsim
