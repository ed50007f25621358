// The path-tracing pass on its CPU twin: camera rays, shadow walks through hair, lights, tip
// fade, the render passes a sample writes, and the scene packing it reads.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <random>

#include "kernels/pass_tiles.h"
#include "kernels/path_trace.h"
#include "kernels/render_kernels.h"
#include "render/render_context.h"
#include "render_fixtures.h"

namespace {

using crn::V3;
using fixtures::Directional;
using fixtures::LookDown;
using fixtures::PackRecords;
using fixtures::Segment;
using fixtures::Square;

// A CPU context holding a packed scene as its own (through a gathered scene it cannot
// express, the records go in directly).
struct CpuImage {
  crn::RenderContext ctx{crn::RenderDevice::kCpu};
  bool Render(const crn::GatheredScene& g, const hrt::Camera& cam, int w, int h, int passes) {
    return ctx.Upload(g) && ctx.AllocateImage(w, h) && (ctx.SetCamera(cam), true) && ctx.RunPasses(passes);
  }
};

// Accumulates passes of TracePixel over a small image of a hand-packed scene. pass: the CPU
// twin's entry (which takes the AVX2 build where the processor has it), or PassTiles as this
// test compiles it, for the x86-64 baseline.
struct Accumulated {
  std::vector<hrt::F4> beauty, normalDepth, albedoCov, layers;
};
using PassFunction = std::uint64_t (*)(std::size_t, std::size_t, const hrt::DevScene&, const hrt::Camera&, int, int,
                                       int, const hrt::PassBuffers&, const hrt::WideScene*);
Accumulated Trace(const crn::PackedScene& p, const hrt::Camera& cam, int w, int h, int passes,
                  const hrt::WideScene* wide = nullptr, PassFunction pass = hrt::PassTileRange) {
  const std::size_t pixels = std::size_t(w) * std::size_t(h);
  Accumulated a{std::vector<hrt::F4>(pixels), std::vector<hrt::F4>(pixels), std::vector<hrt::F4>(pixels),
                std::vector<hrt::F4>(pixels * hrt::kLayerCount)};
  const hrt::DevScene sc = crn::HostSceneRecord(p);
  const hrt::PassBuffers b{a.beauty.data(), a.normalDepth.data(), a.albedoCov.data(), a.layers.data()};
  for (int k = 0; k < passes; ++k) pass(0, std::size_t(hrt::TileCount(w, h)), sc, cam, w, h, k, b, wide);
  return a;
}

TEST(PathTrace, EmptySceneShowsTheBackgroundEverywhere) {
  crn::GatheredScene g;
  g.background = V3(0.2f, 0.3f, 0.4f);
  g.environment = V3(0.5f, 0.5f, 0.5f);
  g.lights.push_back(Directional(V3(0, 0, -1), V3(1, 1, 1)));
  CpuImage img;
  ASSERT_TRUE(img.Render(g, LookDown(10, 0.8f), 9, 7, 3)) << img.ctx.Error();
  EXPECT_EQ(img.ctx.Scene().tris, nullptr);
  EXPECT_EQ(img.ctx.Scene().segs, nullptr);
  for (bool denoise : {false, true}) {
    std::vector<hrt::F4> out;
    ASSERT_TRUE(img.ctx.ReadBackFinal(denoise, 1, out));
    for (const hrt::F4& px : out) {
      EXPECT_FLOAT_EQ(px.x, 0.2f);
      EXPECT_FLOAT_EQ(px.y, 0.3f);
      EXPECT_FLOAT_EQ(px.z, 0.4f);
      EXPECT_EQ(px.w, 1.f);
    }
  }
}

TEST(PathTrace, OrthographicRaysAreParallel) {
  const hrt::Camera cam = LookDown(5, 0.9f, 3);
  for (int y : {0, 4, 9})
    for (int x : {0, 7, 15}) {
      const hrt::trace::Ray r = hrt::trace::CameraRay(cam, x, y, 16, 10, 0.5f, 0.5f);
      EXPECT_EQ(r.d, V3(0, 0, -1));
      EXPECT_FLOAT_EQ(r.o.x, 3.f * (2.f * (float(x) + 0.5f) / 16.f - 1.f));
      EXPECT_FLOAT_EQ(r.o.y, 3.f * (1.f - 2.f * (float(y) + 0.5f) / 10.f) * (10.f / 16.f));
      EXPECT_FLOAT_EQ(r.o.z, 5.f);
    }
  const hrt::trace::Ray centre = hrt::trace::CameraRay(LookDown(5, 0.9f), 8, 5, 16, 10, 0.f, 0.f);
  EXPECT_EQ(centre.d, V3(0, 0, -1));
}

TEST(PathTrace, SpotLightsLightInsideTheirCone) {
  hrt::LightRec spot{};
  spot.type = hrt::kSpotLight;
  spot.position = V3(0, 0, 0);
  spot.direction = V3(0, 0, -1);
  spot.colour = V3(2, 2, 2);
  spot.cosHotspot = std::cos(20.f * 3.14159265f / 180.f);
  spot.cosFalloff = std::cos(30.f * 3.14159265f / 180.f);
  auto at = [](float degrees) {
    const float a = degrees * 3.14159265f / 180.f;
    return V3(std::sin(a), 0, -std::cos(a)) * 10.f;
  };
  V3 L;
  float dist = 0;
  EXPECT_EQ(hrt::trace::LightSample(spot, at(0), L, dist), V3(2, 2, 2));
  EXPECT_FLOAT_EQ(dist, 10.f);
  EXPECT_EQ(hrt::trace::LightSample(spot, at(19.9f), L, dist), V3(2, 2, 2));
  EXPECT_EQ(hrt::trace::LightSample(spot, at(30.1f), L, dist), V3(0, 0, 0));
  EXPECT_EQ(hrt::trace::LightSample(spot, at(60), L, dist), V3(0, 0, 0));
  const float mid = hrt::trace::LightSample(spot, at(25), L, dist).x;
  EXPECT_GT(mid, 0.f);
  EXPECT_LT(mid, 2.f);
}

// The walk as one closest-hit query per crossing, for comparison with the kernel's.
V3 NaiveShadow(const hrt::DevScene& sc, const V3& from, const V3& dir, float maxT) {
  using namespace hrt::trace;
  const Ray r = MakeRay(from, dir);
  V3 S(1, 1, 1);
  float tmin = sc.epsilon;
  for (int crossing = 1;; ++crossing) {
    const Hit h = Closest(sc, r, tmin, maxT);
    if (h.kind == kMiss) return S;
    if (h.kind == kTriangle) return V3(0, 0, 0);
    const hrt::SegRec& seg = sc.segs[h.index];
    const hrt::HairShadeParams& m = sc.materials[seg.material];
    const float v = seg.v0 + h.u * (seg.v1 - seg.v0);
    const V3 c = hrt::HairColour(m, StrandColourAt(seg, v), v, 0.5f, SegWetness(seg, m));
    const float o = m.shadowOpacity;
    S = crn::Mul(S, V3(1 - o, 1 - o, 1 - o) + c * (0.5f * o));
    if (Sum(S) < 0.01f || crossing >= 24) return V3(0, 0, 0);
    tmin = h.t + sc.epsilon;
  }
}

TEST(PathTrace, HairBetweenAPointAndALightShadesIt) {
  // Hairs across the ray from (0,0,0) up +Z, one per unit of height; a ray through a hair
  // crosses it twice (entering, and again at its closest approach).
  struct Case {
    int hairs;
    float opacity;
    float expected;  // per channel; < 0: the walk's own product
  };
  const std::vector<Case> cases = {{1, 0.f, 1.f}, {11, 0.f, 1.f}, {12, 0.f, 0.f}, {24, 0.f, 0.f},
                                   {24, 1.f, 0.f}, {1, 1.f, -1}, {3, 0.5f, -1}};
  for (const Case& k : cases) {
    std::vector<hrt::SegRec> segs;
    for (int i = 0; i < k.hairs; ++i)
      segs.push_back(Segment(V3(-1, 0.01f, float(i) + 1), V3(1, 0.01f, float(i) + 1), 0.05f, 0, 1, 0xFF8040C0u));
    hrt::HairShadeParams m = hrt::FallbackHairParams();
    m.shadowOpacity = k.opacity;
    const crn::PackedScene p = PackRecords({}, segs, {}, {m});
    const hrt::DevScene sc = crn::HostSceneRecord(p);
    std::uint32_t rays = 0;
    const V3 S = hrt::trace::ShadowTransmittance(sc, V3(0, 0, 0), V3(0, 0, 1), 1e30f, rays);
    if (k.expected >= 0) {
      EXPECT_EQ(S, V3(k.expected, k.expected, k.expected)) << k.hairs << " hairs, opacity " << k.opacity;
    } else {
      const V3 c = hrt::HairColour(m, hrt::trace::StrandColourAt(segs[0], 0.5f), 0.5f, 0.5f, 0);
      const V3 f = V3(1 - k.opacity, 1 - k.opacity, 1 - k.opacity) + c * (0.5f * k.opacity);
      V3 want(1, 1, 1);
      for (int i = 0; i < 2 * k.hairs; ++i) want = crn::Mul(want, f);
      EXPECT_NEAR(S.x, want.x, 1e-6f) << k.hairs;
      EXPECT_NEAR(S.z, want.z, 1e-6f) << k.hairs;
    }
  }
}

TEST(PathTrace, ShadowWalkMatchesOneQueryPerCrossing) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> u(-1, 1);
  std::vector<hrt::SegRec> segs;
  for (int i = 0; i < 3000; ++i) {
    const V3 a(u(rng) * 2, u(rng) * 2, u(rng) * 2);
    segs.push_back(Segment(a, a + V3(u(rng), u(rng), u(rng)) * 0.3f, 0.02f + 0.02f * u(rng), 0, 1,
                           0xFF000000u | std::uint32_t(rng() & 0xFFFFFF), i));
  }
  hrt::HairShadeParams m = hrt::FallbackHairParams();
  m.shadowOpacity = 0.1f;
  const crn::PackedScene p = PackRecords(Square(0.3f, -2.5f, V3(1, 1, 1)), segs, {}, {m});
  const hrt::DevScene sc = crn::HostSceneRecord(p);
  int shaded = 0;
  for (int i = 0; i < 400; ++i) {
    const V3 from(u(rng), u(rng), u(rng));
    const V3 dir = crn::UnitOr(V3(u(rng), u(rng), u(rng)), V3(0, 0, 1));
    const float maxT = i % 2 ? 1e30f : 1.5f;
    std::uint32_t rays = 0;
    const V3 fast = hrt::trace::ShadowTransmittance(sc, from, dir, maxT, rays);
    EXPECT_EQ(fast, NaiveShadow(sc, from, dir, maxT)) << "ray " << i;
    shaded += fast != V3(1, 1, 1);
  }
  EXPECT_GT(shaded, 100);  // the rays do cross hair
}

// The host's SSE box and cone tests compute what the shared scalar code computes, to the bit.
TEST(PathTrace, BatchedBoxAndConeTestsMatchTheScalarOnes) {
  std::mt19937 rng(9);
  std::uniform_real_distribution<float> u(-1, 1);
  auto bits = [](float f) { return std::bit_cast<std::uint32_t>(f); };
  for (int n = 0; n < 2000; ++n) {
    V3 d(u(rng), u(rng), u(rng));
    if (n % 5 == 0) d.y = 0;  // axis-parallel rays take the 1e12 inverse
    const hrt::trace::Ray r = hrt::trace::MakeRay(V3(u(rng), u(rng), u(rng)) * 3.f, crn::UnitOr(d, V3(0, 0, 1)));
    hrt::BvhNode pair[2];
    for (hrt::BvhNode& node : pair) {
      const V3 c(u(rng), u(rng), u(rng));
      node = hrt::BvhNode{c - V3(0.3f, 0.1f, 0.2f), 7, c + V3(0.2f, 0.4f, 0.1f), n % 3};
    }
    if (n % 7 == 0) pair[1] = hrt::BvhNode{V3(1e30f, 1e30f, 1e30f), 0, V3(-1e30f, -1e30f, -1e30f), 0};
    float e[2], x[2], be[2], bx[2];
    for (int k = 0; k < 2; ++k) hrt::trace::Slabs(pair[k], r, e[k], x[k]);
    hrt::trace::SlabsPair(pair, hrt::trace::SlabRay(r), be[0], bx[0], be[1], bx[1]);
    for (int k = 0; k < 2; ++k) {
      ASSERT_EQ(bits(e[k]), bits(be[k])) << n;
      ASSERT_EQ(bits(x[k]), bits(bx[k])) << n;
    }
  }
  std::vector<hrt::SegRec> segs;
  for (int i = 0; i < 7; ++i) {
    const V3 a(u(rng) * 0.5f, u(rng) * 0.5f, u(rng) * 0.5f);
    segs.push_back(Segment(a, i == 3 ? a : a + V3(u(rng), u(rng), u(rng)) * 0.4f, 0.05f + 0.1f * std::fabs(u(rng))));
  }
  int hits = 0;
  for (int n = 0; n < 3000; ++n) {
    // Rays aimed near a segment's start, so that many pass within its radius.
    const V3 o = V3(u(rng), u(rng), u(rng)) * 2.f;
    const V3 aim = segs[std::size_t(n % 7)].p0 + V3(u(rng), u(rng), u(rng)) * 0.1f;
    const hrt::trace::Ray r = hrt::trace::MakeRay(o, crn::UnitOr(aim - o, V3(0, 0, 1)));
    for (int count = 1; count <= 7; count += 3) {
      std::vector<int> seen;
      auto check = [&](int i, const hrt::trace::ConeHit& h) {
        seen.push_back(i);
        hrt::trace::ConeHit want;
        ASSERT_TRUE(hrt::trace::RoundCone(segs[std::size_t(i)], r, want)) << i;
        EXPECT_EQ(bits(h.entry), bits(want.entry));
        EXPECT_EQ(bits(h.tc), bits(want.tc));
        EXPECT_EQ(bits(h.s), bits(want.s));
      };
      hrt::trace::ForEachConeHit(segs.data(), 0, count, r, check);
      std::vector<int> expected;
      for (int i = 0; i < count; ++i) {
        hrt::trace::ConeHit h;
        if (hrt::trace::RoundCone(segs[std::size_t(i)], r, h)) expected.push_back(i);
      }
      ASSERT_EQ(seen, expected);
      hits += int(seen.size());
    }
  }
  EXPECT_GT(hits, 2000);
}

// The CPU twin's wide view of the segment BVH gives what the binary walks give, to the bit:
// nearest hits (exact ties at strand joints included), shadow walks whose crossing lists
// fill, paired walks and whole passes.
TEST(PathTrace, WideViewWalksMatchTheBinaryTree) {
  using namespace hrt::trace;
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> u(-1, 1);
  auto bits = [](float f) { return std::bit_cast<std::uint32_t>(f); };
  // A dense clump of strands of joined segments, thin enough that light outlasts a full list.
  std::vector<hrt::SegRec> segs;
  std::vector<V3> joints;
  for (int j = 0; j < 500; ++j) {
    V3 a(u(rng) * 1.5f, u(rng) * 1.5f, -1.5f);
    for (int k = 0; k < 8; ++k) {
      const V3 b = a + V3(u(rng) * 0.2f, u(rng) * 0.2f, 0.4f);
      segs.push_back(Segment(a, b, 0.03f, float(k) / 8, float(k + 1) / 8, 0xFF000000u | std::uint32_t(rng() & 0xFFFFFF), j));
      if (k > 0) joints.push_back(a);
      a = b;
    }
  }
  hrt::HairShadeParams m = hrt::FallbackHairParams();
  m.shadowOpacity = 0.02f;
  const crn::PackedScene p =
      PackRecords(Square(2, -2, V3(1, 1, 1)), segs, {Directional(V3(0.2f, 0.1f, -1), V3(1, 1, 1))}, {m});
  const hrt::DevScene sc = crn::HostSceneRecord(p);
  hrt::WideBvh wb;
  ASSERT_TRUE(hrt::BuildWideBvh(p.segNodes.data(), p.segNodes.size(), p.segs.data(), p.segs.size(), wb));
  const hrt::WideScene wide = hrt::WideView(wb);
  int fullLists = 0, ties = 0, usedUp = 0;
  for (int i = 0; i < 3000; ++i) {
    const V3 from(u(rng) * 3, u(rng) * 3, u(rng) * 3);
    // Half the rays aim at a joint, where the two segments meeting there tie.
    const V3 aim = i % 2 ? joints[std::size_t(rng() % joints.size())] : V3(u(rng), u(rng), u(rng));
    const V3 dir = crn::UnitOr(aim - from, V3(0, 0, 1));
    const Ray r = MakeRay(from, dir);
    const Hit a = Closest(sc, r, 0.f, kFar), b = Closest(sc, r, 0.f, kFar, true, &wide);
    ASSERT_EQ(a.kind, b.kind) << i;
    ASSERT_EQ(a.index, b.index) << i;
    ASSERT_EQ(bits(a.t), bits(b.t)) << i;
    ASSERT_EQ(bits(a.u), bits(b.u)) << i;
    if (a.kind == kSegment) {
      int nearest = 0;
      for (std::size_t k = 0; k < p.segs.size(); ++k) {
        float t, s;
        nearest += HitSegment(p.segs[k], r, 0.f, kFar, t, s) && t == a.t;
      }
      ties += nearest > 1;
    }
    ShadowWalk walk;
    std::uint32_t rays = 0;
    walk.Start(sc, from, dir, kFar, rays);
    CrossingList list;
    if (!walk.done) {
      FindCrossings(sc, walk, list, nullptr);
      fullLists += list.count == CrossingList::kCapacity;
    }
    const V3 dir2 = crn::UnitOr(V3(u(rng), u(rng), u(rng)), V3(0, 0, 1));
    const V3 s1 = ShadowTransmittance(sc, from, dir, kFar, rays), s2 = ShadowTransmittance(sc, from, dir2, 1.5f, rays);
    EXPECT_EQ(ShadowTransmittance(sc, from, dir, kFar, rays, &wide), s1) << i;
    V3 pa, pb;
    ShadowPair(sc, from, dir, kFar, dir2, 1.5f, pa, pb, rays, &wide);
    EXPECT_EQ(pa, s1) << i;
    EXPECT_EQ(pb, s2) << i;
    // The order-free walk ends where the crossings found already use the light up; walks that
    // have counted crossings before (a later list) need fewer.
    if (!walk.done) {
      CrossingList wideList;
      FindCrossings(sc, walk, wideList, &wide);
      usedUp += wideList.usedUp;
      if (wideList.usedUp) {
        EXPECT_EQ(s1, V3(0, 0, 0)) << i;
      }
      for (int counted : {21, 22}) {
        ShadowWalk binaryWalk = walk, wideWalk = walk;
        binaryWalk.crossings = wideWalk.crossings = counted;
        FinishWalk(sc, binaryWalk, nullptr);
        FinishWalk(sc, wideWalk, &wide);
        EXPECT_EQ(wideWalk.S, binaryWalk.S) << i << " after " << counted;
      }
    }
  }
  EXPECT_GT(ties, 20);
  EXPECT_GT(fullLists, 100);
  EXPECT_GT(usedUp, 100);

  const hrt::Camera cam = LookDown(4, 0.6f);
  const Accumulated binary = Trace(p, cam, 24, 16, 2), wideWalks = Trace(p, cam, 24, 16, 2, &wide);
  auto same = [](const std::vector<hrt::F4>& x, const std::vector<hrt::F4>& y) {
    return x.size() == y.size() && std::memcmp(x.data(), y.data(), x.size() * sizeof(hrt::F4)) == 0;
  };
  EXPECT_TRUE(same(binary.beauty, wideWalks.beauty));
  EXPECT_TRUE(same(binary.layers, wideWalks.layers));
  // The pass built for the baseline instruction set gives the same (the entry point above runs
  // the AVX2 build on processors that have it).
  const Accumulated baseline = Trace(p, cam, 24, 16, 2, &wide, hrt::PassTiles);
  EXPECT_TRUE(same(baseline.beauty, wideWalks.beauty));
  EXPECT_TRUE(same(baseline.layers, wideWalks.layers));
}

// The wide view is made only of trees it can replay: not of a root that is a leaf, a tree
// with inner nodes 62 levels below the root or one whose indices leave the arrays.
TEST(PathTrace, WideViewRefusesTreesItCannotReplay) {
  auto leaf = [](int first, int count) { return hrt::BvhNode{V3(0, 0, 0), first, V3(1, 1, 1), count}; };
  auto inner = [](int first) { return hrt::BvhNode{V3(0, 0, 0), first, V3(1, 1, 1), 0}; };
  // A chain with inner nodes down to `depth` levels below the root: each inner node has a
  // leaf and the next inner node as children, the last one two leaves.
  auto chain = [&](int depth) {
    std::vector<hrt::BvhNode> n{inner(2), leaf(0, 0)};
    for (int d = 1; d <= depth + 1; ++d) {
      n.push_back(leaf(0, 1));
      n.push_back(d <= depth ? inner(int(n.size()) + 1) : leaf(1, 1));
    }
    return n;
  };
  struct Case {
    const char* name;
    std::vector<hrt::BvhNode> nodes;
    bool made;
  };
  const std::vector<Case> cases = {{"two leaves", {inner(2), leaf(0, 0), leaf(0, 2), leaf(2, 2)}, true},
                                   {"61 levels", chain(61), true},
                                   {"root leaf", {leaf(0, 4)}, false},
                                   {"62 levels", chain(62), false},
                                   {"child outside", {inner(2), leaf(0, 0), leaf(0, 2)}, false},
                                   {"leaf outside", {inner(2), leaf(0, 0), leaf(0, 2), leaf(2, 3)}, false},
                                   {"leaf too big", {inner(2), leaf(0, 0), leaf(0, 2), leaf(2, 32)}, false}};
  const std::vector<hrt::SegRec> segs(40, Segment(V3(0, 0, 0), V3(1, 1, 1), 0.1f));
  for (const Case& c : cases) {
    hrt::WideBvh w;
    const std::size_t segCount = std::string(c.name) == "leaf too big" ? 40 : 4;
    EXPECT_EQ(hrt::BuildWideBvh(c.nodes.data(), c.nodes.size(), segs.data(), segCount, w), c.made) << c.name;
    EXPECT_EQ(w.nodes.empty(), !c.made) << c.name;
  }
}

TEST(PathTrace, TipsFadedAtOneNeverShowButWhatIsBehindThemDoes) {
  // A thick hair whose every point is at v = 1 over a square: with tipFade 1 the camera sees
  // only the square, first hit and all.
  for (float tipFade : {0.f, 1.f}) {
    hrt::HairShadeParams m = hrt::FallbackHairParams();
    m.tipFade = tipFade;
    const crn::PackedScene p =
        PackRecords(Square(5, 0, V3(0.2f, 0.4f, 0.6f), 4321), {Segment(V3(-5, 0, 1), V3(5, 0, 1), 0.8f, 1, 1)},
                    {Directional(V3(0, 0, -1), V3(1, 1, 1))}, {m});
    const Accumulated a = Trace(p, LookDown(10, 0.2f, 1.5f), 8, 8, 16);
    const std::size_t centre = 4 * 8 + 4, pixels = 64;
    const hrt::F4 masks = a.layers[hrt::kLayerMasks * pixels + centre];
    EXPECT_EQ(a.albedoCov[centre].w, 16.f) << "covered in every pass";
    if (tipFade == 1.f) {
      EXPECT_EQ(masks.x, 0.f) << "no hair seen";
      EXPECT_EQ(masks.y, 16.f) << "the mesh behind it";
      EXPECT_FLOAT_EQ(a.albedoCov[centre].x, 16 * 0.2f);
      EXPECT_EQ(a.layers[hrt::kLayerPositionId * pixels + centre].w, 4321.f);
    } else {
      EXPECT_EQ(masks.x, 16.f);
      EXPECT_EQ(a.layers[hrt::kLayerPositionId * pixels + centre].w, 1.f) << "material 0 + 1";
    }
  }
}

TEST(PathTrace, IdentifiersComeFromPassZeroAlone) {
  const crn::PackedScene p =
      PackRecords(Square(5, 0, V3(0.5f, 0.5f, 0.5f), 777), {Segment(V3(-5, 1, 1), V3(5, 1, 1), 0.6f, 0, 0.5f, 0xFF808080u, 42)},
                  {Directional(V3(0, 0, -1), V3(1, 1, 1))});
  const int w = 8, h = 8;
  const std::size_t pixels = 64;
  const Accumulated a = Trace(p, LookDown(10, 0.2f, 1.5f), w, h, 5);
  // Row 1 looks at the hair (at y = 1, near the top of the image), the bottom row at the square.
  const std::size_t hairPx = std::size_t(w) * 1 + 4, meshPx = std::size_t(w) * 7 + 4;
  EXPECT_EQ(a.layers[hrt::kLayerPositionId * pixels + meshPx].w, 777.f);
  EXPECT_EQ(a.layers[hrt::kLayerMasks * pixels + meshPx].y, 5.f);
  EXPECT_EQ(a.layers[hrt::kLayerPositionId * pixels + hairPx].w, 1.f);
  EXPECT_EQ(a.layers[hrt::kLayerMasks * pixels + hairPx].w, hrt::trace::StrandIdValue(42));
  EXPECT_EQ(a.layers[hrt::kLayerMasks * pixels + hairPx].x, 5.f);
  // Colour layers keep alpha 0; the tangent layer carries v.
  for (int k = 0; k <= hrt::kLayerAlbedo; ++k) EXPECT_EQ(a.layers[std::size_t(k) * pixels + hairPx].w, 0.f);
  EXPECT_GT(a.layers[hrt::kLayerTangentV * pixels + hairPx].w, 0.f);
  EXPECT_FLOAT_EQ(std::fabs(a.layers[hrt::kLayerTangentV * pixels + hairPx].x), 5.f);
}

TEST(PathTrace, DirectLightOnAFlatSquareIsLambertAndShadowsGoToTheirPass) {
  // Light straight down on a white-ish square, and a wall of hair shading half of it.
  std::vector<hrt::SegRec> wall;
  for (int i = 0; i < 40; ++i)
    wall.push_back(Segment(V3(0.1f + float(i) * 0.1f, -5, 2), V3(0.1f + float(i) * 0.1f, 5, 2), 0.08f, 0, 1, 0xFF000000u));
  hrt::HairShadeParams opaque = hrt::FallbackHairParams();
  opaque.shadowOpacity = 1;
  crn::PackedScene p = PackRecords(Square(5, 0, V3(0.5f, 0.5f, 0.5f)), wall,
                                   {Directional(V3(0.001f, 0, -1), V3(1, 1, 1))}, {opaque});
  p.environment = V3(0, 0, 0);
  const int w = 16, h = 4;
  const std::size_t pixels = std::size_t(w * h);
  // Camera below the hair wall (z = 1): it sees only the square.
  const Accumulated a = Trace(p, LookDown(1, 0.2f, 4.5f), w, h, 4);
  const std::size_t lit = std::size_t(w) + 1, shaded = std::size_t(w) + 14;
  EXPECT_NEAR(a.beauty[lit].x / 4, 0.5f, 1e-4f);
  EXPECT_NEAR(a.layers[hrt::kLayerDirect * pixels + lit].x / 4, 0.5f, 1e-4f);
  EXPECT_EQ(a.layers[hrt::kLayerShadow * pixels + lit].x, 0.f);
  EXPECT_EQ(a.beauty[shaded].x, 0.f);
  EXPECT_NEAR(a.layers[hrt::kLayerShadow * pixels + shaded].x / 4, 0.5f, 1e-4f);
}

TEST(ScenePack, OnePointStrandsAndHairOnlyScenes) {
  crn::GatheredScene g;
  g.hair.push_back(fixtures::StraightStrands({V3(0, 0, 0), V3(1, 0, 0)}, 1, 1, 0.1f));
  crn::PackedScene p;
  crn::PackScene(g, p);
  EXPECT_EQ(p.materials.size(), 1u);
  EXPECT_TRUE(p.segs.empty());
  g.hair.push_back(fixtures::StraightStrands({V3(0, 0, 0), V3(1, 0, 0)}, 3, 2, 0.1f));
  crn::PackScene(g, p);
  EXPECT_EQ(p.materials.size(), 2u);
  ASSERT_EQ(p.segs.size(), 4u);
  const hrt::DevScene d = crn::HostSceneRecord(p);
  EXPECT_EQ(d.tris, nullptr);
  EXPECT_EQ(d.triNodeCount, 0u);
  EXPECT_EQ(d.segNodeCount, p.segNodes.size());
  for (const hrt::SegRec& s : p.segs) {
    EXPECT_EQ(s.material, 1);
    EXPECT_FLOAT_EQ(s.r0, 0.05f);
    EXPECT_FLOAT_EQ(s.v1 - s.v0, 0.5f);
    EXPECT_FLOAT_EQ(s.p1.z - s.p0.z, 1.f);
    EXPECT_EQ(s.wetness, 0.f);
  }
  // Epsilon follows the scene's extent: strands 2 long, 1 apart, radius 0.05.
  EXPECT_FLOAT_EQ(p.epsilon, 2e-6f * 2.1f);
  crn::PackScene(crn::GatheredScene{}, p);
  EXPECT_EQ(p.materials.size(), 1u);
  EXPECT_FLOAT_EQ(p.materials[0].roughness, 0.3f);
  EXPECT_FLOAT_EQ(p.epsilon, 2e-6f);
}

}  // namespace
