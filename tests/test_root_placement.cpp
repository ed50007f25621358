// Root placement: the hashed attempt sequence, determinism, the density rules and the
// face-region oversampling.
#include <gtest/gtest.h>

#include "mesh_fixtures.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <set>

#include "hair/face_coords.h"
#include "hair/face_features.h"
#include "hair/gen_settings.h"
#include "hair/root_placement.h"
#include "hair/surface.h"
#include "hair/surface_geometry.h"
#include "plugin/worker_pool.h"
#include "scene/mesh_import.h"

using crn::DensityInputs;
using crn::DefaultGenSettings;
using crn::GenSettings;
using crn::GuideSet;
using crn::RootSample;
using crn::V3;

namespace {

using fixtures::Append;
using fixtures::Primitive;
using fixtures::RunSerially;
using fixtures::Surface;

bool SameRoots(const std::vector<RootSample>& a, const std::vector<RootSample>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (a[i].tri != b[i].tri || a[i].u != b[i].u || a[i].v != b[i].v || a[i].id != b[i].id ||
        a[i].pos != b[i].pos || a[i].normal != b[i].normal)
      return false;
  return true;
}

// The attempt loop written out one attempt after the other, straight from its definition.
std::vector<RootSample> SequentialScatter(const GuideSet& g, int seed, std::uint64_t target,
                                          float (*density)(int, float, float)) {
  std::vector<double> cum;
  double area = 0;
  for (std::size_t f = 0; f < g.TriangleCount(); ++f) {
    const V3 a = g.vertices[g.triangles[f * 3]], b = g.vertices[g.triangles[f * 3 + 1]],
             c = g.vertices[g.triangles[f * 3 + 2]];
    const double e1[3] = {double(b.x) - a.x, double(b.y) - a.y, double(b.z) - a.z};
    const double e2[3] = {double(c.x) - a.x, double(c.y) - a.y, double(c.z) - a.z};
    const double x = e1[1] * e2[2] - e1[2] * e2[1], y = e1[2] * e2[0] - e1[0] * e2[2],
                 z = e1[0] * e2[1] - e1[1] * e2[0];
    area += 0.5 * std::sqrt(x * x + y * y + z * z);
    cum.push_back(area);
  }
  std::vector<RootSample> out;
  for (std::uint64_t i = 0; i < (target + 16) * 64 && out.size() < target; ++i) {
    const std::uint32_t G = std::uint32_t(i) * 0x9E3779B9u;
    auto r = [&](std::uint32_t k) {
      return crn::Unit24(crn::Mix32(crn::Mix32(4u * std::uint32_t(seed) + k) ^ G));
    };
    const double a = (double(r(3)) / 16777216.0 + double(r(0))) * area;
    std::size_t tri = 0;
    while (tri + 1 < cum.size() && cum[tri] < a) ++tri;
    float u = r(1), v = r(2);
    if (u + v > 1) {
      u = 1 - u;
      v = 1 - v;
    }
    if (density && density(int(tri), u, v) <= crn::Unit24(crn::Mix32(
                                                   crn::Mix32(7u * std::uint32_t(seed) + 5u) ^ G)))
      continue;
    const std::int32_t* t = &g.triangles[tri * 3];
    RootSample s;
    s.tri = std::int32_t(tri);
    s.u = u;
    s.v = v;
    s.id = std::uint32_t(i);
    s.pos = g.vertices[t[0]] * (1 - u - v) + g.vertices[t[1]] * u + g.vertices[t[2]] * v;
    s.normal = crn::UnitOr(
        g.normals[t[0]] * (1 - u - v) + g.normals[t[1]] * u + g.normals[t[2]] * v, V3(0, 0, 1));
    out.push_back(s);
  }
  return out;
}

float HalfOnSecondTriangle(int tri, float u, float) { return tri == 0 ? 1.f : 0.3f + 0.5f * u; }

// Sphere of radius 50 at the origin with a face helper in front of it along +y.
GenSettings FaceSettings(int region) {
  GenSettings s = DefaultGenSettings();
  s.faceOn = true;
  s.facePos = {0, 50, 0};
  s.faceDir = {0, 1, 0};
  s.faceSize = 40;
  s.faceRegion = region;
  return s;
}

}  // namespace

TEST(RootPlacement, FollowsTheHashedAttemptSequenceOnAnyThreadCount) {
  // Two triangles of areas 2 and 6 on different planes; the second is tilted.
  host::Mesh m;
  m.verts = {{0, 0, 0}, {2, 0, 0}, {0, 2, 0}, {3, 0, 0}, {6, 0, 1}, {3, 4, 1}};
  m.faces = {{{0, 1, 2}, 0}, {{3, 4, 5}, 0}};
  const GuideSet pair = Surface(m);
  const GuideSet ball = Surface(Primitive("sphere", 5, 16));  // 224 triangles, two sizes
  const std::function<float(int, float, float)> density = HalfOnSecondTriangle;

  struct Case {
    const GuideSet& g;
    int seed;
    std::uint64_t target;
    bool withDensity;
  };
  const Case cases[] = {
      {pair, 7, 5000, true}, {pair, -3, 3000, false}, {pair, 0, 1, true}, {ball, 11, 4000, false}};
  for (const Case& c : cases) {
    const GuideSet& g = c.g;
    const auto reference =
        SequentialScatter(g, c.seed, c.target, c.withDensity ? HalfOnSecondTriangle : nullptr);
    const auto noDensity = std::function<float(int, float, float)>();
    const auto& fn = c.withDensity ? density : noDensity;
    const auto parallel = crn::ScatterRoots(g, c.seed, c.target, fn);
    std::vector<RootSample> serial;
    RunSerially([&] { serial = crn::ScatterRoots(g, c.seed, c.target, fn); });
    ASSERT_EQ(reference.size(), c.target);
    EXPECT_TRUE(SameRoots(parallel, reference)) << c.seed;
    EXPECT_TRUE(SameRoots(serial, reference)) << c.seed;
    EXPECT_TRUE(SameRoots(crn::ScatterRoots(g, c.seed, c.target, fn), parallel)) << "rerun";
  }
}

TEST(RootPlacement, RaisingCountKeepsTheRootsAndAppends) {
  const GuideSet g = Surface(Primitive("sphere", 50, 32));
  GenSettings s = DefaultGenSettings();
  s.count = 1000;
  const auto few = crn::PlaceRootSamples(g, s, {}, 0);
  s.count = 3000;
  const auto many = crn::PlaceRootSamples(g, s, {}, 0);
  ASSERT_EQ(few.size(), 1000u);
  ASSERT_EQ(many.size(), 3000u);
  EXPECT_TRUE(SameRoots(few, std::vector<RootSample>(many.begin(), many.begin() + 1000)));
  // The memory fit caps the target the same way.
  EXPECT_TRUE(SameRoots(crn::PlaceRootSamples(g, s, {}, 1000), few));
  for (const RootSample& r : many) {
    EXPECT_NEAR(crn::Length(r.pos), 50, 1.0f);
    EXPECT_NEAR(crn::Length(r.normal), 1, 1e-5f);
  }
}

TEST(RootPlacement, ZeroDensityStopsAfterTheAttemptLimit) {
  const GuideSet g = Surface(Primitive("sphere", 10, 16));
  std::atomic<std::uint64_t> calls{0};
  const auto roots = crn::ScatterRoots(g, 1, 100, [&](int, float, float) {
    calls.fetch_add(1, std::memory_order_relaxed);
    return 0.f;
  });
  EXPECT_TRUE(roots.empty());
  EXPECT_EQ(calls.load(), (100u + 16u) * 64u);

  GenSettings s = DefaultGenSettings();
  s.count = 200;
  const std::vector<float> zero(g.vertices.size(), 0.f);
  DensityInputs in;
  in.densityFactors = &zero;
  EXPECT_TRUE(crn::PlaceRootSamples(g, s, in, 0).empty());
}

TEST(RootPlacement, NothingOnEmptyFlatOrBrokenSurfaces) {
  GenSettings s = DefaultGenSettings();
  s.count = 100;
  host::Mesh flat;
  flat.verts = {{0, 0, 0}, {1, 1, 1}, {2, 2, 2}};  // collinear: zero area
  flat.faces = {{{0, 1, 2}, 0}, {{2, 1, 0}, 0}};
  EXPECT_TRUE(crn::PlaceRootSamples(Surface(flat), s, {}, 0).empty());
  EXPECT_TRUE(crn::PlaceRootSamples(GuideSet(), s, {}, 0).empty());
  GuideSet broken = Surface(Primitive("sphere", 10, 8));
  broken.triangles[4] = std::int32_t(broken.vertices.size());
  EXPECT_TRUE(crn::PlaceRootSamples(broken, s, {}, 0).empty());
  EXPECT_TRUE(crn::ScatterRoots(broken, 1, 10, {}).empty());
}

TEST(RootPlacement, MaterialIdListKeepsOnlyListedTriangles) {
  // A plane of 2 * 8 * 8 triangles with material ids (host, from 1) 1..6 in turn.
  host::Mesh m = Primitive("plane", 0, 8);
  for (std::size_t f = 0; f < m.faces.size(); ++f) m.faces[f].matId = host::MtlID(f % 6);
  const GuideSet g = Surface(m);
  struct Case {
    const char* text;
    std::set<int> grow;
  };
  const Case cases[] = {{"2, 5", {2, 5}},  {"x5y2", {2, 5}},       {"6", {6}},
                        {"", {1, 2, 3, 4, 5, 6}}, {"none", {1, 2, 3, 4, 5, 6}},
                        {"0;7", {}},      {"99999999999999999999999", {}}};
  for (const Case& c : cases) {
    GenSettings s = DefaultGenSettings();
    s.count = 600;
    const std::vector<std::int64_t> ids = crn::ParseMaterialIds(c.text);
    DensityInputs in;
    in.growMaterialIds = &ids;
    const auto roots = crn::PlaceRootSamples(g, s, in, 0);
    std::set<int> seen;
    for (const RootSample& r : roots) seen.insert(g.materialIds[r.tri]);
    EXPECT_EQ(seen, c.grow) << c.text;
    EXPECT_EQ(roots.size(), c.grow.empty() ? 0u : 600u) << c.text;
  }
}

TEST(RootPlacement, BareBelowLeavesTheLowestBandBare) {
  const GuideSet g = Surface(Primitive("cylinder", 20, 24, 100));
  GenSettings s = DefaultGenSettings();
  s.count = 3000;
  s.bareBelow = 0.25f;
  const auto roots = crn::PlaceRootSamples(g, s, {}, 0);
  ASSERT_EQ(roots.size(), 3000u);
  float lowest = 1e9f;
  for (const RootSample& r : roots) lowest = std::min(lowest, r.pos.z);
  EXPECT_GT(lowest, 25.f);
  EXPECT_LT(lowest, 27.f);  // the band's edge is soft over 1 % of the height only
}

TEST(RootPlacement, BarePalmsClearsThinDownwardFacingParts) {
  // A small ball (thin against the whole surface) far from a plane that faces up.
  host::Mesh m = Primitive("plane", 0, 4);
  for (host::Point3& p : m.verts) p = p * 0.1f;
  Append(m, Primitive("sphere", 2, 16), {300, 0, 0});
  const GuideSet g = Surface(m);
  const std::size_t planeTris = 32;
  auto ballUnderside = [&](const std::vector<RootSample>& roots, int& onPlane) {
    int under = 0;
    onPlane = 0;
    for (const RootSample& r : roots) {
      if (std::size_t(r.tri) < planeTris) ++onPlane;
      else if (r.normal.z < -0.95f) ++under;
    }
    return under;
  };
  GenSettings s = DefaultGenSettings();
  s.count = 20000;
  int onPlane = 0;
  EXPECT_GT(ballUnderside(crn::PlaceRootSamples(g, s, {}, 0), onPlane), 50);
  s.barePalms = true;
  const auto roots = crn::PlaceRootSamples(g, s, {}, 0);
  EXPECT_EQ(ballUnderside(roots, onPlane), 0);
  EXPECT_GT(onPlane, 1000);
  EXPECT_EQ(roots.size(), 20000u);
}

TEST(RootPlacement, WhiskerPadsOversampleTowardsCount) {
  // The pads hold about 0.2 % of the sphere: the first pass finds a tenth of count, the
  // retries scale the target by count / placed and stop once 90 % of count are there.
  const GuideSet g = Surface(Primitive("sphere", 50, 64));
  GenSettings s = FaceSettings(1);
  s.count = 1500;
  auto byId = [](const RootSample& a, const RootSample& b) { return a.id < b.id; };
  for (int seed : {1, 2}) {
    s.seed = seed;
    const auto roots = crn::PlaceRootSamples(g, s, {}, 0);
    EXPECT_GE(roots.size(), 1350u);
    EXPECT_LE(roots.size(), 1500u);
    std::set<std::uint32_t> ids;
    for (const RootSample& r : roots) {
      const V3 q = crn::FaceCoords(s, r.pos);
      const float a = (q.y + 0.4f) / 0.1f, b = (std::fabs(q.x) - 0.16f) / 0.14f;
      EXPECT_LT(a * a + b * b, 1.f) << "outside the whisker pads";
      ids.insert(r.id);
    }
    EXPECT_EQ(ids.size(), roots.size());
    EXPECT_TRUE(SameRoots(crn::PlaceRootSamples(g, s, {}, 0), roots));
    if (seed == 1) {
      // This seed overshoots: the list is shuffled, then cut to count.
      EXPECT_EQ(roots.size(), 1500u);
      EXPECT_FALSE(std::is_sorted(roots.begin(), roots.end(), byId));
    } else {
      // This one stops between 90 % and count: attempt order, nothing cut.
      EXPECT_LT(roots.size(), 1500u);
      EXPECT_TRUE(std::is_sorted(roots.begin(), roots.end(), byId));
    }
  }
}

TEST(RootPlacement, EyesShapeBrowsAndStayBare) {
  host::Mesh m = Primitive("sphere", 50, 48);
  Append(m, Primitive("sphere", 1.5f, 8), {-10, 46.5f, 20});
  Append(m, Primitive("sphere", 1.5f, 8), {10, 46.5f, 20});
  const GuideSet g = Surface(m);
  std::vector<V3> centres;
  std::vector<float> radii;
  std::vector<char> eyeTris;
  crn::FindEyes(g, centres, radii, eyeTris);
  ASSERT_EQ(centres.size(), 2u);
  DensityInputs in;
  in.eyeCentres = &centres;
  in.eyeRadii = &radii;
  in.eyeTriangles = &eyeTris;

  // Brows without a face helper: a band above each eye.
  GenSettings brows = DefaultGenSettings();
  brows.faceRegion = 2;
  brows.count = 300;
  const auto browRoots = crn::PlaceRootSamples(g, brows, in, 0);
  ASSERT_GE(browRoots.size(), 270u);  // oversampled to about count
  ASSERT_LE(browRoots.size(), 300u);
  for (const RootSample& r : browRoots) {
    bool inBand = false;
    for (std::size_t e = 0; e < 2; ++e) {
      const float d = crn::Length(r.pos - centres[e]);
      inBand |= d > 1.3f * radii[e] && d < 2.8f * radii[e] && r.pos.z - centres[e].z > 0.75f;
    }
    EXPECT_TRUE(inBand);
  }

  // Bare face: no root on an eye, though the eyes hold a fair share of the area.
  GenSettings bare = FaceSettings(0);
  bare.bareFace = true;
  bare.count = 40000;
  int onEyes = 0;
  for (const RootSample& r : crn::PlaceRootSamples(g, bare, in, 0)) onEyes += eyeTris[r.tri];
  EXPECT_EQ(onEyes, 0);
  bare.bareFace = false;
  onEyes = 0;
  for (const RootSample& r : crn::PlaceRootSamples(g, bare, in, 0)) onEyes += eyeTris[r.tri];
  EXPECT_GT(onEyes, 20);
}
