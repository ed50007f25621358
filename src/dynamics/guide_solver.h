#pragma once
// One batch or live simulation of a hair object's guides: the arrays the step advances, the
// self-volume reference, the collider grid and the persistent GPU buffers, and the solver
// step of one frame shared by batch and live simulation.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dynamics/cell_hash.h"
#include "kernels/sim_step_kernel.h"
#include "kernels/sim_types.h"

namespace crn {

// The collider triangles with their acceleration grid; grid points into the arrays.
struct ColliderGrid {
  hsim::Grid grid;  // empty (null cellStart) without triangles
  std::vector<std::int32_t> cellStart, cellItems;
  std::vector<hsim::F3> triVerts, triNormals;
  hsim::GridItems items;  // the listed triangles item by item, for the CPU step
  float offset = 0;       // the collision offset the grid was built for
  std::int64_t TriangleCount() const { return std::int64_t(triNormals.size()); }
};

// Buffers of a frame's set-up passes (self-volume push, wind shadow), kept from frame to frame
// so that a frame does not map and fault in fresh memory for them. Their contents between
// frames mean nothing.
struct SolverScratch {
  std::vector<CellCoord> cells;
  CellDensity density;
  std::vector<float> shadow;
  std::vector<std::uint64_t> columnKeys, spareKeys;
  std::vector<std::uint32_t> order, spareOrder;
  std::vector<float> byRank;
};

struct GuideSolver {
  std::int64_t N = 0;  // guides
  int P = 0;           // points per guide
  std::vector<hsim::F3> x, v;
  std::vector<float> L;  // rest lengths; 0 at each root
  float volumeCell = 1.f;
  std::vector<float> restDensity;
  ColliderGrid colliders;
  hsim::GpuStepBuffers gpu;
  bool useGpu = false;  // cleared for good when a GPU step declines or fails
  std::string gpuError;
  SolverScratch scratch;
};

// Where the step runs: the GPU when one is present (auto), or only the CPU.
enum class SimDevice { Auto, Cpu };
void SetSimDevice(SimDevice d);
SimDevice GetSimDevice();

// A solver for N guides of P points starting at the targets: positions = targets, velocities
// 0, rest lengths from consecutive targets, the self-volume reference; useGpu when a CUDA
// device is present and the device setting allows it.
std::unique_ptr<GuideSolver> MakeSolver(const std::vector<hsim::F3>& targets, std::int64_t N, int P);

// L_k = |B_k - B_(k-1)| for k >= 1 of every guide, 0 at the roots.
void RestLengths(const std::vector<hsim::F3>& B, int P, std::vector<float>& L);

// What one frame's step needs besides the solver.
struct FrameStep {
  const std::vector<hsim::F3>* A = nullptr;  // targets at the start of the frame
  const std::vector<hsim::F3>* B = nullptr;  // targets at its end
  std::vector<hsim::F3> E;                   // external accelerations, or empty
  std::vector<hsim::Wind> winds;
  const std::vector<hsim::F3>* colliders = nullptr;  // triangle soup when collisions are on
  hsim::Params params;
  float selfVol = 0;
  float dynRadius = 0;  // collision offset parameter (skin distance)
};

// One frame: rest lengths from B, the collider grid, the self-volume push, the wind shadow,
// then the step on the GPU (first stepping thread only) or on the worker pool.
void SolverStep(GuideSolver& s, FrameStep& f);

// True on the first thread that ever ran a simulation step in the process.
bool IsGpuThread();

}  // namespace crn
