// 200 frames of the bundled wind-blown example (examples/windy.json: 482 guides of 11 points,
// a moving ball, an extra collider, one wind), simulated from scratch as `crinel sim` does.
#include <benchmark/benchmark.h>

#include <string>

#include "dynamics/sim_driver.h"
#include "groom/script_ops.h"
#include "hair/hair_object.h"
#include "scene/module_session.h"
#include "scene/scene_file.h"

namespace {

void BM_SimExample200Frames(benchmark::State& state) {
  crn::scene::ModuleSession module;
  host::Interface& ip = *host::GetCOREInterface();
  const auto r = crn::scene::LoadAnyScene(std::string(CRINEL_SOURCE_DIR) + "/examples/windy.json", ip);
  if (!r.ok) return state.SkipWithError(r.error.c_str());
  crn::HairObject* hair = crn::HairObjectOf(ip.GetINodeByName("fur"));
  const host::Interval range(0, 200 * host::GetTicksPerFrame());
  for (auto _ : state) {
    const std::string done = crn::SimulateRange(*hair, range, nullptr);
    if (done != "Simulation done.") return state.SkipWithError(done.c_str());
  }
  state.counters["frames/s"] = benchmark::Counter(201, benchmark::Counter::kIsIterationInvariantRate);
  ip.ResetScene();
}
BENCHMARK(BM_SimExample200Frames)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
