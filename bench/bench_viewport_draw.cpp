// The studio's software viewport drawing of the bundled example (furball.json, 4,000 viewport
// strands) at the studio's viewport size, 790 x 796: a redraw while orbiting (the camera moves,
// the render items are kept), and one that asks the objects for their items afresh each time.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <iostream>

#include "host/interface.h"
#include "scene/module_session.h"
#include "scene/scene_file.h"
#include "scene/viewport_render.h"
#include "scene/viewport_setup.h"

using namespace host;
using namespace crn;

namespace {

struct Fixture {
  scene::ModuleSession module;
  Interface& ip = *GetCOREInterface();
  Point3 pivot;
  ViewCamera start;

  Fixture() {
    const scene::SceneLoad r = scene::LoadAnyScene(CRINEL_SOURCE_DIR "/examples/furball.json", ip);
    if (!r.ok) {
      std::cerr << r.error << '\n';
      std::exit(1);
    }
    ip.SetActiveViewport(ip.GetActiveViewExp().Camera(), 790, 796);
    scene::SetActiveView(ip, scene::ViewKind::Persp);
    pivot = scene::SceneBounds(ip, 0).Center();
    start = ip.GetActiveViewExp().Camera();
  }
  // The camera turned about the scene's vertical axis through its centre.
  ViewCamera Turned(float radians) const {
    ViewCamera cam = start;
    cam.worldToView = TransMatrix(-pivot) * RotateZMatrix(radians) * TransMatrix(pivot) * start.worldToView;
    return cam;
  }
};

Fixture& Get() {
  static Fixture f;
  return f;
}

void OrbitRedraw(benchmark::State& state) {
  Fixture& f = Get();
  ViewExp& vpt = f.ip.GetActiveViewExp();
  scene::ViewportItemCache items;
  float angle = 0;
  for (auto _ : state) {
    vpt.SetCamera(f.Turned(angle += 0.01f));
    benchmark::DoNotOptimize(scene::DrawViewport(f.ip, vpt, 0, &items));
  }
}
BENCHMARK(OrbitRedraw)->Unit(benchmark::kMillisecond);

void RedrawWithFreshItems(benchmark::State& state) {
  Fixture& f = Get();
  ViewExp& vpt = f.ip.GetActiveViewExp();
  vpt.SetCamera(f.start);
  for (auto _ : state) benchmark::DoNotOptimize(scene::DrawViewport(f.ip, vpt, 0));
}
BENCHMARK(RedrawWithFreshItems)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
