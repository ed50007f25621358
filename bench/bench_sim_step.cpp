// One simulation frame on the CPU: 20,000 guides x 11 points, 4 substeps x 8 iterations,
// collisions on a 10,000-triangle sphere, one wind (see sim_bench_frame.h). The whole solver
// step (collider grid, self-volume push, wind shadow and the step on the worker pool), the
// step alone, and the grid a moving collider needs every frame.
#include <benchmark/benchmark.h>

#include <ctime>

#include "dynamics/colliders.h"
#include "dynamics/self_volume.h"
#include "kernels/sim_step_kernel.h"
#include "plugin/worker_pool.h"
#include "sim_bench_frame.h"

namespace {

double ProcessCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) * 1e3 + double(t.tv_nsec) * 1e-6;
}

// Argument 1: the wind as created (gusts, three octaves of curl turbulence, flutter, shadow);
// 0: the same wind without turbulence.
// cpu_ms: processor time of all threads per frame, which a busy machine distorts less than
// the wall time.
void BM_SimFrameCpu(benchmark::State& state) {
  bench::SimFrame f(crn::SimDevice::Cpu);
  if (state.range(0) == 0) f.step.winds[0].turbulence = 0;
  const double cpu0 = ProcessCpuMs();
  for (auto _ : state) {
    f.Run();
    benchmark::DoNotOptimize(f.solver->x.data());
  }
  state.counters["guides/s"] = benchmark::Counter(double(bench::kGuides), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["cpu_ms"] = (ProcessCpuMs() - cpu0) / double(state.iterations());
}
BENCHMARK(BM_SimFrameCpu)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

// The step of the guides alone (what the GPU kernel replaces), with the frame's grid and
// shadow already built.
void BM_SimStepOnlyCpu(benchmark::State& state) {
  bench::SimFrame f(crn::SimDevice::Cpu);
  f.Run();
  crn::GuideSolver& s = *f.solver;
  const hsim::StepArgs a = f.Args();
  for (auto _ : state) {
    crn::ParallelFor(std::uint64_t(s.N), [&](std::uint64_t b, std::uint64_t e) { hsim::StepRange(b, e, a); }, 64);
    benchmark::DoNotOptimize(s.x.data());
  }
}
BENCHMARK(BM_SimStepOnlyCpu)->Unit(benchmark::kMillisecond)->UseRealTime();

// What a moving collider adds to every frame (the benchmark frame's sphere is still, so its
// grid is built once): the sphere's grid built anew, with the search items and the cell gaps
// for the collision offset and for the self-volume push's skin test.
void BM_MovingColliderGrid(benchmark::State& state) {
  bench::SimFrame f(crn::SimDevice::Cpu);
  crn::ColliderGrid grid;
  std::vector<hsim::F3> soup = f.soup;
  const float offset = f.step.params.offset;
  float shift = 1e-3f;
  for (auto _ : state) {
    for (hsim::F3& v : soup) v.x += shift;
    shift = -shift;
    crn::BuildColliderGrid(grid, soup, offset);
    const float skin = crn::SelfVolumeSkin(true, f.step.dynRadius, grid);
    hsim::BuildCellGaps(grid.grid, grid.items, skin, grid.items.skinGap, crn::PoolRanges());
    benchmark::DoNotOptimize(grid.items.skinGap.data());
  }
  state.counters["triangles"] = double(grid.TriangleCount());
}
BENCHMARK(BM_MovingColliderGrid)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
