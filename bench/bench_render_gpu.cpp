// A whole render on a CUDA device: 1280 x 720, 128 passes, 1M strands on a ball over a floor,
// denoised; gathering (with the render strand build), BVH build and upload, passes,
// denoising and read-back included. The passes alone are timed as well.
#include <benchmark/benchmark.h>

#include <chrono>

#include "kernels/gpu_runtime.h"
#include "render_scene.h"
#include "scene/module_session.h"

namespace {

void BM_RenderGpu(benchmark::State& state) {
  if (crn::gpu::DeviceCount() <= 0) {
    state.SkipWithError("no CUDA device");
    return;
  }
  crn::scene::ModuleSession module;
  if (!bench::LoadRenderScene(1000000)) {
    state.SkipWithError("the scene did not load");
    return;
  }
  for (auto _ : state) {
    host::Bitmap bitmap(1280, 720);
    std::string error;
    if (!bench::RenderScene(crn::RenderDevice::kCuda, 1280, 720, 128, bitmap, error)) {
      state.SkipWithError(error.c_str());
      break;
    }
  }
  host::GetCOREInterface()->ResetScene();
}
BENCHMARK(BM_RenderGpu)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
