// A whole render on the CPU twin: 640 x 360, 64 passes, 200,000 strands on a ball over a
// floor, denoised; gathering (with the render strand build), BVH build, passes, denoising and
// read-back included.
#include <benchmark/benchmark.h>

#include "render_scene.h"
#include "scene/module_session.h"

namespace {

void BM_RenderCpu(benchmark::State& state) {
  crn::scene::ModuleSession module;
  if (!bench::LoadRenderScene(200000)) {
    state.SkipWithError("the scene did not load");
    return;
  }
  for (auto _ : state) {
    host::Bitmap bitmap(640, 360);
    std::string error;
    if (!bench::RenderScene(crn::RenderDevice::kCpu, 640, 360, 64, bitmap, error)) {
      state.SkipWithError(error.c_str());
      break;
    }
  }
  host::GetCOREInterface()->ResetScene();
}
BENCHMARK(BM_RenderCpu)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
