// Picking and drawing a hair object with a million viewport strands (10,012-vertex sphere,
// 11 points per strand, icon off screen): a point pick that misses (the whole icon, every
// 25th strand as a polyline and every 50th middle point), a point pick on the hair (the tip
// of strand 500,000; dense hair usually stops at an earlier tested strand), and the line
// item's rebuild of its vertex buffers.
#include <benchmark/benchmark.h>

#include <memory>

#include "groom/hair_display.h"
#include "hair/hair_object.h"
#include "hair/hair_params.h"
#include "hair_scene.h"
#include "host/interface.h"
#include "scene/module_session.h"
#include "scene/viewport_setup.h"

using namespace host;
using namespace crn;

namespace {

struct Fixture {
  scene::ModuleSession module;
  INode* node = nullptr;
  HairObject* hair = nullptr;
  ViewExp vpt;

  Fixture() {
    Interface& ip = *GetCOREInterface();
    node = bench::MakeHairOnSphere(143);  // 10,012 vertices
    hair = static_cast<HairObject*>(node->GetObjectRef());
    IParamBlock2* pb = hair->pblock2;
    pb->SetValue(hp::vpPercent, 0, 100.f);
    pb->SetValue(hp::vpMax, 0, 1000000);
    hair->BuildViewportStrands(0);
    vpt.SetCamera(scene::FrameView(scene::ViewKind::Persp, scene::SceneBounds(ip, 0), 960, 540));
    vpt.SetSize(960, 540);
    // The icon off screen, so picks reach the strands.
    NodeTransform xf;
    xf.constPosition = Point3(10000, 0, 0);
    node->SetTransform(xf);
  }
};

Fixture& Get() {
  static Fixture f;
  return f;
}

void PickMiss(benchmark::State& state) {
  Fixture& f = Get();
  for (auto _ : state)
    benchmark::DoNotOptimize(f.hair->HitTest(0, f.node, HITTYPE_POINT, 0, 0, {2, 2}, &f.vpt));
  state.counters["strands"] = double(f.hair->BuildViewportStrands(0).StrandCount());
}
BENCHMARK(PickMiss)->Unit(benchmark::kMillisecond);

void PickOnStrand(benchmark::State& state) {
  Fixture& f = Get();
  const StrandSet& set = f.hair->BuildViewportStrands(0);
  // The tip of a strand half way through the sampled list.
  const V3 tip = set.points[(set.StrandCount() / 2) * set.pointsPerStrand + set.pointsPerStrand - 1];
  const Point3 w(tip.x, tip.y, tip.z);
  IPoint3 s;
  f.vpt.getGW()->setTransform(Matrix3());
  f.vpt.getGW()->transPoint(&w, &s);
  for (auto _ : state)
    benchmark::DoNotOptimize(f.hair->HitTest(0, f.node, HITTYPE_POINT, 0, 0, {s.x, s.y}, &f.vpt));
}
BENCHMARK(PickOnStrand)->Unit(benchmark::kMillisecond);

void LineItemRebuild(benchmark::State& state) {
  Fixture& f = Get();
  RenderItemContainer items;
  f.hair->UpdatePerNodeItems(f.node, items);
  HairLineItem& line = *DisplayItemsOf(*f.hair)->line;
  DrawContext dc(&f.vpt, 0, f.node, f.node->GetObjectTM(0));
  for (auto _ : state) {
    line.ResetBuiltVersion();
    line.Realize(dc);
  }
  state.counters["vertices"] = double(line.VertexCount());
}
BENCHMARK(LineItemRebuild)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
