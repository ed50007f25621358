// What the live view and the render-engine bridge add per frame on top of gathering and
// building: the live view's scene hash (every re-gathering), and the bridge's collapse check,
// child spacing estimate and memory fit over a large render frame.
#include <benchmark/benchmark.h>

#include "hair_ball.h"
#include "render/live_view.h"
#include "render/render_bridge.h"

namespace {

void BM_LiveSceneHash(benchmark::State& state) {
  crn::GatheredScene scene;
  scene.hair.push_back(bench::HairBall(std::size_t(state.range(0))));
  for (auto _ : state) benchmark::DoNotOptimize(crn::HashGatheredScene(scene));
}
BENCHMARK(BM_LiveSceneHash)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMicrosecond);

void BM_BridgeSanitise(benchmark::State& state) {
  crn::StrandSet s = bench::HairBall(std::size_t(state.range(0))).strands;
  for (auto _ : state) benchmark::DoNotOptimize(crn::SanitiseStrands(s));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_BridgeSanitise)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

void BM_BridgeRootSpacing(benchmark::State& state) {
  const crn::StrandSet s = bench::HairBall(std::size_t(state.range(0))).strands;
  for (auto _ : state) benchmark::DoNotOptimize(crn::EstimateRootSpacing(s));
}
BENCHMARK(BM_BridgeRootSpacing)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

// Keeping 2 % of a million strands: the keep draw, the compaction and the widening.
void BM_BridgeMemoryFit(benchmark::State& state) {
  const crn::StrandSet full = bench::HairBall(std::size_t(state.range(0))).strands;
  const crn::GpuMemory memory{1048576.0, "bench"};
  for (auto _ : state) {
    state.PauseTiming();
    crn::StrandSet s = full;
    state.ResumeTiming();
    benchmark::DoNotOptimize(crn::FitToGpuMemory(s, 1.0, memory, "fur"));
  }
}
BENCHMARK(BM_BridgeMemoryFit)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
