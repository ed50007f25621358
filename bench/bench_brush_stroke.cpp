// One mouse dab on a 20,000-guide object (segments 10) during a stroke: the dab with its
// fast groom change, then the viewport rebuild at 30,000 strands.
#include <benchmark/benchmark.h>

#include "groom/brush_state.h"
#include "groom/script_ops.h"
#include "hair/hair_object.h"
#include "hair/hair_params.h"
#include "hair_scene.h"
#include "host/interface.h"
#include "scene/module_session.h"

using namespace host;
using namespace crn;

static void BM_MouseDabWithViewportRebuild(benchmark::State& state) {
  scene::ModuleSession module;
  Interface& ip = *GetCOREInterface();
  INode* node = bench::MakeHairOnSphere(200);  // 19,802 vertices
  HairObject* hair = static_cast<HairObject*>(node->GetObjectRef());
  ViewCamera cam;
  cam.worldToView = Inverse(TransMatrix({0, 0, 200}));
  ip.SetActiveViewport(cam, 960, 540);
  SetBrushRadius(60);
  SetBrushStrength(0.5f);
  hair->BuildViewportStrands(0);

  ops::brushMouse(node, 0, 480, 270);
  int x = 480;
  std::size_t strands = 0;
  for (auto _ : state) {
    x = x >= 560 ? 400 : x + 2;
    ops::brushMouse(node, 1, x, 270);
    strands = hair->BuildViewportStrands(0).StrandCount();
  }
  ops::brushMouse(node, 2, x, 270);
  state.counters["guides"] = double(hair->EvaluateGuides(0).VertexCount());
  state.counters["viewport_strands"] = double(strands);
}

BENCHMARK(BM_MouseDabWithViewportRebuild)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
