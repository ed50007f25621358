// Generation hot paths through the hair object, on a 10,000-vertex sphere (segments 10):
// render builds of a million strands, plain and shaped, into a fresh strand set (allocation
// and first touch included) and into the object's own set (arrays reused, as render meshes
// and dumps build), and the viewport rebuild of 30,000 strands after a fast groom change.
#include <benchmark/benchmark.h>

#include <memory>

#include "groom/brush_state.h"
#include "hair/hair_object.h"
#include "hair/hair_params.h"
#include "hair_scene.h"
#include "host/interface.h"
#include "scene/module_session.h"

using namespace host;
using namespace crn;

namespace {

struct Fixture {
  scene::ModuleSession module;
  HairObject* hair = nullptr;

  Fixture() {
    INode* node = bench::MakeHairOnSphere(143);  // 10,012 vertices
    hair = static_cast<HairObject*>(node->GetObjectRef());
  }
};

Fixture& Get() {
  static Fixture f;
  return f;
}

void Shaped(IParamBlock2* pb, bool on) {
  pb->SetValue(hp::clumpAmount, 0, on ? 0.5f : 0.0f);
  pb->SetValue(hp::clump2Amount, 0, on ? 0.3f : 0.0f);
  pb->SetValue(hp::curlRadius, 0, on ? 0.3f : 0.0f);
  pb->SetValue(hp::kinkAmount, 0, on ? 0.5f : 0.0f);
  pb->SetValue(hp::frizzRoot, 0, on ? 0.05f : 0.0f);
  pb->SetValue(hp::frizzTip, 0, on ? 0.2f : 0.0f);
}

void RenderBuild(benchmark::State& state, bool shaped) {
  HairObject* hair = Get().hair;
  Shaped(hair->pblock2, shaped);
  hair->PlaceRoots(0);  // roots and guides are cached; the build is what is measured
  StrandSet set;
  std::size_t points = 0;
  for (auto _ : state) {
    StrandSet out;
    hair->BuildRenderStrands(0, 1.0, out);
    points = out.points.size();
    benchmark::DoNotOptimize(out.points.data());
    set = std::move(out);
  }
  const double strands = double(set.StrandCount());
  state.counters["strands"] = strands;
  state.counters["points_per_strand"] = set.pointsPerStrand;
  state.counters["strands/s"] = benchmark::Counter(strands, benchmark::Counter::kIsIterationInvariantRate);
  state.counters["points/s"] = benchmark::Counter(double(points), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_RenderBuildDefault(benchmark::State& state) { RenderBuild(state, false); }
void BM_RenderBuildShaped(benchmark::State& state) { RenderBuild(state, true); }

void RenderBuildReused(benchmark::State& state, bool shaped) {
  HairObject* hair = Get().hair;
  Shaped(hair->pblock2, shaped);
  hair->PlaceRoots(0);
  const StrandSet* set = &hair->BuildRenderStrands(0, 1.0);  // sizes the object's arrays
  for (auto _ : state) {
    set = &hair->BuildRenderStrands(0, 1.0);
    benchmark::DoNotOptimize(set->points.data());
  }
  const double strands = double(set->StrandCount());
  state.counters["strands/s"] = benchmark::Counter(strands, benchmark::Counter::kIsIterationInvariantRate);
  state.counters["points/s"] = benchmark::Counter(double(set->points.size()), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_RenderBuildDefaultReused(benchmark::State& state) { RenderBuildReused(state, false); }
void BM_RenderBuildShapedReused(benchmark::State& state) { RenderBuildReused(state, true); }

// One brush-stroke step: brushed guides written into the cache, then 30,000 viewport strands.
void BM_ViewportRebuildAfterFastGroom(benchmark::State& state) {
  HairObject* hair = Get().hair;
  Shaped(hair->pblock2, false);
  SetBrushActive(true);
  std::vector<V3> guides = hair->EvaluateGuides(0).guidePoints;
  hair->BuildViewportStrands(0);
  std::size_t strands = 0;
  float wiggle = 0;
  for (auto _ : state) {
    wiggle += 0.001f;
    for (std::size_t i = 0; i < guides.size(); i += 11) guides[i + 10].x += wiggle;
    hair->FastGroomChange(guides);
    strands = hair->BuildViewportStrands(0).StrandCount();
  }
  SetBrushActive(false);
  state.counters["strands"] = double(strands);
}

}  // namespace

BENCHMARK(BM_RenderBuildDefault)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_RenderBuildShaped)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_RenderBuildDefaultReused)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_RenderBuildShapedReused)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_ViewportRebuildAfterFastGroom)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
