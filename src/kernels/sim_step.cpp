#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "kernels/sim_step.h"
#include "kernels/sim_step_kernel.h"

namespace hsim {

namespace {

// AVX2 where the processor has it, else the x86-64 baseline; both give the same results.
bool UseAvx2() {
#if defined(__x86_64__) || defined(__i386__)
  static const bool avx2 = __builtin_cpu_supports("avx2");
  return avx2;
#else
  return false;
#endif
}

}  // namespace

F3 GridCollidePoint(const Grid& g, F3& p, float offset) { return GridCollide(g, p, offset); }

namespace {

void RunRanges(const ForRanges& forRanges, std::int64_t count, std::int64_t grain,
               const std::function<void(std::int64_t, std::int64_t)>& body) {
  if (count <= 0) return;
  if (forRanges) forRanges(count, grain, body);
  else body(0, count);
}

}  // namespace

void BuildGridItems(const Grid& g, std::int64_t triangles, GridItems& items, float offset,
                    const ForRanges& forRanges) {
  items.coords.clear();  // keeps its memory: no new pages to fault in for the next build
  items.stride = 0;
  items.cellGap.clear();
  items.gapOffset = offset;
  items.gapDiv = 1;
  if (!g.cellStart || triangles <= 0) return;
  // Per triangle: the normal for the plane test (NaN where it does not hold) and the allowance.
  // The normal is true to the edges within the allowance only where the triangle is not a
  // sliver (the sine of its angle at a above 0.02); others always get the full search.
  const float nan = std::numeric_limits<float>::quiet_NaN();
  std::vector<float> plane(4 * std::size_t(triangles));
  RunRanges(forRanges, triangles, 4096, [&](std::int64_t first, std::int64_t end) {
    for (std::int64_t t = first; t < end; ++t) {
      const F3* v = g.triVerts + 3 * t;
      const F3 ab = v[1] - v[0], ac = v[2] - v[0];
      const float cross = crn::LengthSq(crn::Cross(ab, ac));
      const bool planar = cross > 4e-4f * crn::LengthSq(ab) * crn::LengthSq(ac) && cross > 0.f;
      float size = 0.f;
      for (int k = 0; k < 3; ++k) size += std::fabs(v[k].x) + std::fabs(v[k].y) + std::fabs(v[k].z);
      const F3 n = g.triNormals[t];
      float* o = plane.data() + 4 * t;
      o[0] = planar ? n.x : nan;
      o[1] = planar ? n.y : nan;
      o[2] = planar ? n.z : nan;
      o[3] = kItemTolerance * size;
    }
  });
  const std::int64_t cells = std::int64_t(g.nx) * g.ny * g.nz;
  const std::int64_t count = g.cellStart[cells];
  // Padding past the last item: a read of a full pack from the last item stays inside.
  const std::int64_t stride = count + 16;
  items.stride = stride;
  items.coords.resize(std::size_t(13 * stride));
  float* c = items.coords.data();
  RunRanges(forRanges, count, 8192, [&](std::int64_t first, std::int64_t end) {
    for (std::int64_t i = first; i < end; ++i) {
      const std::int64_t t = g.cellItems[i];
      const F3* v = g.triVerts + 3 * t;
      for (int k = 0; k < 3; ++k) {
        c[(3 * k) * stride + i] = v[k].x;
        c[(3 * k + 1) * stride + i] = v[k].y;
        c[(3 * k + 2) * stride + i] = v[k].z;
      }
      for (int k = 0; k < 4; ++k) c[(9 + k) * stride + i] = plane[std::size_t(4 * t + k)];
    }
  });

  // Cells cut in eight for the gaps, unless the grid is huge.
  items.gapDiv = cells <= (std::int64_t(1) << 20) ? 2 : 1;
  BuildCellGaps(g, items, offset, items.cellGap, forRanges);
}

void BuildCellGaps(const Grid& g, const GridItems& items, float offset, std::vector<float>& gaps,
                   const ForRanges& forRanges) {
  gaps.clear();
  if (!g.cellStart || items.coords.empty()) return;
  const std::int64_t cells = std::int64_t(g.nx) * g.ny * g.nz;
  const std::int64_t stride = items.stride;
  const float* c = items.coords.data();
  // The gaps, in double: the band of item i is [low - tol_i, offset + tol_i) along its
  // plane's signed distance, as the search tests it.
  const float low = -4.f * offset - g.cell;
  const int div = items.gapDiv;
  const double part = double(g.cell) / double(div);
  gaps.assign(std::size_t(cells * div * div * div), -1.f);
  const int parts = div * div * div;
  // Layer by layer along z; each layer counts its parts outside every band.
  std::vector<std::int64_t> outsideOfLayer(std::size_t(g.nz), 0);
  RunRanges(forRanges, g.nz, 1, [&](std::int64_t z0, std::int64_t z1) {
    for (std::int64_t z = z0; z < z1; ++z)
      for (std::int64_t y = 0; y < g.ny; ++y)
        for (std::int64_t x = 0; x < g.nx; ++x) {
          const std::int64_t cell = (z * g.ny + y) * g.nx + x;
          if (g.cellStart[cell] == g.cellStart[cell + 1]) continue;  // never searched
          for (int sub = 0; sub < parts; ++sub) {
            const double cx = double(g.origin.x) + double(x) * double(g.cell) + (double(sub % div) + 0.5) * part;
            const double cy = double(g.origin.y) + double(y) * double(g.cell) + (double(sub / div % div) + 0.5) * part;
            const double cz = double(g.origin.z) + double(z) * double(g.cell) + (double(sub / div / div) + 0.5) * part;
            double gap = std::numeric_limits<double>::infinity();
            for (std::int32_t i = g.cellStart[cell]; i < g.cellStart[cell + 1] && gap > 0; ++i) {
              const double d = double(c[9 * stride + i]) * (cx - double(c[i])) +
                               double(c[10 * stride + i]) * (cy - double(c[stride + i])) +
                               double(c[11 * stride + i]) * (cz - double(c[2 * stride + i]));
              const double tol = double(c[12 * stride + i]);
              const double outside = std::max(d - (double(offset) + tol), (double(low) - tol) - d);
              gap = outside == outside ? std::min(gap, outside) : -1.0;  // NaN: no plane test
            }
            // Rounded down to a float.
            if (gap > 0) {
              gaps[std::size_t(cell * parts + sub)] = std::nextafter(float(gap), 0.f);
              ++outsideOfLayer[std::size_t(z)];
            }
          }
        }
  });
  std::int64_t outside = 0;
  for (const std::int64_t n : outsideOfLayer) outside += n;
  if (outside == 0) gaps.clear();
}

F3 GridCollideCpu(const Grid& g, const GridItems& items, F3& p, float offset) {
  if (items.coords.empty()) return GridCollide(g, p, offset);
  return UseAvx2() ? GridCollideAvx2(g, items.coords.data(), items.stride, p, offset)
                   : GridCollideSse2(g, items.coords.data(), items.stride, p, offset);
}

bool GridTouchesCpu(const Grid& g, const GridItems& items, const F3& p, float offset) {
  if (items.coords.empty()) {
    F3 q = p;
    const F3 n = GridCollide(g, q, offset);
    return n.x != 0.f || n.y != 0.f || n.z != 0.f;
  }
  // The cell once: most points lie in cells that list nothing, or outside every band.
  std::int64_t cell = 0, x, y, z;
  if (!GridCellOf(g, p, cell, x, y, z) || g.cellStart[cell] == g.cellStart[cell + 1]) return false;
  const std::vector<float>* gaps = offset == items.gapOffset   ? &items.cellGap
                                   : offset == items.skinOffset ? &items.skinGap
                                                                : nullptr;
  if (gaps && !gaps->empty() && OutsideEveryBand(g, gaps->data(), items.gapDiv, x, y, z, p))
    return false;
  return UseAvx2() ? GridTouchesCellAvx2(g, items.coords.data(), items.stride, cell, p, offset)
                   : GridTouchesCellSse2(g, items.coords.data(), items.stride, cell, p, offset);
}

void StepRange(std::uint64_t begin, std::uint64_t end, const StepArgs& a) {
  StepRangeOn(UseAvx2() ? CpuLanes::Avx2 : CpuLanes::Sse2, begin, end, a);
}

bool CpuHasAvx2() { return UseAvx2(); }

void StepRangeOn(CpuLanes lanes, std::uint64_t begin, std::uint64_t end, const StepArgs& a) {
  if (lanes == CpuLanes::Single) {
    const std::size_t P = std::size_t(a.P);
    std::vector<F3> scratch(2 * P);
    std::vector<float> bend(P);
    const bool shadow = a.S && a.shadowCount == std::size_t(a.N) * P;
    for (std::uint64_t g = begin; g < end; ++g) {
      const std::size_t o = g * P;
      StepGuide<float>(a.P, a.x + o, a.v + o, a.A + o, a.B + o, a.L + o, a.E ? a.E + o : nullptr,
                       a.winds, a.grid, a.params, shadow ? a.S + o : nullptr, scratch.data(),
                       bend.data());
    }
  } else if (lanes == CpuLanes::Avx2 && UseAvx2()) {
    StepRangeAvx2(begin, end, a);
  } else {
    StepRangeSse2(begin, end, a);
  }
}

#if !defined(CRINEL_WITH_CUDA)
// Without CUDA the step only reports that there is no device.
bool StepOnGpu(GpuStepBuffers&, const StepArgs&, std::string& error) {
  error = crn::gpu::kNoDeviceText;
  return false;
}
#endif

}  // namespace hsim
