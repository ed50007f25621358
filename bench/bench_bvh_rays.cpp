// The renderer's BVH build and its CPU-twin ray queries on a hair ball, each beside Embree 3
// on the same segments as round linear curves (when the build found Embree):
//   BVH build of 1M and 10M segments (100,000 and 1M strands of 10 segments);
//   closest-hit primary rays and shadow rays per second on 1M strands x 10 segments.
// Rays run on the worker pool (all cores) on both sides; Embree builds with as many threads.
#include <benchmark/benchmark.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "hair_ball.h"
#include "kernels/path_trace.h"
#include "plugin/worker_pool.h"
#include "render/bvh_build.h"
#include "render/scene_pack.h"

#if defined(CRINEL_HAVE_EMBREE)
#include <embree3/rtcore.h>
#endif

namespace {

using crn::V3;

// Boxes and centroids of a hair ball's segments, as the packer makes them.
struct Prims {
  std::vector<crn::PrimBox> boxes;
  std::vector<V3> centroids;
};

Prims PrimsOf(const crn::StrandSet& s) {
  Prims p;
  const std::size_t n = s.StrandCount(), P = std::size_t(s.pointsPerStrand);
  p.boxes.reserve(n * (P - 1));
  p.centroids.reserve(n * (P - 1));
  for (std::size_t j = 0; j < n; ++j)
    for (std::size_t k = 1; k < P; ++k) {
      const V3 &a = s.points[j * P + k - 1], &b = s.points[j * P + k];
      const float r = 0.5f * std::max(s.widths[j * P + k - 1], s.widths[j * P + k]);
      crn::PrimBox box{V3(std::min(a.x, b.x) - r, std::min(a.y, b.y) - r, std::min(a.z, b.z) - r),
                       V3(std::max(a.x, b.x) + r, std::max(a.y, b.y) + r, std::max(a.z, b.z) + r)};
      p.boxes.push_back(box);
      p.centroids.push_back((box.lo + box.hi) * 0.5f);
    }
  return p;
}

void BM_BvhBuild(benchmark::State& state) {
  const crn::HairInstance ball = bench::HairBall(std::size_t(state.range(0)) / 10);
  const Prims p = PrimsOf(ball.strands);
  for (auto _ : state) {
    crn::Bvh bvh;
    crn::BuildBvh(p.boxes, p.centroids, bvh);
    benchmark::DoNotOptimize(bvh.nodes.data());
    state.counters["nodes"] = double(bvh.nodes.size());
  }
  state.counters["segments"] = double(p.boxes.size());
  state.SetItemsProcessed(state.iterations() * std::int64_t(p.boxes.size()));
}
BENCHMARK(BM_BvhBuild)->Arg(1000000)->Arg(10000000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

// The ray benchmarks' shared scene: 1M strands packed with their BVH, and the rays.
constexpr int kImage = 512;
constexpr std::size_t kStrands = 1000000;

struct RayScene {
  crn::PackedScene packed;
  hrt::DevScene scene{};
  hrt::WideBvh wideBvh;
  hrt::WideScene wide{};  // the CPU twin's wide view of the segment BVH, as renders walk it
  crn::HairInstance ball;
  std::vector<hrt::trace::Ray> primary;
  V3 light = crn::UnitOr(V3(-0.4f, -0.5f, 0.75f), V3(0, 0, 1));

  RayScene() : ball(bench::HairBall(kStrands)) {
    crn::GatheredScene g;
    g.hair.push_back(ball);
    crn::PackScene(g, packed);
    scene = crn::HostSceneRecord(packed);
    hrt::BuildWideBvh(packed.segNodes.data(), packed.segNodes.size(), packed.segs.data(), packed.segs.size(), wideBvh);
    wide = hrt::WideView(wideBvh);
    const hrt::Camera cam = bench::BallCamera();
    for (int y = 0; y < kImage; ++y)
      for (int x = 0; x < kImage; ++x)
        primary.push_back(hrt::trace::CameraRay(cam, x, y, kImage, kImage, 0.5f, 0.5f));
  }
};

RayScene& Rays() {
  static RayScene s;
  return s;
}

// Runs answer(i) for every ray i on the worker pool, iteration after iteration; reports the
// rays per second and the share of rays whose answer was true under the name `share`.
template <class Answer>
void RayLoop(benchmark::State& state, std::size_t rays, const char* share, const Answer& answer) {
  std::atomic<std::size_t> yes{0};
  for (auto _ : state) {
    yes = 0;
    crn::ParallelFor(rays, [&](std::uint64_t b, std::uint64_t e) {
      std::size_t n = 0;
      for (std::uint64_t i = b; i < e; ++i) n += answer(i);
      yes += n;
    }, 1024);
  }
  state.counters[share] = 100.0 * double(yes) / double(rays);
  state.counters["rays/s"] = benchmark::Counter(double(state.iterations()) * double(rays), benchmark::Counter::kIsRate);
}

void BM_PrimaryRays(benchmark::State& state) {
  RayScene& s = Rays();
  RayLoop(state, s.primary.size(), "hit%", [&](std::size_t i) {
    return hrt::trace::Closest(s.scene, s.primary[i], 0.f, hrt::trace::kFar, false, &s.wide).kind != hrt::trace::kMiss;
  });
}
BENCHMARK(BM_PrimaryRays)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// Shadow rays from the primary hits towards a light: the transmittance walk the kernel uses.
void BM_ShadowRays(benchmark::State& state) {
  RayScene& s = Rays();
  static std::vector<V3> origins;
  if (origins.empty())
    for (const auto& r : s.primary) {
      const hrt::trace::Hit h = hrt::trace::Closest(s.scene, r, 0.f, hrt::trace::kFar, false);
      if (h.kind != hrt::trace::kMiss) origins.push_back(r.o + r.d * h.t);
    }
  RayLoop(state, origins.size(), "lit%", [&](std::size_t i) {
    std::uint32_t rays = 0;
    return hrt::trace::ShadowTransmittance(s.scene, origins[i], s.light, hrt::trace::kFar, rays, &s.wide).x > 0.f;
  });
}
BENCHMARK(BM_ShadowRays)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

#if defined(CRINEL_HAVE_EMBREE)

// The same segments as Embree round linear curves: one vertex (x, y, z, radius) per strand
// point, one index per segment.
struct EmbreeCurves {
  RTCDevice device;
  std::vector<float> vertices;
  std::vector<unsigned> indices;

  explicit EmbreeCurves(const crn::StrandSet& s) {
    const std::string config = "threads=" + std::to_string(std::thread::hardware_concurrency());
    device = rtcNewDevice(config.c_str());
    const std::size_t n = s.StrandCount(), P = std::size_t(s.pointsPerStrand);
    vertices.reserve(n * P * 4);
    for (std::size_t i = 0; i < n * P; ++i) {
      const V3& p = s.points[i];
      vertices.insert(vertices.end(), {p.x, p.y, p.z, 0.5f * s.widths[i]});
    }
    for (std::size_t j = 0; j < n; ++j)
      for (std::size_t k = 0; k + 1 < P; ++k) indices.push_back(unsigned(j * P + k));
  }
  ~EmbreeCurves() { rtcReleaseDevice(device); }

  RTCScene Build() const {
    RTCScene scene = rtcNewScene(device);
    RTCGeometry geom = rtcNewGeometry(device, RTC_GEOMETRY_TYPE_ROUND_LINEAR_CURVE);
    rtcSetSharedGeometryBuffer(geom, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT4, vertices.data(), 0,
                               4 * sizeof(float), vertices.size() / 4);
    rtcSetSharedGeometryBuffer(geom, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT, indices.data(), 0,
                               sizeof(unsigned), indices.size());
    rtcCommitGeometry(geom);
    rtcAttachGeometry(scene, geom);
    rtcReleaseGeometry(geom);
    rtcCommitScene(scene);
    return scene;
  }
};

void BM_EmbreeBuild(benchmark::State& state) {
  const crn::HairInstance ball = bench::HairBall(std::size_t(state.range(0)) / 10);
  const EmbreeCurves curves(ball.strands);
  for (auto _ : state) {
    RTCScene scene = curves.Build();
    benchmark::DoNotOptimize(scene);
    rtcReleaseScene(scene);
  }
  state.counters["segments"] = double(curves.indices.size());
  state.SetItemsProcessed(state.iterations() * std::int64_t(curves.indices.size()));
}
BENCHMARK(BM_EmbreeBuild)->Arg(1000000)->Arg(10000000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

struct EmbreeRays {
  EmbreeCurves curves{Rays().ball.strands};
  RTCScene scene = curves.Build();
  ~EmbreeRays() { rtcReleaseScene(scene); }
};

EmbreeRays& Embree() {
  static EmbreeRays e;
  return e;
}

RTCRayHit ToEmbree(const hrt::trace::Ray& r) {
  RTCRayHit rh{};
  rh.ray.org_x = r.o.x;
  rh.ray.org_y = r.o.y;
  rh.ray.org_z = r.o.z;
  rh.ray.dir_x = r.d.x;
  rh.ray.dir_y = r.d.y;
  rh.ray.dir_z = r.d.z;
  rh.ray.tnear = 0;
  rh.ray.tfar = hrt::trace::kFar;
  rh.ray.mask = ~0u;
  rh.hit.geomID = RTC_INVALID_GEOMETRY_ID;
  return rh;
}

void BM_EmbreePrimaryRays(benchmark::State& state) {
  RayScene& s = Rays();
  EmbreeRays& e = Embree();
  RayLoop(state, s.primary.size(), "hit%", [&](std::size_t i) {
    RTCIntersectContext ctx;
    rtcInitIntersectContext(&ctx);
    RTCRayHit rh = ToEmbree(s.primary[i]);
    rtcIntersect1(e.scene, &ctx, &rh);
    return rh.hit.geomID != RTC_INVALID_GEOMETRY_ID;
  });
}
BENCHMARK(BM_EmbreePrimaryRays)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// Where Embree's primary rays hit the ball: the origins of its shadow rays.
const std::vector<V3>& EmbreeShadowOrigins() {
  static std::vector<V3> origins;
  if (origins.empty())
    for (const auto& r : Rays().primary) {
      RTCIntersectContext ctx;
      rtcInitIntersectContext(&ctx);
      RTCRayHit rh = ToEmbree(r);
      rtcIntersect1(Embree().scene, &ctx, &rh);
      if (rh.hit.geomID != RTC_INVALID_GEOMETRY_ID) origins.push_back(r.o + r.d * rh.ray.tfar);
    }
  return origins;
}

// Embree's shadow query is occlusion (any hit), from the same origins towards the same light.
void BM_EmbreeShadowRays(benchmark::State& state) {
  RayScene& s = Rays();
  EmbreeRays& e = Embree();
  const std::vector<V3>& origins = EmbreeShadowOrigins();
  RayLoop(state, origins.size(), "unoccluded%", [&](std::size_t i) {
    RTCIntersectContext ctx;
    rtcInitIntersectContext(&ctx);
    RTCRay ray = ToEmbree(hrt::trace::MakeRay(origins[i], s.light)).ray;
    ray.tnear = s.packed.epsilon;
    rtcOccluded1(e.scene, &ctx, &ray);
    return ray.tfar >= 0.f;
  });
}
BENCHMARK(BM_EmbreeShadowRays)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// The kernel's shadow query done with Embree: closest hits one after another from the last
// crossing plus epsilon, each letting (1 - o) + o c / 2 through, at most 24 crossings.
void BM_EmbreeShadowWalk(benchmark::State& state) {
  RayScene& s = Rays();
  EmbreeRays& e = Embree();
  const hrt::HairShadeParams& m = s.packed.materials[0];
  const crn::StrandSet& strands = s.ball.strands;
  const std::size_t segsPerStrand = std::size_t(strands.pointsPerStrand - 1);
  const std::vector<V3>& origins = EmbreeShadowOrigins();
  RayLoop(state, origins.size(), "lit%", [&](std::size_t i) {
    RTCIntersectContext ctx;
    rtcInitIntersectContext(&ctx);
    V3 S(1, 1, 1);
    float tmin = s.packed.epsilon;
    for (int crossing = 1;; ++crossing) {
      RTCRayHit rh = ToEmbree(hrt::trace::MakeRay(origins[i], s.light));
      rh.ray.tnear = tmin;
      rtcIntersect1(e.scene, &ctx, &rh);
      if (rh.hit.geomID == RTC_INVALID_GEOMETRY_ID) break;
      const std::size_t strand = rh.hit.primID / segsPerStrand, k = rh.hit.primID % segsPerStrand;
      const float v = (float(k) + rh.hit.u) / float(segsPerStrand);
      const V3 root = hrt::trace::DecodeColour(strands.rootColour[strand]),
               tip = hrt::trace::DecodeColour(strands.tipColour[strand]);
      const V3 c = hrt::HairColour(m, root + (tip - root) * v, v, 0.5f);
      const float o = m.shadowOpacity;
      S = crn::Mul(S, V3(1 - o, 1 - o, 1 - o) + c * (0.5f * o));
      if (S.x + S.y + S.z < 0.01f || crossing >= 24) {
        S = V3(0, 0, 0);
        break;
      }
      tmin = rh.ray.tfar + s.packed.epsilon;
    }
    return S.x > 0.f;
  });
}
BENCHMARK(BM_EmbreeShadowWalk)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

#endif

}  // namespace

BENCHMARK_MAIN();
