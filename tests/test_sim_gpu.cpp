// The simulation step kernel against its CPU twin. The kernel runs with fast approximate
// maths, so the two agree within a tolerance: after one frame of 4 substeps x 8 iterations
// with gravity, wind (gusts, curl turbulence, flutter, shadow), external accelerations and a
// collider, every point lies within 2e-3 units (hair 10 units long) of the twin's.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "../bench/sim_bench_frame.h"
#include "kernels/gpu_runtime.h"
#include "kernels/sim_step_kernel.h"

namespace {

constexpr float kTolerance = 2e-3f;

hsim::StepArgs ArgsOf(bench::SimFrame& f, std::vector<hsim::F3>& x, std::vector<hsim::F3>& v,
                      const std::vector<float>& shadow) {
  hsim::StepArgs a = f.Args();
  a.x = x.data();
  a.v = v.data();
  a.E = f.step.E.data();
  a.S = shadow.data();
  a.shadowCount = shadow.size();
  return a;
}

}  // namespace

TEST(SimStepOnGpu, KernelAgreesWithTheCpuTwin) {
  if (crn::gpu::DeviceCount() == 0) GTEST_SKIP() << "no CUDA device";
  bench::SimFrame f(crn::SimDevice::Cpu);
  f.Run();  // builds the grid; positions now moved by one frame
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> u(-50.f, 50.f);
  f.step.E.resize(f.A.size());
  for (hsim::F3& e : f.step.E) e = hsim::F3(u(rng), u(rng), u(rng));
  std::vector<float> shadow(f.A.size());
  for (float& s : shadow) s = 0.5f + 0.01f * std::fabs(u(rng));
  std::vector<hsim::F3> xc = f.solver->x, vc = f.solver->v, xg = xc, vg = vc;
  hsim::StepArgs cpu = ArgsOf(f, xc, vc, shadow), gpu = ArgsOf(f, xg, vg, shadow);
  hsim::StepRange(0, std::uint64_t(cpu.N), cpu);
  hsim::GpuStepBuffers buffers;
  std::string error;
  ASSERT_TRUE(hsim::StepOnGpu(buffers, gpu, error)) << error;
  float worst = 0;
  for (std::size_t i = 0; i < xc.size(); ++i) worst = std::max(worst, crn::Length(xc[i] - xg[i]));
  EXPECT_LT(worst, kTolerance);
  // The buffers are kept and reused: a second, smaller call succeeds on them.
  gpu.N = 100;
  EXPECT_TRUE(hsim::StepOnGpu(buffers, gpu, error)) << error;
}

TEST(SimStepOnGpu, DeclinesWhatItCannotRunAndTheSolverFallsBackForGood) {
  if (crn::gpu::DeviceCount() == 0) GTEST_SKIP() << "no CUDA device";
  // 66 points per guide: the kernel's scratch holds 65.
  std::vector<hsim::F3> targets;
  for (int g = 0; g < 10; ++g)
    for (int k = 0; k < 66; ++k) targets.push_back(hsim::F3(float(g), 0, 0.1f * k));
  auto solver = crn::MakeSolver(targets, 10, 66);
  ASSERT_TRUE(solver->useGpu);
  hsim::StepArgs a;
  a.N = 10;
  a.P = 66;
  a.x = solver->x.data();
  a.v = solver->v.data();
  a.A = a.B = targets.data();
  a.L = solver->L.data();
  std::string error;
  EXPECT_FALSE(hsim::StepOnGpu(solver->gpu, a, error));
  EXPECT_FALSE(error.empty());
  a.N = 0;
  a.P = 11;
  EXPECT_FALSE(hsim::StepOnGpu(solver->gpu, a, error));

  crn::FrameStep step;
  step.A = step.B = &targets;
  step.params.frameTime = 1.f / 30;
  step.params.dt = step.params.frameTime;
  step.params.gravity = hsim::F3(0, 0, -981.f);
  crn::SolverStep(*solver, step);
  EXPECT_FALSE(solver->useGpu);
  EXPECT_NE(solver->x[65], targets[65]);  // the CPU stepped it
}
