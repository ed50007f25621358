// BuildStrands alone: a million strands on a 100 x 100 vertex sphere, with default settings
// and with clumps, sub-clumps, curl, kink and frizz.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "hair/fur_math.h"
#include "hair/gen_settings.h"
#include "hair/gen_types.h"
#include "hair/strand_build.h"
#include "plugin/worker_pool.h"

namespace {

constexpr int kRings = 100, kSectors = 100;
constexpr float kRadius = 50.f;
constexpr std::size_t kRoots = 1'000'000;

struct SphereScene {
  crn::GuideSet guides;
  std::vector<crn::RootSample> roots;
};

// A UV sphere without poles: rings of vertices with outward normals and tangents along the
// rings, each with a straight guide of segments + 1 points along its normal.
SphereScene MakeSphere(const crn::GenSettings& s) {
  using crn::V3;
  SphereScene scene;
  crn::GuideSet& g = scene.guides;
  const float pi = 3.14159265f;
  for (int a = 0; a < kRings; ++a) {
    const float theta = pi * (a + 0.5f) / kRings;
    for (int b = 0; b < kSectors; ++b) {
      const float phi = 2.f * pi * b / kSectors;
      const V3 n(std::sin(theta) * std::cos(phi), std::sin(theta) * std::sin(phi), std::cos(theta));
      g.vertices.push_back(n * kRadius);
      g.normals.push_back(n);
      g.tangents.push_back(V3(-std::sin(phi), std::cos(phi), 0));
    }
  }
  for (int a = 0; a + 1 < kRings; ++a)
    for (int b = 0; b < kSectors; ++b) {
      const int v00 = a * kSectors + b, v01 = a * kSectors + (b + 1) % kSectors;
      const int v10 = v00 + kSectors, v11 = v01 + kSectors;
      g.triangles.insert(g.triangles.end(), {v00, v10, v11, v00, v11, v01});
    }
  g.guidePointCount = s.segments + 1;
  for (std::size_t v = 0; v < g.vertices.size(); ++v)
    for (int k = 0; k <= s.segments; ++k)
      g.guidePoints.push_back(g.vertices[v] + g.normals[v] * (s.length * float(k) / float(s.segments)));
  g.settings = s;

  const std::uint32_t T = std::uint32_t(g.TriangleCount());
  scene.roots.resize(kRoots);
  for (std::size_t i = 0; i < kRoots; ++i) {
    const std::uint32_t h = crn::Mix32(std::uint32_t(i) * 2654435761u + 12345u);
    float u = crn::Unit24(crn::Mix32(h ^ 0x1234567u)), v = crn::Unit24(crn::Mix32(h ^ 0x7654321u));
    if (u + v > 1.f) u = 1.f - u, v = 1.f - v;
    crn::RootSample& r = scene.roots[i];
    r.tri = int(h % T);
    r.u = u;
    r.v = v;
    r.id = crn::Mix32(std::uint32_t(i) + 0x9E3779B9u);
    const std::int32_t* t = &g.triangles[std::size_t(r.tri) * 3];
    r.pos = g.vertices[t[0]] * (1.f - u - v) + g.vertices[t[1]] * u + g.vertices[t[2]] * v;
    r.normal = crn::UnitOr(r.pos, V3(0, 0, 1));
  }
  return scene;
}

void RunBuild(benchmark::State& state, const crn::GenSettings& s) {
  const SphereScene scene = MakeSphere(s);
  crn::StrandSet out;
  // One warm-up build starts the pool and sizes the output, as a repeated viewport build does.
  crn::BuildStrands(scene.guides, scene.roots, scene.guides.guidePoints, s, crn::BuildInputs{}, 1.0, out);
  for (auto _ : state) {
    crn::BuildStrands(scene.guides, scene.roots, scene.guides.guidePoints, s, crn::BuildInputs{}, 1.0, out);
    benchmark::DoNotOptimize(out.points.data());
    benchmark::ClobberMemory();
  }
  const double strands = double(out.StrandCount()) * double(state.iterations());
  state.counters["strands/s"] = benchmark::Counter(strands, benchmark::Counter::kIsRate);
  state.counters["points/s"] = benchmark::Counter(strands * out.pointsPerStrand, benchmark::Counter::kIsRate);
  state.counters["points"] = out.pointsPerStrand;
}

void BM_BuildStrandsDefault(benchmark::State& state) { RunBuild(state, crn::DefaultGenSettings()); }
// Real time: the strands are built on the pool's threads as well as the benchmark thread.
BENCHMARK(BM_BuildStrandsDefault)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_BuildStrandsShaped(benchmark::State& state) {
  crn::GenSettings s = crn::DefaultGenSettings();
  s.clumpAmount = 0.5f;
  s.clump2Amount = 0.3f;
  s.curlRadius = 0.3f;
  s.kinkAmount = 0.5f;
  s.frizzRoot = 0.05f;
  s.frizzTip = 0.2f;
  RunBuild(state, s);
}
BENCHMARK(BM_BuildStrandsShaped)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
