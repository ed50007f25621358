// One simulation frame with the step on the GPU (hsim::kStep), the same frame as
// bench_sim_step: the whole solver step, and the kernel call alone (uploads, launch,
// synchronisation and copying back). Skipped without a CUDA device.
#include <benchmark/benchmark.h>

#include "kernels/gpu_runtime.h"
#include "sim_bench_frame.h"

namespace {

void BM_SimFrameGpu(benchmark::State& state) {
  if (crn::gpu::DeviceCount() == 0) return state.SkipWithError("no CUDA device");
  bench::SimFrame f(crn::SimDevice::Auto);
  for (auto _ : state) {
    f.Run();
    if (!f.solver->useGpu) return state.SkipWithError(f.solver->gpuError.c_str());
    benchmark::DoNotOptimize(f.solver->x.data());
  }
}
BENCHMARK(BM_SimFrameGpu)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SimStepOnlyGpu(benchmark::State& state) {
  if (crn::gpu::DeviceCount() == 0) return state.SkipWithError("no CUDA device");
  bench::SimFrame f(crn::SimDevice::Auto);
  f.Run();
  crn::GuideSolver& s = *f.solver;
  const hsim::StepArgs a = f.Args();
  std::string error;
  for (auto _ : state) {
    if (!hsim::StepOnGpu(s.gpu, a, error)) return state.SkipWithError(error.c_str());
    benchmark::DoNotOptimize(s.x.data());
  }
}
BENCHMARK(BM_SimStepOnlyGpu)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
