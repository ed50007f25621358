// One brush dab on 20,000 guides of 10 segments: a Comb dab with a few hundred guides under
// the brush (the mouse case), and with every guide weighted (the script case).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "groom/brush_ops.h"
#include "hair/gen_types.h"
#include "plugin/worker_pool.h"

namespace {

constexpr int kColumns = 200, kRows = 100, kSegments = 10;

// Straight guides on a flat grid, N = +z, T = +x.
crn::GuideSet FlatGuides() {
  crn::GuideSet s;
  for (int r = 0; r < kRows; ++r)
    for (int c = 0; c < kColumns; ++c) {
      s.vertices.emplace_back(float(c), float(r), 0.f);
      s.normals.emplace_back(0.f, 0.f, 1.f);
      s.tangents.emplace_back(1.f, 0.f, 0.f);
    }
  s.guidePointCount = kSegments + 1;
  for (const crn::V3& v : s.vertices)
    for (int k = 0; k <= kSegments; ++k) s.guidePoints.push_back(v + crn::V3(0, 0, 0.5f * float(k)));
  return s;
}

// Weights of a brush disc around the grid centre holding about `weighted` guides, with the
// brush mode's falloff (2 - s) s; every guide at full weight when `weighted` covers them all.
std::vector<float> DiscWeights(const crn::GuideSet& s, int weighted) {
  if (std::size_t(weighted) >= s.VertexCount()) return std::vector<float>(s.VertexCount(), 1.f);
  const float r2 = float(weighted) / 3.14159265f;
  const crn::V3 centre(kColumns / 2.f, kRows / 2.f, 0.f);
  std::vector<float> w(s.VertexCount(), 0.f);
  for (std::size_t i = 0; i < w.size(); ++i) {
    const float d2 = crn::LengthSq(s.vertices[i] - centre);
    if (d2 < r2) {
      const float t = 1.f - d2 / r2;
      w[i] = (2.f - t) * t;
    }
  }
  return w;
}

void BM_CombDab(benchmark::State& state) {
  crn::GuideSet work = FlatGuides();
  const std::vector<crn::V3> ungroomed = work.guidePoints;
  const std::vector<float> weights = DiscWeights(work, int(state.range(0)));
  std::vector<crn::V3> edits;
  crn::BrushDab dab;
  dab.kind = crn::kBrushComb;
  dab.strength = 0.5f;
  dab.drag = crn::V3(0.01f, 0.005f, 0.f);
  dab.centre = crn::V3(kColumns / 2.f, kRows / 2.f, 0.f);
  crn::ApplyDab(work, weights, dab, ungroomed, edits);  // sizes the edits, starts the pool
  for (auto _ : state) {
    crn::ApplyDab(work, weights, dab, ungroomed, edits);
    benchmark::DoNotOptimize(work.guidePoints.data());
    benchmark::DoNotOptimize(edits.data());
  }
  std::int64_t hit = 0;
  for (float w : weights) hit += w > 0.f ? 1 : 0;
  state.counters["weighted"] = double(hit);
  state.counters["workers"] = crn::PoolWorkerCount();
}
// Real time: the pass runs on the pool's threads as well as the benchmark thread.
BENCHMARK(BM_CombDab)->Arg(500)->Arg(20000)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
