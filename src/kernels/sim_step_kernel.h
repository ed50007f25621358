#pragma once
// The simulation step over all guides of one hair object: the CPU twin over a guide range
// (callers parallelise it) and the GPU kernel hsim::kStep behind a launcher with its
// persistent buffer set. Both run StepGuide of kernels/sim_step.h; the kernel is compiled with
// fast approximate maths, so the two agree only within a tolerance.
#include <cstddef>
#include <cstdint>
#include <string>

#include "kernels/gpu_runtime.h"
#include "kernels/sim_types.h"

namespace hsim {

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
};

// CPU twin: steps guides [begin, end).
void StepRange(std::uint64_t begin, std::uint64_t end, const StepArgs& a);

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
