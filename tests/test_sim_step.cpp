// The simulation step of one guide (the CPU twin of hsim::kStep) and the maths it is built
// from: value noise, the wind acceleration and the collision with the collider grid.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <span>
#include <vector>

#include "dynamics/colliders.h"
#include "kernels/sim_step.h"
#include "kernels/sim_step_kernel.h"

using hsim::F3;

namespace {

// A straight guide of P points along +Z from the origin, 1 unit per segment.
std::vector<F3> Straight(int P, F3 dir = F3(0, 0, 1)) {
  std::vector<F3> g;
  for (int k = 0; k < P; ++k) g.push_back(dir * float(k));
  return g;
}

hsim::Params StillParams() {
  hsim::Params p;
  p.frameTime = 1.f / 30.f;
  p.substeps = 4;
  p.iterations = 8;
  p.dt = p.frameTime / 4;
  p.bendStiffness = 0.6f;
  p.shapePull = 0.01f;
  p.damping = 0.025f;
  p.offset = 0.2f;
  p.friction = 0.3f;
  return p;
}

// Steps one guide one frame from targets A to B.
struct OneGuide {
  int P;
  std::vector<F3> x, v, A, B, E;
  std::vector<float> L;
  hsim::Params params = StillParams();
  std::vector<hsim::Wind> winds;
  crn::ColliderGrid grid;

  explicit OneGuide(const std::vector<F3>& targets)
      : P(int(targets.size())), x(targets), v(targets.size()), A(targets), B(targets) {
    crn::RestLengths(B, P, L);
  }
  void Step() {
    hsim::StepArgs a;
    a.N = 1;
    a.P = P;
    a.x = x.data();
    a.v = v.data();
    a.A = A.data();
    a.B = B.data();
    a.L = L.data();
    a.E = E.empty() ? nullptr : E.data();
    a.winds = winds.data();
    a.params = params;
    a.params.windCount = int(winds.size());
    a.grid = grid.grid;
    hsim::StepRange(0, 1, a);
  }
};

hsim::Wind Directional(F3 dir, float strength) {
  hsim::Wind w;
  w.type = 0;
  w.dir = dir;
  w.strength = strength;
  w.coupling = 4;
  w.turbulence = 0;
  w.gustAmp = 0;
  w.flutter = 0;
  return w;
}

}  // namespace

TEST(SimStep, RestStaysAtRest) {
  OneGuide g(Straight(11, crn::UnitOr(F3(1, 0.5f, 2), F3(0, 0, 1))));
  for (int frame = 0; frame < 10; ++frame) g.Step();
  for (int k = 0; k < g.P; ++k) {
    EXPECT_NEAR(crn::Length(g.x[k] - g.A[k]), 0.f, 1e-5f) << k;
    EXPECT_NEAR(crn::Length(g.v[k]), 0.f, 1e-4f) << k;
  }
}

TEST(SimStep, RootsFollowTheTargetsAndSegmentsKeepTheirLength) {
  OneGuide g(Straight(6));
  g.params.gravity = F3(0, 0, -981.f);
  for (F3& b : g.B) b += F3(0.3f, 0, 0);  // the surface moved
  g.Step();
  EXPECT_EQ(g.x[0], g.B[0]);
  EXPECT_EQ(g.x[1], g.B[1]);
  EXPECT_EQ(g.v[0], F3(0, 0, 0));
  for (int k = 2; k < g.P; ++k) EXPECT_NEAR(crn::Length(g.x[k] - g.x[k - 1]), g.L[k], 1e-5f) << k;
  // Gravity bent the free part down.
  EXPECT_LT(g.x[5].z, g.B[5].z - 0.01f);
}

TEST(SimStep, BlowUpGuardResetsTheWholeGuide) {
  struct Case {
    const char* name;
    int point;
    F3 velocity;
    float restLength;
  };
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const std::vector<Case> cases = {
      {"NaN in a velocity's x", 3, F3(nan, 0, 0), 1.f},
      // Segments of 4 reach beyond 1.5 times the target length (5) plus 0.001.
      {"a point beyond the length limit", 5, F3(0, 0, 0), 4.f},
  };
  for (const Case& c : cases) {
    OneGuide g(Straight(6));
    g.params.shapePull = 0;
    g.params.bendStiffness = 0;
    g.L.assign(g.L.size(), c.restLength);
    g.v[c.point] = c.velocity;
    g.Step();
    for (int k = 0; k < g.P; ++k) {
      EXPECT_EQ(g.x[k], g.B[k]) << c.name << " point " << k;
      EXPECT_EQ(g.v[k], F3(0, 0, 0)) << c.name << " point " << k;
    }
  }
}

TEST(SimStep, CollisionBandPushesOutOnlyWithinItsDepth) {
  // One triangle in the plane z = 0 (normal +Z), listed in a column of three unit cells from
  // z = -2 to 1; offset 0.2, so the band is [-4 offset - cell, offset) = [-1.8, 0.2).
  const std::vector<F3> verts = {F3(-50, -50, 0), F3(50, -50, 0), F3(0, 60, 0)};
  const std::vector<F3> normals = {F3(0, 0, 1)};
  const std::vector<std::int32_t> start = {0, 1, 2, 3}, items = {0, 0, 0};
  hsim::Grid grid;
  grid.origin = F3(0, 0, -2);
  grid.cell = 1;
  grid.nx = grid.ny = 1;
  grid.nz = 3;
  grid.cellStart = start.data();
  grid.cellItems = items.data();
  grid.triVerts = verts.data();
  grid.triNormals = normals.data();
  struct Case {
    const char* name;
    float z;
    bool contact;
  };
  const std::vector<Case> cases = {
      {"above the offset", 0.25f, false},
      {"inside the offset", 0.1f, true},
      {"just under the surface", -0.3f, true},
      {"just inside the band", -1.79f, true},
      {"just below the band", -1.81f, false},
  };
  for (const Case& c : cases) {
    F3 p(0.5f, 0.5f, c.z);
    const F3 n = hsim::GridCollide(grid, p, 0.2f);
    if (c.contact) {
      EXPECT_EQ(n, F3(0, 0, 1)) << c.name;
      EXPECT_NEAR(p.z, 0.2f, 1e-5f) << c.name;
    } else {
      EXPECT_EQ(n, F3(0, 0, 0)) << c.name;
      EXPECT_EQ(p.z, c.z) << c.name;
    }
  }
  // Outside the grid there is no contact, however close the triangle.
  F3 outside(1.5f, 0.5f, -0.1f);
  EXPECT_EQ(hsim::GridCollide(grid, outside, 0.2f), F3(0, 0, 0));
}

TEST(SimStep, ColliderGridListsTrianglesInOrderAndCoarsensHugeGrids) {
  // Many tiny triangles spread over a huge box: the grid coarsens to at most 8,000,000 cells.
  std::vector<F3> soup;
  for (int i = 0; i < 200; ++i) {
    const F3 at(float(i % 10) * 1000.f, float(i / 10 % 10) * 1000.f, float(i / 100) * 1000.f);
    soup.insert(soup.end(), {at, at + F3(0.01f, 0, 0), at + F3(0, 0.01f, 0)});
  }
  crn::ColliderGrid grid;
  crn::BuildColliderGrid(grid, soup, 0.001f);
  const std::int64_t cells = std::int64_t(grid.grid.nx) * grid.grid.ny * grid.grid.nz;
  EXPECT_LE(cells, 8000000);
  EXPECT_EQ(grid.cellStart.size(), std::size_t(cells + 1));
  for (std::int64_t c = 0; c < cells; ++c)
    for (std::int32_t i = grid.cellStart[c] + 1; i < grid.cellStart[c + 1]; ++i)
      EXPECT_LT(grid.cellItems[i - 1], grid.cellItems[i]);
  // Every triangle is found from a point just above it.
  for (std::size_t t = 0; t < 200; t += 37) {
    F3 p = soup[3 * t] + F3(0.002f, 0.002f, 0.0005f);
    EXPECT_NE(hsim::GridCollide(grid.grid, p, 0.001f), F3(0, 0, 0)) << t;
  }
  // The next frame's build keeps the grid only for the very same triangles and offset: a
  // moved triangle is found where it went.
  const F3 above = soup[0] + F3(0.002f, 0.002f, 0.0005f);
  for (F3& v : std::span(soup).first(3)) v += F3(500, 500, 0);
  crn::BuildColliderGrid(grid, soup, 0.001f);
  F3 p = above, q = above + F3(500, 500, 0);
  EXPECT_EQ(hsim::GridCollide(grid.grid, p, 0.001f), F3(0, 0, 0));
  EXPECT_NE(hsim::GridCollide(grid.grid, q, 0.001f), F3(0, 0, 0));
  crn::BuildColliderGrid(grid, soup, 0.01f);
  EXPECT_EQ(grid.offset, 0.01f);
  // Built in the memory of a bigger grid (and on the worker pool), the search's items and
  // cell gaps are those of a grid built afresh.
  soup.resize(soup.size() - 3 * 50);
  crn::BuildColliderGrid(grid, soup, 0.01f);
  crn::ColliderGrid fresh;
  crn::BuildColliderGrid(fresh, soup, 0.01f);
  EXPECT_EQ(grid.items.stride, fresh.items.stride);
  EXPECT_TRUE(std::ranges::equal(grid.items.coords, fresh.items.coords, [](float a, float b) {
    return a == b || (a != a && b != b);
  }));
  EXPECT_EQ(grid.items.cellGap, fresh.items.cellGap);
  EXPECT_FALSE(grid.items.cellGap.empty());
}

TEST(SimWind, DirectionByType) {
  hsim::Wind w = Directional(F3(1, 0, 0), 10.f);
  w.pos = F3(0, 0, 0);
  struct Case {
    const char* name;
    int type;
    F3 p;
    F3 direction;
  };
  const std::vector<Case> cases = {
      {"directional blows along dir", 0, F3(3, 4, 5), F3(1, 0, 0)},
      {"spherical blows away from its position", 1, F3(0, 2, 0), F3(0, 1, 0)},
      {"spherical at its own position pushes along +Z", 1, F3(0, 0, 0), F3(0, 0, 1)},
      // Vortex about +X: at +Y the tangent is dir x r = +Z, pulled inwards by 0.3.
      {"vortex circles the axis", 2, F3(5, 2, 0), F3(0, -0.3f, 1)},
  };
  for (const Case& c : cases) {
    w.type = c.type;
    w.vortexPull = 0.3f;
    const F3 a = hsim::WindAccel(w, c.p, F3(0, 0, 0), 1.f, 0.5f, 1.f);
    // At rest the acceleration is strength along the direction.
    const F3 expected = c.direction * 10.f;
    EXPECT_NEAR(crn::Length(a - expected), 0.f, 1e-4f) << c.name;
  }
}

TEST(SimWind, GustsOffGiveFactorOneAndUntravelledGustsHitEverywhereAtOnce) {
  hsim::Wind w = Directional(F3(0, 1, 0), 5.f);
  const F3 still = hsim::WindAccel(w, F3(1, 2, 3), F3(0, 0, 0), 0.37f, 1.f, 1.f);
  EXPECT_EQ(still, F3(0, 5, 0));
  w.gustAmp = 0.8f;
  w.gustFreq = 0.5f;
  w.gustTravel = 0;
  const F3 near = hsim::WindAccel(w, F3(0, 0, 0), F3(0, 0, 0), 0.37f, 1.f, 1.f);
  const F3 far = hsim::WindAccel(w, F3(0, 500, 0), F3(0, 0, 0), 0.37f, 1.f, 1.f);
  EXPECT_EQ(near, far);
  EXPECT_NE(near, still);
  w.gustTravel = 100;  // now the gust reaches the far point 5 s later
  EXPECT_NE(hsim::WindAccel(w, F3(0, 500, 0), F3(0, 0, 0), 0.37f, 1.f, 1.f), near);
}

TEST(SimWind, HairFollowsTheAirRangeFallsOffAndShadowScales) {
  hsim::Wind w = Directional(F3(1, 0, 0), 8.f);  // W0 = 8 / 4 = 2 units/s
  // Moving with the air: no acceleration.
  EXPECT_EQ(hsim::WindAccel(w, F3(0, 0, 0), F3(2, 0, 0), 0, 1, 1), F3(0, 0, 0));
  // A shadow factor scales the whole acceleration.
  EXPECT_EQ(hsim::WindAccel(w, F3(0, 0, 0), F3(0, 0, 0), 0, 1, 0.25f), F3(2, 0, 0));
  w.range = 10;
  EXPECT_NEAR(hsim::WindAccel(w, F3(5, 0, 0), F3(0, 0, 0), 0, 1, 1).x, 8.f * 0.25f, 1e-5f);
  EXPECT_EQ(hsim::WindAccel(w, F3(0, 0, 12), F3(0, 0, 0), 0, 1, 1), F3(0, 0, 0));
}

TEST(SimWind, TurbulenceAndFlutterVaryWithPlaceAndTime) {
  hsim::Wind w = Directional(F3(1, 0, 0), 8.f);
  w.turbulence = 1;
  w.turbScale = 5;
  w.octaves = 3;
  for (int curl : {0, 1}) {
    w.curl = curl;
    const F3 a = hsim::WindAccel(w, F3(1, 2, 3), F3(0, 0, 0), 0.5f, 0, 1);
    const F3 b = hsim::WindAccel(w, F3(4, -2, 3), F3(0, 0, 0), 0.5f, 0, 1);
    EXPECT_NE(a, b) << "curl " << curl;
    EXPECT_TRUE(std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(a.z));
  }
  w.turbulence = 0;
  w.flutter = 1;
  // Flutter acts only away from the root (u > 0).
  EXPECT_EQ(hsim::WindAccel(w, F3(1, 2, 3), F3(0, 0, 0), 0.5f, 0, 1), F3(2, 0, 0) * 4.f);
  EXPECT_NE(hsim::WindAccel(w, F3(1, 2, 3), F3(0, 0, 0), 0.5f, 1, 1), F3(2, 0, 0) * 4.f);
}

TEST(SimWind, ValueNoiseBlendsHashedLatticeValues) {
  // At lattice points the noise is the corner value itself.
  for (int i : {-3, 0, 7})
    for (int j : {-1, 2}) {
      const std::uint32_t h = crn::LatticeHash(i, j, 5);
      const float corner = float(h & 0xFFFFFFu) * (1.f / 8388608.f) - 1.f;
      EXPECT_EQ(hsim::ValueNoise3(float(i), float(j), 5.f), corner) << i << " " << j;
    }
  float lo = 1, hi = -1;
  for (int s = 0; s < 2000; ++s) {
    const float v = hsim::ValueNoise3(0.173f * s, -0.311f * s, 0.057f * s);
    lo = std::min(lo, v);
    hi = std::max(hi, v);
  }
  EXPECT_GE(lo, -1.f);
  EXPECT_LT(hi, 1.f);
  EXPECT_LT(lo, -0.5f);
  EXPECT_GT(hi, 0.5f);
}

TEST(SimWind, NoisePairsEqualTwoSingleEvaluations) {
  // The curl's central differences share lattice corners between their two points; the
  // values must be those of two separate evaluations, to the bit.
  for (int s = 0; s < 3000; ++s) {
    const F3 q(0.37f * float(s) - 400.f, -0.913f * float(s) + 17.f, 0.0517f * float(s * s % 977));
    for (int axis = 0; axis < 3; ++axis) {
      float plus, minus;
      hsim::ValueNoisePair(q, axis, 0.15f, plus, minus);
      F3 e(0, 0, 0);
      (axis == 0 ? e.x : axis == 1 ? e.y : e.z) = 1.f;
      EXPECT_EQ(plus, hsim::ValueNoise3(q + e * 0.15f)) << s << " axis " << axis;
      EXPECT_EQ(minus, hsim::ValueNoise3(q - e * 0.15f)) << s << " axis " << axis;
    }
  }
}
