// The simulation step kernel: one thread per guide, all scratch in per-thread local memory.
// Compiled with --use_fast_math (see CMakeLists.txt); the CPU twin (sim_step.cpp) runs the
// same StepGuide with IEEE arithmetic, several guides per call.
#include <algorithm>
#include <vector>

#include "kernels/sim_step.h"
#include "kernels/sim_step_kernel.h"

namespace hsim {

namespace {

constexpr unsigned kThreads = 128;

}  // namespace

__global__ void kStep(std::int64_t N, int P, F3* x, F3* v, const F3* A, const F3* B,
                      const float* L, const F3* E, int hasE, const Wind* winds, Grid grid,
                      Params params, const float* S) {
  const std::int64_t g = std::int64_t(blockIdx.x) * blockDim.x + threadIdx.x;
  if (g >= N) return;
  F3 scratch[2 * kMaxGpuPoints];
  float bend[kMaxGpuPoints];
  const std::int64_t o = g * P;
  StepGuide<float>(P, x + o, v + o, A + o, B + o, L + o, hasE ? E + o : nullptr, winds, grid, params,
            S ? S + o : nullptr, scratch, bend);
}

bool StepOnGpu(GpuStepBuffers& b, const StepArgs& a, std::string& error) {
  if (crn::gpu::DeviceCount() <= 0) {
    error = crn::gpu::kNoDeviceText;
    return false;
  }
  if (a.P > kMaxGpuPoints || a.P < 1) {
    error = "Guides with more than 65 points are simulated on the CPU.";
    return false;
  }
  if (a.N <= 0) {
    error = "No guides to simulate.";
    return false;
  }
  const std::size_t points = std::size_t(a.N) * std::size_t(a.P);
  const std::size_t windCount = std::size_t(a.params.windCount > 0 ? a.params.windCount : 0);
  const bool shadow = a.S && a.shadowCount == points;
  bool ok = b.x.Upload(a.x, points, error) && b.v.Upload(a.v, points, error) &&
            b.A.Upload(a.A, points, error) && b.B.Upload(a.B, points, error) &&
            b.L.Upload(a.L, points, error) && b.winds.Reserve(windCount > 0 ? windCount : 1, error) &&
            b.winds.Upload(a.winds, windCount, error);
  if (ok && a.E) ok = b.E.Upload(a.E, points, error);
  if (ok && shadow) ok = b.S.Upload(a.S, points, error);
  Grid grid = a.grid;
  if (ok && a.grid.cellStart && a.gridTriangles > 0) {
    const std::size_t cells =
        std::size_t(a.grid.nx) * std::size_t(a.grid.ny) * std::size_t(a.grid.nz);
    const std::size_t items = std::size_t(a.grid.cellStart[cells]);
    const std::size_t tris = std::size_t(a.gridTriangles);
    ok = b.cellStart.Upload(a.grid.cellStart, cells + 1, error) &&
         b.cellItems.Reserve(items > 0 ? items : 1, error) &&
         b.cellItems.Upload(a.grid.cellItems, items, error) &&
         b.triVerts.Upload(a.grid.triVerts, 3 * tris, error) &&
         b.triNormals.Upload(a.grid.triNormals, tris, error);
    grid.cellStart = b.cellStart.Data();
    grid.cellItems = b.cellItems.Data();
    grid.triVerts = b.triVerts.Data();
    grid.triNormals = b.triNormals.Data();
  } else {
    grid.cellStart = grid.cellItems = nullptr;
    grid.triVerts = grid.triNormals = nullptr;
  }
  if (!ok) return false;
  const unsigned blocks = unsigned((std::size_t(a.N) + kThreads - 1) / kThreads);
  kStep<<<blocks, kThreads>>>(a.N, a.P, b.x.Data(), b.v.Data(), b.A.Data(), b.B.Data(),
                              b.L.Data(), a.E ? b.E.Data() : nullptr, a.E ? 1 : 0,
                              b.winds.Data(), grid, a.params, shadow ? b.S.Data() : nullptr);
  if (!crn::gpu::LaunchSucceeded(error) || !crn::gpu::Synchronize(error)) return false;
  // Copy back through host scratch so a failed copy leaves the solver's arrays untouched.
  std::vector<F3> xs(points), vs(points);
  if (!b.x.Download(xs.data(), points, error) || !b.v.Download(vs.data(), points, error))
    return false;
  std::copy(xs.begin(), xs.end(), a.x);
  std::copy(vs.begin(), vs.end(), a.v);
  return true;
}

}  // namespace hsim
