// Renders on a CUDA device: 1280 x 720, 128 passes, 1M strands on a ball over a floor,
// denoised. BM_RenderGpu times the whole render (gathering with the render strand build, BVH
// build and upload, passes, denoising and read-back); BM_PassesGpu the 128 passes and the
// denoised read-back alone, on a scene uploaded once.
#include <benchmark/benchmark.h>

#include "host/camera.h"
#include "kernels/gpu_runtime.h"
#include "render/hair_rt_view.h"
#include "render/scene_gather.h"
#include "render_scene.h"
#include "scene/module_session.h"
#include "scene/viewport_setup.h"

namespace {

constexpr int kWidth = 1280, kHeight = 720, kPasses = 128, kStrands = 1000000;

bool Ready(benchmark::State& state) {
  if (crn::gpu::DeviceCount() <= 0) {
    state.SkipWithError("no CUDA device");
    return false;
  }
  if (!bench::LoadRenderScene(kStrands)) {
    state.SkipWithError("the scene did not load");
    return false;
  }
  return true;
}

void BM_RenderGpu(benchmark::State& state) {
  crn::scene::ModuleSession module;
  if (!Ready(state)) return;
  for (auto _ : state) {
    host::Bitmap bitmap(kWidth, kHeight);
    std::string error;
    if (!bench::RenderScene(crn::RenderDevice::kCuda, kWidth, kHeight, kPasses, bitmap, error)) {
      state.SkipWithError(error.c_str());
      break;
    }
  }
  host::GetCOREInterface()->ResetScene();
}
BENCHMARK(BM_RenderGpu)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(2);

void BM_PassesGpu(benchmark::State& state) {
  crn::scene::ModuleSession module;
  if (!Ready(state)) return;
  host::INode* camNode = host::GetCOREInterface()->GetINodeByName("cam");
  const host::ViewCamera cam = crn::scene::NodeCamera(*camNode, 0);
  host::CameraState cs;
  host::Interval valid = host::FOREVER;
  static_cast<host::CameraObject*>(camNode->GetObjectRef())->EvalCameraState(0, valid, &cs);
  crn::HairRTView view(cam.worldToView, cs.fov, kWidth, kHeight, host::PROJ_PERSPECTIVE);
  crn::GatheredScene scene;
  crn::Gather(0, view, false, scene);
  crn::RenderContext ctx(crn::RenderDevice::kCuda);
  if (!ctx.Upload(scene) || !ctx.AllocateImage(kWidth, kHeight)) {
    state.SkipWithError(ctx.Error().c_str());
    return;
  }
  const host::Matrix3 v2w = host::Inverse(cam.worldToView);
  auto v3 = [](const host::Point3& p) { return crn::V3(p.x, p.y, p.z); };
  const hrt::Camera camera =
      crn::MakeCamera(v3(v2w.GetRow(0)), v3(v2w.GetRow(1)), v3(v2w.GetRow(2)), v3(v2w.GetTrans()), cs.fov, 0);
  std::vector<hrt::F4> image;
  for (auto _ : state) {
    ctx.SetCamera(camera);
    if (!ctx.AllocateImage(kWidth, kHeight) || !ctx.RunPasses(kPasses) || !ctx.ReadBackFinal(true, 1, image)) {
      state.SkipWithError(ctx.Error().c_str());
      break;
    }
  }
  state.counters["segments"] = double(ctx.SegmentCount());
  state.counters["rays/s"] = benchmark::Counter(double(ctx.RaysTraced()) * double(state.iterations()),
                                                benchmark::Counter::kIsRate);
  host::GetCOREInterface()->ResetScene();
}
BENCHMARK(BM_PassesGpu)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
