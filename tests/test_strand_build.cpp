// Strand generation: point counts, width profiles, the build entry's sizing and prefix
// rule, clumps, strays, stack, curl, burn, splines, guide blending and the noise line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <unordered_map>
#include <vector>

#include "hair/clump_table.h"
#include "hair/fur_math.h"
#include "hair/gen_settings.h"
#include "hair/gen_types.h"
#include "hair/strand_build.h"

using namespace crn;

namespace {

// A flat nx x ny grid of unit cells in the z = 0 plane, normal +z, tangent +x, with one
// guide per vertex given by guide(vertex, point index).
struct Grid {
  GuideSet guides;
  std::vector<RootSample> roots;
};

using GuideFn = std::function<V3(const V3& vertex, int k, int vertexIndex)>;

V3 StraightUp(const V3& x, int k, int, float length, int segments) {
  return x + V3(0, 0, length * float(k) / float(segments));
}

Grid MakeGrid(int nx, int ny, int segments, const GuideFn& guide) {
  Grid g;
  GuideSet& s = g.guides;
  for (int j = 0; j <= ny; ++j)
    for (int i = 0; i <= nx; ++i) {
      s.vertices.emplace_back(float(i), float(j), 0.f);
      s.normals.emplace_back(0.f, 0.f, 1.f);
      s.tangents.emplace_back(1.f, 0.f, 0.f);
    }
  for (int j = 0; j < ny; ++j)
    for (int i = 0; i < nx; ++i) {
      const int a = j * (nx + 1) + i, b = a + 1, c = a + nx + 1, d = c + 1;
      s.triangles.insert(s.triangles.end(), {a, b, d, a, d, c});
    }
  s.guidePointCount = segments + 1;
  for (std::size_t v = 0; v < s.vertices.size(); ++v)
    for (int k = 0; k <= segments; ++k) s.guidePoints.push_back(guide(s.vertices[v], k, int(v)));
  return g;
}

Grid StraightGrid(int nx, int ny, int segments = 10, float length = 10.f) {
  return MakeGrid(nx, ny, segments, [=](const V3& x, int k, int v) { return StraightUp(x, k, v, length, segments); });
}

RootSample RootAt(const GuideSet& g, int tri, float u, float v, std::uint32_t id) {
  RootSample r;
  r.tri = tri;
  r.u = u;
  r.v = v;
  r.id = id;
  const std::int32_t* t = &g.triangles[std::size_t(tri) * 3];
  r.pos = g.vertices[t[0]] * (1.f - u - v) + g.vertices[t[1]] * u + g.vertices[t[2]] * v;
  r.normal = V3(0, 0, 1);
  return r;
}

// count roots scattered over the grid by hash, ids distinct.
void Scatter(Grid& g, int count) {
  const std::uint32_t T = std::uint32_t(g.guides.TriangleCount());
  for (int i = 0; i < count; ++i) {
    float u = Unit24(Mix32(3u * i + 1u)), v = Unit24(Mix32(3u * i + 2u));
    if (u + v > 1.f) u = 1.f - u, v = 1.f - v;
    g.roots.push_back(RootAt(g.guides, int(Mix32(3u * i) % T), u, v, Mix32(i + 977u)));
  }
}

// Settings with every random or optional effect off, so shapes are exactly the guides.
GenSettings Plain() {
  GenSettings s = DefaultGenSettings();
  s.lengthVar = 0;
  s.widthRandom = 0;
  s.strayFraction = 0;
  s.stackOn = false;
  s.clumpAmount = 0;
  s.clump2Amount = 0;
  return s;
}

// Everything that shapes a strand switched on.
GenSettings Busy() {
  GenSettings s = DefaultGenSettings();
  s.clumpAmount = 0.5f;
  s.clumpCount = 40;
  s.clump2Amount = 0.3f;
  s.clump2Count = 200;
  s.curlRadius = 0.3f;
  s.kinkAmount = 0.5f;
  s.frizzRoot = 0.05f;
  s.frizzTip = 0.2f;
  s.strayFraction = 0.1f;
  return s;
}

StrandSet Build(const Grid& g, const GenSettings& s, double fraction = 1.0, const BuildInputs& in = {}) {
  StrandSet out;
  BuildStrands(g.guides, g.roots, g.guides.guidePoints, s, in, fraction, out);
  return out;
}

// Per-vertex inputs of a build (wetness, burn, glow) with their storage.
struct VertexInputs {
  std::vector<float> wetness, burn, glow;
  BuildInputs Inputs() const {
    BuildInputs in;
    in.wetness = wetness;
    in.burn = burn;
    in.glow = glow;
    return in;
  }
};

template <class Array>
bool SameBits(const Array& a, const Array& b, std::size_t count) {
  return a.size() >= count && b.size() >= count &&
         (count == 0 || std::memcmp(a.data(), b.data(), count * sizeof(a[0])) == 0);
}

// Strand-by-strand bitwise equality of the first n strands of two builds.
void ExpectSamePrefix(const StrandSet& a, const StrandSet& b, std::size_t n) {
  ASSERT_EQ(a.pointsPerStrand, b.pointsPerStrand);
  const std::size_t np = n * std::size_t(a.pointsPerStrand);
  EXPECT_TRUE(SameBits(a.points, b.points, np));
  EXPECT_TRUE(SameBits(a.widths, b.widths, np));
  EXPECT_TRUE(SameBits(a.rootColour, b.rootColour, n));
  EXPECT_TRUE(SameBits(a.tipColour, b.tipColour, n));
  EXPECT_TRUE(SameBits(a.strandId, b.strandId, n));
  EXPECT_TRUE(SameBits(a.rootNormal, b.rootNormal, n));
  EXPECT_TRUE(SameBits(a.clumpIndex, b.clumpIndex, n));
  EXPECT_TRUE(SameBits(a.triIndex, b.triIndex, n));
}

const V3* Strand(const StrandSet& set, std::size_t s) { return set.points.data() + s * std::size_t(set.pointsPerStrand); }

}  // namespace

// ---------------------------------------------------------------------------------------

TEST(StrandBuildPointCount, FollowsTheStrongestShapingRule) {
  struct Case {
    const char* what;
    std::function<void(GenSettings&)> set;
    int points;
  };
  const Case cases[] = {
      {"segments only", [](GenSettings&) {}, 11},
      {"curl", [](GenSettings& s) { s.curlRadius = 0.5f; s.curlTurns = 3; s.curlRandom = 0.2f; }, 34},
      {"curl without radius", [](GenSettings& s) { s.curlRadius = 0; s.curlTurns = 30; }, 11},
      {"curl without turns", [](GenSettings& s) { s.curlRadius = 1; s.curlTurns = 0; }, 11},
      {"frizz at the tip", [](GenSettings& s) { s.frizzTip = 0.1f; s.frizzFreq = 6; }, 37},
      {"frizz at the root", [](GenSettings& s) { s.frizzRoot = 0.1f; s.frizzFreq = 2.5f; }, 16},
      {"frizz frequency without amount", [](GenSettings& s) { s.frizzFreq = 40; }, 11},
      {"kink", [](GenSettings& s) { s.kinkAmount = 0.2f; s.kinkFreq = 2; }, 13},
      {"kink below the segments", [](GenSettings& s) { s.kinkAmount = 0.2f; s.kinkFreq = 1; }, 11},
      {"kink frequency without amount", [](GenSettings& s) { s.kinkFreq = 90; }, 11},
      {"largest rule wins", [](GenSettings& s) { s.kinkAmount = 1; s.kinkFreq = 5; s.frizzTip = 1; s.frizzFreq = 3; }, 31},
      {"frizz capped", [](GenSettings& s) { s.frizzTip = 0.1f; s.frizzFreq = 500; }, 256},
      {"curl capped", [](GenSettings& s) { s.curlRadius = 1; s.curlTurns = 200; s.curlRandom = 1; }, 256},
      {"many segments", [](GenSettings& s) { s.segments = 64; }, 65},
      {"segments below two act as two", [](GenSettings& s) { s.segments = 0; }, 3},
      {"segments beyond the range stay within the cap", [](GenSettings& s) { s.segments = 100000; }, 256},
  };
  for (const Case& c : cases) {
    GenSettings s = DefaultGenSettings();
    s.segments = 10;
    c.set(s);
    EXPECT_EQ(PointsPerStrand(s), c.points) << c.what;
  }
}

TEST(StrandBuildWidthProfile, ProfilesByTable) {
  const float a = 0.04f, b = 0.01f;
  struct Case {
    int profile;
    float taper, t, expected;
  };
  const Case cases[] = {
      {0, 0.6f, 0.0f, a},           {0, 0.6f, 0.5f, 0.025f},        {0, 0.6f, 1.0f, b},
      {1, 0.6f, 0.0f, a},           {1, 0.6f, 0.59f, a},            {1, 0.6f, 0.6f, a},
      {1, 0.6f, 1.0f, 0.1f * b},    {1, 0.6f, 0.8f, a + (b - a) * 0.5f},
      {1, 0.0f, 0.5f, 0.025f},      {1, 5.0f, 0.98f, a},            // taper start held below 0.99
      {2, 0.6f, 0.7f, a},
      {3, 0.6f, 0.0f, b},           {3, 0.6f, 1.0f, a},
      {4, 0.6f, 0.0f, a},           {4, 0.6f, 0.5f, 0.025f + 0.6f * (a - b)}, {4, 0.6f, 1.0f, b},
      {5, 0.6f, 0.0f, b},           {5, 0.6f, 0.3f, 0.025f},        {5, 0.6f, 0.6f, a},   {5, 0.6f, 1.0f, a},
      {5, 0.0f, 0.0f, a},
  };
  for (const Case& c : cases) {
    GenSettings s = DefaultGenSettings();
    s.widthProfile = c.profile;
    s.widthTaperStart = c.taper;
    EXPECT_NEAR(WidthProfile(s, a, b, c.t), c.expected, 1e-6f)
        << "profile " << c.profile << " taper " << c.taper << " t " << c.t;
  }
}

// The build writes each strand's widths by the profile's rule point by point: the same
// bits as WidthProfile, for every profile and for negative (flipped) widths.
TEST(StrandBuildWidthProfile, BuiltWidthsHaveTheProfilesBits) {
  Grid g = StraightGrid(3, 3);
  Scatter(g, 5);
  for (const int profile : {0, 1, 2, 3, 4, 5, 9})
    for (const float taper : {0.f, 0.6f})
      for (const float root : {0.04f, -0.03f}) {
        GenSettings s = Plain();
        s.widthProfile = profile;
        s.widthTaperStart = taper;
        s.rootWidth = root;
        s.tipWidth = 0.01f;
        s.kinkAmount = 0.1f;  // 13 points
        const StrandSet out = Build(g, s);
        const int P = out.pointsPerStrand;
        ASSERT_EQ(out.widths.size(), 5u * std::size_t(P));
        for (int i = 0; i < P; ++i) {
          const float w = WidthProfile(s, s.rootWidth, s.tipWidth, float(i) / float(P - 1));
          EXPECT_EQ(std::memcmp(&out.widths[std::size_t(3 * P + i)], &w, 4), 0)
              << "profile " << profile << " taper " << taper << " point " << i;
        }
      }
}

TEST(StrandBuildWidthProfile, NaturalTaperNarrowsOnlyInTheLastFifteenPercent) {
  GenSettings s = DefaultGenSettings();
  s.widthProfile = 1;
  s.widthTaperStart = 0.6f;
  const float a = 1.f, b = 0.5f;
  // Without the last-15 % factor the smoothed curve would end at b.
  const float c = 0.85f, t = 0.6f + c * 0.4f;
  EXPECT_NEAR(WidthProfile(s, a, b, t), a + (b - a) * Smooth(c), 1e-5f);
  float previous = a;
  for (int i = 0; i <= 100; ++i) {
    const float w = WidthProfile(s, a, b, i / 100.f);
    EXPECT_LE(w, previous + 1e-6f) << "natural taper never widens, t " << i / 100.f;
    previous = w;
  }
}

// ---------------------------------------------------------------------------------------

TEST(StrandBuildEntry, SizesEveryArrayForTheStrandsBuilt) {
  Grid g = StraightGrid(6, 6);
  Scatter(g, 100);
  GenSettings s = Plain();
  s.hiOn = true;
  s.hiAmount = 0.5f;
  s.hiStart = 0.5f;
  VertexInputs v;
  v.wetness.assign(g.guides.VertexCount(), 0.25f);
  v.glow.assign(g.guides.VertexCount(), 0.f);
  const StrandSet out = Build(g, s, 0.305, v.Inputs());  // ceil(30.5) = 31
  const std::size_t n = 31;
  ASSERT_EQ(out.StrandCount(), n);
  EXPECT_EQ(out.pointsPerStrand, 11);
  EXPECT_EQ(out.points.size(), n * 11);
  EXPECT_EQ(out.widths.size(), n * 11);
  for (auto size : {out.rootColour.size(), out.tipColour.size(), out.rootNormal.size(), out.clumpIndex.size(),
                    out.triIndex.size(), out.wet.size(), out.glow.size(), out.hiColour.size(), out.hiStart.size(),
                    out.hiSoft.size()})
    EXPECT_EQ(size, n);
  for (std::size_t k = 0; k < n; ++k) {
    EXPECT_EQ(out.strandId[k], g.roots[k].id);
    EXPECT_EQ(out.triIndex[k], g.roots[k].tri);
    EXPECT_FLOAT_EQ(out.wet[k], 0.25f);
    EXPECT_EQ(out.glow[k], 0.f);
    EXPECT_EQ(out.clumpIndex[k], -1);
    EXPECT_EQ(out.rootNormal[k], V3(0, 0, 1));
    EXPECT_EQ(Strand(out, k)[0], g.roots[k].pos);
  }

  // A later build without those inputs leaves no stale per-strand arrays behind.
  StrandSet again = out;
  BuildStrands(g.guides, g.roots, g.guides.guidePoints, Plain(), {}, 1.0, again);
  EXPECT_EQ(again.StrandCount(), 100u);
  EXPECT_TRUE(again.wet.empty());
  EXPECT_TRUE(again.glow.empty());
  EXPECT_TRUE(again.hiColour.empty() && again.hiStart.empty() && again.hiSoft.empty());
}

// A strand set reused by the next build (as the viewport and render sets are) ends up
// exactly as a fresh one: arrays left unwritten on resize must all be written, also those
// the colour stage fills only where highlights or glow apply.
TEST(StrandBuildEntry, ReusedSetEqualsAFreshBuild) {
  Grid g = StraightGrid(8, 8);
  Scatter(g, 3000);
  GenSettings split = Busy();
  split.hiOn = true;
  split.hiAmount = 0.8f;
  split.hiDensity = 0.5f;
  split.hiStart = 0.5f;
  GenSettings other = split;
  other.hiSeed = 7;  // highlights on other strands
  other.hiDensity = 0.2f;
  VertexInputs all, half;
  all.glow.assign(g.guides.VertexCount(), 1.f);
  all.wetness.assign(g.guides.VertexCount(), 0.5f);
  half.glow.assign(g.guides.VertexCount(), 0.f);
  for (std::size_t v = 0; v < half.glow.size(); ++v) half.glow[v] = v % 8 < 3 ? 1.f : 0.f;  // glowing patches
  half.wetness.assign(g.guides.VertexCount(), 0.25f);
  struct Case {
    const char* what;
    GenSettings first, second;
    const VertexInputs *firstIn, *secondIn;
    double firstFraction, secondFraction;
  };
  const Case cases[] = {
      {"other highlights and glow, same size", split, other, &all, &half, 1.0, 1.0},
      {"smaller", split, other, &all, &half, 1.0, 0.3},
      {"larger after smaller", other, split, &half, &all, 0.2, 1.0},
      {"more points per strand", Plain(), split, &half, &all, 1.0, 1.0},
  };
  for (const Case& c : cases) {
    StrandSet reused = Build(g, c.first, c.firstFraction, c.firstIn->Inputs());
    BuildStrands(g.guides, g.roots, g.guides.guidePoints, c.second, c.secondIn->Inputs(), c.secondFraction, reused);
    const StrandSet fresh = Build(g, c.second, c.secondFraction, c.secondIn->Inputs());
    const std::size_t n = fresh.StrandCount();
    ASSERT_EQ(reused.StrandCount(), n) << c.what;
    ExpectSamePrefix(reused, fresh, n);
    EXPECT_TRUE(SameBits(reused.hiColour, fresh.hiColour, n) && SameBits(reused.hiStart, fresh.hiStart, n) &&
                SameBits(reused.hiSoft, fresh.hiSoft, n) && SameBits(reused.glow, fresh.glow, n) &&
                SameBits(reused.wet, fresh.wet, n))
        << c.what;
    EXPECT_EQ(fresh.hiColour.size(), n) << c.what;
  }
}

TEST(StrandBuildEntry, UnusableInputsBuildNothing) {
  struct Case {
    const char* what;
    std::function<void(Grid&, double&)> spoil;
  };
  const Case cases[] = {
      {"zero fraction", [](Grid&, double& f) { f = 0; }},
      {"negative fraction", [](Grid&, double& f) { f = -0.5; }},
      {"NaN fraction", [](Grid&, double& f) { f = std::nan(""); }},
      {"no roots", [](Grid& g, double&) { g.roots.clear(); }},
      {"guide points short of the vertex count", [](Grid& g, double&) { g.guides.guidePoints.pop_back(); }},
      {"guide point count changed", [](Grid& g, double&) { g.guides.guidePointCount = 12; }},
      {"normals missing", [](Grid& g, double&) { g.guides.normals.clear(); }},
      {"triangle names a missing vertex", [](Grid& g, double&) { g.guides.triangles[4] = 999; }},
      {"root names a missing triangle", [](Grid& g, double&) { g.roots[3].tri = 10000; }},
  };
  for (const Case& c : cases) {
    Grid g = StraightGrid(4, 4);
    Scatter(g, 20);
    double fraction = 1.0;
    // Start from a filled set: a build that produces nothing must not leave old strands.
    StrandSet out = Build(g, Plain());
    ASSERT_EQ(out.StrandCount(), 20u);
    GenSettings s = Plain();
    s.kinkAmount = 0.1f;  // 13 points
    c.spoil(g, fraction);
    BuildStrands(g.guides, g.roots, g.guides.guidePoints, s, {}, fraction, out);
    EXPECT_EQ(out.StrandCount(), 0u) << c.what;
    EXPECT_TRUE(out.points.empty() && out.widths.empty() && out.rootColour.empty()) << c.what;
    EXPECT_EQ(out.pointsPerStrand, 13) << c.what;
  }
}

TEST(StrandBuildEntry, SmallerFractionBuildsAnIdenticalPrefix) {
  Grid g = StraightGrid(10, 10);
  Scatter(g, 3000);
  const GenSettings s = Busy();
  const StrandSet all = Build(g, s, 1.0);
  ASSERT_EQ(all.StrandCount(), 3000u);
  for (const double fraction : {0.5, 0.1, 0.0002}) {
    const StrandSet part = Build(g, s, fraction);
    const std::size_t n = std::size_t(std::ceil(3000 * fraction));
    ASSERT_EQ(part.StrandCount(), n) << fraction;
    ExpectSamePrefix(part, all, n);
  }
}

TEST(StrandBuildEntry, ThreadingAndRepetitionDoNotChangeStrands) {
  Grid g = StraightGrid(12, 12);
  Scatter(g, 9000);
  GenSettings s = Busy();
  VertexInputs v;
  v.burn.assign(g.guides.VertexCount(), 0.3f);
  const StrandSet a = Build(g, s, 1.0, v.Inputs());
  const StrandSet b = Build(g, s, 1.0, v.Inputs());
  ExpectSamePrefix(a, b, 9000);
  // 900 strands are fewer than two chunks of 1024 and run on the calling thread alone;
  // the full build splits into chunks run on the pool.
  const StrandSet serial = Build(g, s, 0.1, v.Inputs());
  ASSERT_LT(serial.StrandCount(), 2048u);
  ASSERT_GE(serial.StrandCount(), 900u);
  ExpectSamePrefix(serial, a, serial.StrandCount());
}

// ---------------------------------------------------------------------------------------

TEST(StrandBuildShape, BlendKeepsTheBarycentricSegmentLength) {
  // Guides of a triangle's three corners point along x, y and z; the root in the middle
  // gets their mean direction with the full length, not the shortened vector sum.
  const int segments = 10;
  const float length = 10.f;
  Grid g = MakeGrid(1, 1, segments, [&](const V3& x, int k, int v) {
    const V3 dir = v == 0 ? V3(1, 0, 0) : (v == 1 ? V3(0, 1, 0) : V3(0, 0, 1));
    return x + dir * (length * float(k) / segments);
  });
  // Triangle 0 is (0, 1, 3): guides along x, y and z.
  g.roots.push_back(RootAt(g.guides, 0, 1.f / 3, 1.f / 3, 7));
  const StrandSet out = Build(g, Plain());
  const V3* p = Strand(out, 0);
  const V3 tip = p[10] - p[0];
  EXPECT_NEAR(Length(tip), length, 1e-4f);
  EXPECT_NEAR(tip.x, tip.y, 1e-5f);
  EXPECT_NEAR(tip.y, tip.z, 1e-5f);
}

TEST(StrandBuildShape, ResamplesGuidesWithAnotherPointCount) {
  // Guides of 6 points (5 segments) expanded to 11 strand points: collinear guides stay on
  // their line, evenly spaced, and the length factor scales the blend.
  Grid g = StraightGrid(3, 3, 5, 8.f);
  Scatter(g, 10);
  GenSettings s = Plain();
  s.segments = 10;
  s.lengthVar = 0.5f;
  const StrandSet out = Build(g, s);
  ASSERT_EQ(out.pointsPerStrand, 11);
  for (std::size_t k = 0; k < 10; ++k) {
    const V3* p = Strand(out, k);
    const float fL = 1.f - StrandRand(g.roots[k].id, 0x0428F9FB) * 0.5f;
    for (int i = 0; i < 11; ++i) {
      EXPECT_NEAR(p[i].x, p[0].x, 1e-5f);
      EXPECT_NEAR(p[i].y, p[0].y, 1e-5f);
      EXPECT_NEAR(p[i].z, 8.f * fL * i / 10.f, 1e-4f) << "strand " << k << " point " << i;
    }
  }
}

TEST(StrandBuildShape, ResamplingPassesThroughGuidePointsAndMirrorsTheEnds) {
  // A guide bent in a quarter circle, 4 points, resampled to 7: even points are the guide
  // points, odd points the Catmull-Rom midpoint (-q0 + 9 q1 + 9 q2 - q3) / 16, with the
  // missing neighbours beyond the ends mirrored (2 b0 - b1, 2 b3 - b2).
  const float r = 5.f;
  auto arc = [&](int k) {
    const float a = 1.5707963f * float(k) / 3.f;
    return V3(r - r * std::cos(a), 0, r * std::sin(a));
  };
  Grid g = MakeGrid(1, 1, 3, [&](const V3& x, int k, int) { return x + arc(k); });
  g.roots.push_back(RootAt(g.guides, 0, 0.2f, 0.3f, 11));
  GenSettings s = Plain();
  s.segments = 6;
  const StrandSet out = Build(g, s);
  ASSERT_EQ(out.pointsPerStrand, 7);
  const V3* p = Strand(out, 0);
  const V3 b[6] = {arc(0) * 2.f - arc(1), arc(0), arc(1), arc(2), arc(3), arc(3) * 2.f - arc(2)};
  for (int i = 0; i < 7; ++i) {
    const int j = i / 2;  // span start among the guide points
    const V3 expected = i % 2 == 0 ? b[j + 1] : (b[j + 2] * 9.f + b[j + 1] * 9.f - b[j] - b[j + 3]) / 16.f;
    EXPECT_NEAR(Length(p[i] - p[0] - expected), 0.f, 1e-4f) << i;
  }
}

TEST(StrandBuildShape, LengthFactorsFromEyes) {
  Grid g = StraightGrid(4, 4);
  g.roots.push_back(RootAt(g.guides, 0, 0.f, 0.f, 1));  // at (0, 0, 0)
  GenSettings s = Plain();
  struct Case {
    float distance, factor;
  };
  // inside the eye 0.35; from r to 1.7 r smoothly back; from 1.8 r untouched
  const Case cases[] = {{0.f, 0.35f}, {1.f, 0.35f}, {1.35f, 0.35f + 0.65f * 0.5f}, {1.7f, 1.f}, {1.9f, 1.f}};
  for (const Case& c : cases) {
    const std::vector<V3> centres = {V3(c.distance, 0, 0)};
    const std::vector<float> radii = {1.f};
    BuildInputs in;
    in.eyeCentres = centres;
    in.eyeRadii = radii;
    const StrandSet out = Build(g, s, 1.0, in);
    EXPECT_NEAR(Strand(out, 0)[10].z, 10.f * c.factor, 1e-4f) << c.distance;
  }
  // A radius list shorter than the centre list is read only where both exist.
  const std::vector<V3> centres = {V3(0, 0, 0), V3(0, 0, 0)};
  const std::vector<float> radii = {1.f};
  BuildInputs in;
  in.eyeCentres = centres;
  in.eyeRadii = radii;
  EXPECT_NEAR(Strand(Build(g, s, 1.0, in), 0)[10].z, 3.5f, 1e-4f);
}

TEST(StrandBuildShape, SplineStylingFollowsTheSplineShape) {
  Grid g = StraightGrid(4, 4);
  Scatter(g, 30);
  GenSettings s = Plain();
  SplineSet splines;
  splines.pointCount = 11;
  // One spline far away, its shape a ramp along +x rising slowly.
  for (int i = 0; i < 11; ++i) splines.points.push_back(V3(50.f + 0.8f * i, 50.f, 0.3f * i));
  const StrandSet straight = Build(g, s);
  struct Case {
    float influence;
    int pointCount;
    float follow;  // 1: the spline shape, 0: the guide shape
  };
  const Case cases[] = {{1.f, 11, 1.f}, {0.5f, 11, 0.5f}, {0.f, 11, 0.f}, {1.f, 12, 0.f}};
  for (const Case& c : cases) {
    s.splineInfluence = c.influence;
    SplineSet set = splines;
    if (c.pointCount != 11) {
      set.pointCount = c.pointCount;
      set.points.push_back(V3(0, 0, 0));  // 12 points: divides, but not the strand's count
    }
    BuildInputs in;
    in.splines = &set;
    const StrandSet out = Build(g, s, 1.0, in);
    for (std::size_t k = 0; k < 30; ++k) {
      const V3* p = Strand(out, k);
      const V3* q = Strand(straight, k);
      for (int i = 1; i < 11; ++i) {
        const V3 target = p[0] + V3(0.8f * i, 0, 0.3f * i);
        const V3 expected = q[i] + (target - q[i]) * c.follow;
        EXPECT_NEAR(Length(p[i] - expected), 0.f, 1e-4f) << "influence " << c.influence << " point " << i;
      }
    }
  }
}

TEST(StrandBuildShape, KinkFrizzAndWidthFollowTheirPerStrandDraws) {
  // Straight guides of the full length: each point moves by the kink and frizz noises at
  // the strand's own phases, and the width varies by the strand's own factor.
  Grid g = StraightGrid(4, 4);
  Scatter(g, 20);
  GenSettings s = Plain();
  s.kinkAmount = 0.5f;
  s.kinkFreq = 2;
  s.frizzRoot = 0.05f;
  s.frizzTip = 0.2f;
  s.frizzFreq = 6;
  s.widthRandom = 0.2f;
  s.widthProfile = 2;
  const StrandSet out = Build(g, s);
  const int P = out.pointsPerStrand;
  ASSERT_EQ(P, 37);
  for (std::size_t k = 0; k < 20; ++k) {
    const std::uint32_t id = g.roots[k].id;
    const float B = StrandRand(id, 0x14FD6AD2) * 89.f, H = StrandRand(id, 0x42023635) * 97.f;
    const V3* p = Strand(out, k);
    for (int i = 1; i < P; ++i) {
      const float t = float(i) / float(P - 1);
      const float xk = t * 2.f + H, xf = t * 6.f + B;
      const V3 kink = V3(FurNoise3(xk, B, 0.5f), FurNoise3(xk + 31.7f, B + 7.3f, 13.6f),
                         FurNoise3(xk - 11.9f, B + 47.2f, 4.2f)) * (0.5f * t);
      const V3 frizz = V3(FurNoise3(xf, H, 9.5f), FurNoise3(xf + 31.7f, H + 7.3f, 22.6f),
                          FurNoise3(xf - 11.9f, H + 47.2f, 13.2f)) * (0.05f + 0.15f * t);
      const V3 expected = p[0] + V3(0, 0, 10.f * t) + kink + frizz;
      EXPECT_NEAR(Length(p[i] - expected), 0.f, 1e-4f) << "strand " << k << " point " << i;
    }
    const float fw = (StrandRand(id, 0x1B86D946) - 0.5f) * 0.2f * 2.f + 1.f;
    EXPECT_NEAR(out.widths[k * P], fw * s.rootWidth, 1e-7f);
  }
}

TEST(StrandBuildShape, CurlWindsRoundTheStrandAtTheCurlRadius) {
  Grid g = StraightGrid(4, 4);
  Scatter(g, 20);
  GenSettings s = Plain();
  s.curlRadius = 0.5f;
  s.curlTurns = 3;
  s.curlRandom = 0;
  const StrandSet out = Build(g, s);
  ASSERT_EQ(out.pointsPerStrand, 31);
  for (std::size_t k = 0; k < 20; ++k) {
    const V3* p = Strand(out, k);
    float far = 0;
    for (int i = 0; i < 31; ++i) {
      // Straight guides curl in the plane across them; heights stay those of the guide.
      EXPECT_NEAR(p[i].z, 10.f * i / 30.f, 1e-4f);
      far = std::max(far, std::hypot(p[i].x - p[0].x, p[i].y - p[0].y));
    }
    EXPECT_GT(far, 0.45f);
    // Past the fade-in the points lie on a circle of the curl radius: the circumradius
    // of three of them in the plane.
    auto xy = [&](int i) { return V3(p[i].x, p[i].y, 0); };
    const V3 A = xy(7), B = xy(15), C = xy(24);
    const float ab = Length(A - B), bc = Length(B - C), ca = Length(C - A);
    const float area2 = Length(Cross(B - A, C - A));
    EXPECT_NEAR(ab * bc * ca / (2.f * area2), 0.5f, 2e-3f) << "strand " << k;
  }
}

// ---------------------------------------------------------------------------------------

TEST(StrandBuildClumps, CentresKeepTheirShapeAndOthersConverge) {
  Grid g = StraightGrid(10, 10);
  Scatter(g, 2000);
  GenSettings s = Plain();
  s.clumpAmount = 1;
  s.clumpRandom = 0;
  s.clumpCount = 25;
  s.clumpTip = 1.5f;
  const StrandSet clumped = Build(g, s);
  s.clumpAmount = 0;
  const StrandSet free = Build(g, s);
  const int P = clumped.pointsPerStrand;
  for (std::size_t k = 0; k < 25; ++k) {
    EXPECT_EQ(clumped.clumpIndex[k], int(k));
    EXPECT_TRUE(std::equal(Strand(clumped, k), Strand(clumped, k) + P, Strand(free, k)));
  }
  for (std::size_t k = 25; k < 2000; ++k) {
    const int c = clumped.clumpIndex[k];
    ASSERT_GE(c, 0);
    ASSERT_LT(c, 25);
    const V3* p = Strand(clumped, k);
    const V3* q = Strand(clumped, std::size_t(c));
    EXPECT_NEAR(Length(p[P - 1] - q[P - 1]), 0.f, 1e-4f) << "tips meet the centre's tip";
    // Halfway up the pull is 0.5^1.5 of the way.
    const V3 expected = Strand(free, k)[5] + (q[5] - Strand(free, k)[5]) * std::pow(0.5f, 1.5f);
    EXPECT_NEAR(Length(p[5] - expected), 0.f, 1e-4f);
    EXPECT_EQ(p[0], g.roots[k].pos);
  }
}

TEST(StrandBuildClumps, SubClumpsCopyTheCentreShapeFromTheOwnRoot) {
  // Guides lean differently per vertex; a full sub-clump strand takes its centre's shape,
  // shifted to its own root.
  Grid g = MakeGrid(6, 6, 10, [](const V3& x, int k, int v) {
    return x + V3(0.3f * float(v % 5) * k, 0, 1.0f * k);
  });
  Scatter(g, 500);
  GenSettings s = Plain();
  s.clump2Amount = 1;
  s.clump2Tip = 1;
  s.clumpRandom = 0;
  s.clump2Count = 10;
  const StrandSet out = Build(g, s);
  s.clump2Amount = 0;
  const StrandSet free = Build(g, s);
  int moved = 0;
  for (std::size_t k = 10; k < 500; ++k) {
    const V3* p = Strand(out, k);
    // the tip (t = 1) is fully the centre's shape; find which centre it copied
    bool matched = false;
    for (std::size_t c = 0; c < 10 && !matched; ++c) {
      const V3* q = Strand(free, c);
      matched = Length((p[10] - p[0]) - (q[10] - q[0])) < 1e-4f;
    }
    EXPECT_TRUE(matched) << k;
    EXPECT_EQ(out.clumpIndex[k], -1) << "sub-clumps do not set the clump index";
    moved += Length(p[10] - Strand(free, k)[10]) > 1e-3f;
  }
  EXPECT_GT(moved, 100);
}

TEST(StrandBuildClumps, StraysStayUnclumpedWithFrizzGrowingToTheTip) {
  Grid g = StraightGrid(8, 8);
  Scatter(g, 400);
  GenSettings s = Plain();
  s.strayFraction = 1;
  s.strayAmount = 1;
  s.clumpAmount = 1;
  s.clumpCount = 20;
  s.clump2Amount = 1;
  const StrandSet strays = Build(g, s);
  GenSettings noStrays = s;
  noStrays.strayFraction = 0;
  noStrays.clumpAmount = 0;
  noStrays.clump2Amount = 0;
  const StrandSet plain = Build(g, noStrays);
  float tipOffset = 0;
  for (std::size_t k = 0; k < 400; ++k) {
    EXPECT_EQ(strays.clumpIndex[k], -1);
    const V3* p = Strand(strays, k);
    const V3* q = Strand(plain, k);
    for (int i = 0; i < 11; ++i) {
      // extra frizz of amplitude t * strayAmount per axis (the length ratio is 1 here)
      const float bound = (i / 10.f) * std::sqrt(3.f) + 1e-5f;
      EXPECT_LE(Length(p[i] - q[i]), bound);
    }
    tipOffset = std::max(tipOffset, Length(p[10] - q[10]));
  }
  EXPECT_GT(tipOffset, 0.3f);

  // Wet hair does not stray: with wetness 1 everywhere the same settings clump again.
  VertexInputs v;
  v.wetness.assign(g.guides.VertexCount(), 1.f);
  const StrandSet wet = Build(g, s, 1.0, v.Inputs());
  for (std::size_t k = 0; k < 400; ++k) EXPECT_GE(wet.clumpIndex[k], 0);
}

TEST(StrandBuildClumps, NearestCentreByGridLookup) {
  ClumpTable t;
  // Centres: two at the same distance from the origin (insertion order decides), one far.
  const V3 centres[] = {V3(1, 0, 0), V3(-1, 0, 0), V3(0.2f, 0.1f, 0), V3(40, 40, 0), V3(0.2f, 0.1f, 0)};
  PrepareClumpTable(t, 5, 2);
  for (int k = 0; k < 5; ++k) t.Shape(k)[0] = t.Shape(k)[1] = centres[k];
  BuildClumpGrid(t, 5.0);  // cell = 2 sqrt(A / K) = 2
  EXPECT_DOUBLE_EQ(t.cell, 2.0);
  struct Case {
    V3 p;
    int nearest;
  };
  const Case cases[] = {
      {V3(0.2f, 0.1f, 0), 2},   // exact duplicates: the first inserted wins
      {V3(0.9f, 0, 0), 0},      {V3(-0.9f, 0.05f, 0), 1},
      {V3(39, 39.5f, 0.5f), 3}, {V3(20, 20, 0), -1},  // nothing within the 27 cells
      {V3(-3.5f, 0, 0), 1},     // two cells away on x: still a neighbour cell of -2..0
  };
  for (const Case& c : cases) EXPECT_EQ(t.Nearest(c.p), c.nearest) << c.p.x << "," << c.p.y;

  // Equally near centres in different cells: cells are visited x outermost from -1, so
  // the centre at negative x is met first and kept.
  ClumpTable pair;
  PrepareClumpTable(pair, 2, 1);
  pair.Shape(0)[0] = V3(1, 0, 0);
  pair.Shape(1)[0] = V3(-1, 0, 0);
  BuildClumpGrid(pair, 2.0);
  EXPECT_EQ(pair.Nearest(V3(0, 0.5f, 0)), 1);

  // Count rules: zero amount, root limit, brush limit.
  EXPECT_EQ(ClumpCentreCount(1000, 300, 0.f, false, 1000), 0);
  EXPECT_EQ(ClumpCentreCount(100, 300, 0.5f, false, 100), 100);
  EXPECT_EQ(ClumpCentreCount(100000, 3000, 0.5f, true, 8000), 1000);
  EXPECT_EQ(ClumpCentreCount(100000, 3000, 0.5f, true, 100), 64);
  EXPECT_EQ(ClumpCellSize(0.0, 10), 1e-6);
  EXPECT_EQ(ClumpCellCoord(std::nan(""), 1.0), 0);
  EXPECT_GT(ClumpCellCoord(1e300, 1e-6), 0);
}

// The clump search as first written: a hash map from cell key to centres, the 27 cells
// around the query visited x outermost, each bucket in insertion order, a later centre
// winning only when strictly nearer. The table's faster search must answer the same.
struct ReferenceClumpGrid {
  const ClumpTable& t;
  std::unordered_map<std::uint64_t, std::vector<int>> grid;
  explicit ReferenceClumpGrid(const ClumpTable& table) : t(table) {
    for (int k = 0; k < t.count; ++k) grid[Key(t.Shape(k)[0], 0, 0, 0)].push_back(k);
  }
  std::uint64_t Key(const V3& p, int di, int dj, int dk) const {
    return CellKey64(ClumpCellCoord(p.x, t.cell) + di, ClumpCellCoord(p.y, t.cell) + dj,
                     ClumpCellCoord(p.z, t.cell) + dk);
  }
  int Nearest(const V3& p) const {
    int best = -1;
    float bestD = std::numeric_limits<float>::infinity();
    for (int di = -1; di <= 1; ++di)
      for (int dj = -1; dj <= 1; ++dj)
        for (int dk = -1; dk <= 1; ++dk) {
          const auto it = grid.find(Key(p, di, dj, dk));
          if (it == grid.end()) continue;
          for (const int c : it->second) {
            const float d = LengthSq(t.Shape(c)[0] - p);
            if (best < 0 || d < bestD) best = c, bestD = d;
          }
        }
    return best;
  }
};

TEST(StrandBuildClumps, FastSearchAnswersAsTheHashedGrid) {
  const float inf = std::numeric_limits<float>::infinity(), nan = std::nanf("");
  struct Case {
    const char* what;
    std::function<V3(int)> centre;  // centre k
    int centres;
    double area;
    float queryScale;  // queries spread over [-queryScale, queryScale]^3 (and a lattice)
    bool lists;        // nearest lists can be made
  };
  // Centred on the origin, the cell keys of (i, -1, k) and (i, 1, -k) collide for odd k:
  // those buckets hold centres of two far-apart cells.
  const Case cases[] = {
      {"sphere of radius 50, 300 centres",
       [](int k) {
         const float a = Unit24(Mix32(std::uint32_t(k) * 7u + 1u)) * 6.2831853f;
         const float z = Unit24(Mix32(std::uint32_t(k) * 7u + 2u)) * 2.f - 1.f, r = std::sqrt(1.f - z * z);
         return V3(r * std::cos(a), r * std::sin(a), z) * 50.f;
       },
       300, 31416.0, 60.f, true},
      {"lattice with many equal distances",
       [](int k) { return V3(float(k % 7) - 3.f, float(k / 7 % 7) - 3.f, float(k / 49) - 1.f) * 0.5f; },
       147, 147.0 / 4.0 * 0.25, 2.5f, true},
      {"duplicates of one point", [](int) { return V3(1, 2, 3); }, 5, 5.0, 3.f, true},
      // Cells of 1 over a 30-unit cube: the nearest lists take coarser cells than half a
      // cell, so a list's nearest centre can lie beyond the 27 grid cells.
      {"sparse centres in a volume",
       [](int k) {
         return V3(Unit24(Mix32(std::uint32_t(k) * 5u + 1u)), Unit24(Mix32(std::uint32_t(k) * 5u + 2u)),
                   Unit24(Mix32(std::uint32_t(k) * 5u + 3u))) * 30.f;
       },
       64, 16.0, 30.f, true},
      {"a non-finite centre", [&](int k) { return k == 3 ? V3(nan, 0, 0) : V3(float(k), 0.5f, 0); }, 8, 2.0, 6.f,
       false},
      {"centres too far apart for a dense grid",
       [](int k) { return V3(float(k) * 1e6f, -float(k) * 3e5f, 1.f); }, 4, 4.0, 2e6f, false},
  };
  for (const Case& c : cases)
    for (const std::size_t queries : {std::size_t(0), std::size_t(1) << 30}) {
      // Without searches to serve, no nearest lists; with many, lists where they settle.
      ClumpTable t;
      PrepareClumpTable(t, c.centres, 1);
      for (int k = 0; k < c.centres; ++k) t.Shape(k)[0] = c.centre(k);
      BuildClumpGrid(t, c.area, queries);
      EXPECT_EQ(t.fineCells > 0, queries > 0 && c.lists) << c.what;
      const ReferenceClumpGrid ref(t);
      std::vector<V3> queries = {V3(nan, 0, 0), V3(inf, 0, 0), V3(0, -inf, 1), V3(1e30f, 1e30f, 0)};
      for (int k = 0; k < c.centres; ++k) queries.push_back(t.Shape(k)[0]);
      for (std::uint32_t q = 0; q < 4000; ++q) {
        const float u[3] = {Unit24(Mix32(q * 3u)), Unit24(Mix32(q * 3u + 1u)), Unit24(Mix32(q * 3u + 2u))};
        const V3 spread(u[0] * 2.f - 1.f, u[1] * 2.f - 1.f, u[2] * 2.f - 1.f);
        queries.push_back(spread * c.queryScale);
        // Within two cells of a centre, where searches find centres in most cases.
        if (std::isfinite(t.Shape(int(q) % c.centres)[0].x))
          queries.push_back(t.Shape(int(q) % c.centres)[0] + spread * float(2 * t.cell));
        // Half-steps of the lattice hit equal distances and cell borders.
        queries.push_back(V3(std::floor(u[0] * 16.f) - 8.f, std::floor(u[1] * 16.f) - 8.f, std::floor(u[2] * 6.f) - 3.f) *
                          0.25f);
      }
      int found = 0;
      for (const V3& p : queries) {
        const int expected = ref.Nearest(p);
        found += expected >= 0;
        ASSERT_EQ(t.Nearest(p), expected) << c.what << " at " << p.x << "," << p.y << "," << p.z;
      }
      EXPECT_GT(found, 0) << c.what;
    }

  // A centre in cell (0, 1, -1) is found from cell (0, 0, 2), three cells away in z,
  // through the colliding key of its neighbour cell (0, -1, 1).
  ClumpTable one;
  PrepareClumpTable(one, 1, 1);
  one.Shape(0)[0] = V3(0.5f, 1.5f, -0.5f);
  BuildClumpGrid(one, 0.25);  // cell 1
  ASSERT_EQ(CellKey64(0, -1, 1), CellKey64(0, 1, -1));
  EXPECT_EQ(one.Nearest(V3(0.5f, 0.5f, 2.5f)), 0);
  EXPECT_EQ(ReferenceClumpGrid(one).Nearest(V3(0.5f, 0.5f, 2.5f)), 0);
}

// ---------------------------------------------------------------------------------------

TEST(StrandBuildStack, RootPointsRestOnTheStack) {
  // Guides lying flat along +x: without the stack the strands lie in the surface.
  Grid g = MakeGrid(6, 6, 10, [](const V3& x, int k, int) { return x + V3(float(k), 0, 0); });
  Scatter(g, 200);
  GenSettings s = Plain();
  s.stackOn = true;
  s.stackThickness = 0.3f;
  s.rootWidth = 0.04f;
  const StrandSet out = Build(g, s);
  for (std::size_t k = 0; k < 200; ++k) {
    const V3* p = Strand(out, k);
    const float hs = StrandRand(g.roots[k].id, 0xA9EB2E6F) * 0.3f;
    // t = 0.1: fully on the floor min(4t, 1) hs + W0 / 2
    EXPECT_NEAR(p[1].z, 0.4f * hs + 0.02f, 1e-5f);
    // t = 0.2, 0.3: partly lifted, still above the surface
    EXPECT_GT(p[2].z, 0.f);
    EXPECT_GT(p[3].z, 0.f);
    // from t = 0.35 on untouched
    for (int i = 4; i < 11; ++i) EXPECT_EQ(p[i].z, 0.f);
  }
  s.stackOn = false;
  const StrandSet flat = Build(g, s);
  for (std::size_t k = 0; k < 200; ++k) EXPECT_EQ(Strand(flat, k)[1].z, 0.f);
}

// ---------------------------------------------------------------------------------------

TEST(StrandBuildBurn, BurnShortensAndHidesStrands) {
  Grid g = StraightGrid(10, 10);
  Scatter(g, 4000);
  GenSettings s = Plain();
  struct Case {
    float burn;
    double hiddenMin, hiddenMax;
  };
  const Case cases[] = {{0.f, 0, 0}, {0.5f, 0, 0}, {0.8f, 0.17, 0.23}, {0.95f, 1, 1}};
  for (const Case& c : cases) {
    VertexInputs v;
    v.burn.assign(g.guides.VertexCount(), c.burn);
    const StrandSet out = Build(g, s, 1.0, v.Inputs());
    int hidden = 0;
    for (std::size_t k = 0; k < 4000; ++k) {
      const float* w = out.widths.data() + k * 11;
      const bool allZero = std::all_of(w, w + 11, [](float x) { return x == 0.f; });
      const bool noneZero = std::none_of(w, w + 11, [](float x) { return x == 0.f; });
      EXPECT_TRUE(allZero || noneZero);
      hidden += allZero;
      // shrunk to max(1 - d, 0.06) of the length, plus a little drift
      const V3* p = Strand(out, k);
      EXPECT_NEAR(p[10].z - p[0].z, 10.f * std::max(1.f - c.burn, 0.06f), 10.f * 0.12f * c.burn + 1e-4f);
    }
    EXPECT_GE(hidden / 4000.0, c.hiddenMin) << c.burn;
    EXPECT_LE(hidden / 4000.0, c.hiddenMax) << c.burn;
  }
  // A burn array of the wrong length is ignored.
  VertexInputs v;
  v.burn.assign(5, 1.f);
  const StrandSet out = Build(g, s, 1.0, v.Inputs());
  EXPECT_GT(out.widths[0], 0.f);
  EXPECT_NEAR(Strand(out, 0)[10].z, 10.f, 1e-4f);
}

// ---------------------------------------------------------------------------------------

TEST(StrandBuildNoise, NoiseLinesMatchFurNoise3Bitwise) {
  // Random lines sampled at rising x, as strands do (cells repeat and change, also across
  // zero), at scattered x, around -0, near 2^23 and beyond, and at NaN.
  for (std::uint32_t k = 0; k < 2000; ++k) {
    const float y = (Unit24(Mix32(k * 3 + 1)) - 0.5f) * 300.f, z = (Unit24(Mix32(k * 3 + 2)) - 0.5f) * 60.f;
    const float start = (Unit24(Mix32(k * 3 + 3)) - 0.5f) * 20.f;
    FurNoiseLines3 lines(y, z, y + 7.3f, z * 0.5f, -y, 4.2f);
    for (int i = 0; i < 48; ++i) {
      const float special[] = {-0.f, 0.f, -31.7f, 11.9f, 8388607.5f, -8388608.f, 1e9f, -3e12f, std::nanf("")};
      const float x = i < 9 ? special[i] : i % 10 == 9 ? (Unit24(Mix32(k * 7 + i)) - 0.5f) * 1000.f : start + 0.17f * i;
      const V3 a = lines(x);
      const V3 b(FurNoise3(x, y, z), FurNoise3(x + 31.7f, y + 7.3f, z * 0.5f), FurNoise3(x - 11.9f, -y, 4.2f));
      ASSERT_EQ(std::memcmp(&a, &b, sizeof a), 0) << x << " " << y << " " << z;
    }
  }
}
