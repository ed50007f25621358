// Root placement, guide growth and surface reading on meshes of typical sizes.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "hair/gen_settings.h"
#include "hair/guide_growth.h"
#include "hair/root_placement.h"
#include "hair/surface.h"
#include "hair/surface_geometry.h"
#include "scene/mesh_import.h"

namespace {

// Sphere of radius 50: 143 segments give 10,012 vertices, 448 give 99,906.
host::Mesh Sphere(int segments) {
  crn::scene::PrimitiveShape shape;
  shape.kind = "sphere";
  shape.radius = 50;
  shape.segments = segments;
  host::Mesh m;
  std::string error;
  crn::scene::MakePrimitive(shape, m, error);
  return m;
}

crn::GuideSet Surface(int segments) {
  crn::GuideSet g;
  crn::ExtractSurface(Sphere(segments), host::Matrix3(), g);
  return g;
}

void BM_PlaceRoots(benchmark::State& state) {
  const crn::GuideSet g = Surface(143);
  crn::GenSettings s = crn::DefaultGenSettings();
  s.count = int(state.range(0));
  std::size_t placed = 0;
  for (auto _ : state) {
    const auto roots = crn::PlaceRootSamples(g, s, {}, 0);
    placed = roots.size();
    benchmark::DoNotOptimize(roots.data());
  }
  state.counters["vertices"] = double(g.vertices.size());
  state.counters["roots"] = double(placed);
  state.SetItemsProcessed(std::int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_PlaceRoots)->Arg(1'000'000)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_GrowGuides(benchmark::State& state) {
  crn::GuideSet g = Surface(448);
  g.settings.segments = 10;
  for (auto _ : state) {
    crn::GrowGuides(g, {});
    benchmark::DoNotOptimize(g.guidePoints.data());
  }
  state.counters["vertices"] = double(g.vertices.size());
  state.SetItemsProcessed(std::int64_t(state.iterations()) * std::int64_t(g.vertices.size()));
}
BENCHMARK(BM_GrowGuides)->UseRealTime()->Unit(benchmark::kMillisecond);

// Reading a 100,000-vertex mesh: transform, faces, UVs, welded normals and tangents.
void BM_ExtractSurface(benchmark::State& state) {
  const host::Mesh m = Sphere(448);
  crn::GuideSet g;
  for (auto _ : state) {
    crn::ExtractSurface(m, host::Matrix3(), g);
    benchmark::DoNotOptimize(g.normals.data());
  }
  state.counters["vertices"] = double(g.vertices.size());
}
BENCHMARK(BM_ExtractSurface)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
