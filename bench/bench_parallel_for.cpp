// ParallelFor on the process-wide pool against a plain loop, for light per-item work.
#include "plugin/worker_pool.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

constexpr std::uint64_t kItems = 1'000'000;

inline void LightItems(float* out, std::uint64_t begin, std::uint64_t end) {
  for (std::uint64_t i = begin; i < end; ++i) out[i] = std::sqrt(static_cast<float>(i)) * 0.5f + 1.0f;
}

void BM_SerialLoop(benchmark::State& state) {
  std::vector<float> out(kItems);
  for (auto _ : state) {
    LightItems(out.data(), 0, kItems);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kItems));
}
BENCHMARK(BM_SerialLoop)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_ParallelFor(benchmark::State& state) {
  const auto grain = static_cast<std::uint64_t>(state.range(0));
  std::vector<float> out(kItems);
  float* data = out.data();
  crn::ParallelFor(kItems, [data](std::uint64_t b, std::uint64_t e) { LightItems(data, b, e); }, grain);  // start the workers
  for (auto _ : state) {
    crn::ParallelFor(kItems, [data](std::uint64_t b, std::uint64_t e) { LightItems(data, b, e); }, grain);
    benchmark::DoNotOptimize(data);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kItems));
  state.counters["workers"] = crn::PoolWorkerCount();
}
// Real time: most of the work runs on the pool's threads, not the benchmark thread.
BENCHMARK(BM_ParallelFor)->Arg(4096)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
