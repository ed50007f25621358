// What acts on the guides besides the step: the step parameters, wind records, host force
// fields, the wind shadow, hair-hair contact and collisions with the growth surface.
#include <gtest/gtest.h>

#include "sim_fixtures.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <tuple>

#include "dynamics/cell_hash.h"
#include "dynamics/forces.h"
#include "dynamics/hair_contact.h"
#include "dynamics/guide_solver.h"
#include "dynamics/hair_wind.h"
#include "dynamics/sim_driver.h"
#include "dynamics/self_volume.h"
#include "dynamics/sim_params.h"
#include "dynamics/wind_shadow.h"
#include "hair/hair_params.h"
#include "kernels/sim_step.h"

using namespace crn;
using fixtures::SimScene;
using hsim::F3;

namespace {

class SimForces : public SimScene {};

const std::string kWinds = R"(,
  {"name": "w1618", "object": "CrinelWind", "params": {"seed": 1618, "coupling": 0.1}},
  {"name": "w618", "object": "CrinelWind", "params": {"seed": 618}},
  {"name": "down", "object": "Gravity", "params": {"strength": 2}},
  {"name": "drag", "object": "Drag"})";

}  // namespace

TEST_F(SimForces, ShapePullIsClampedAndParamsFollowTheBlock) {
  Load(fixtures::GrassSceneJson("", ", \"dynShape\": 1, \"dynIters\": 8, \"dynSubsteps\": 4"));
  const hsim::Params p = MakeParams(*hair->pblock2, Frame(5));
  EXPECT_NEAR(p.shapePull, 1.0 - std::pow(0.001, 1.0 / 128.0), 1e-6);
  EXPECT_LT(p.shapePull, 0.06f);
  EXPECT_FLOAT_EQ(p.frameTime, 1.f / 30.f);
  EXPECT_FLOAT_EQ(p.dt, p.frameTime / 4.f);
  EXPECT_FLOAT_EQ(p.time0, 4.f / 30.f);
  EXPECT_FLOAT_EQ(p.gravity.z, -9.81f / 0.01f);  // centimetres
}

TEST_F(SimForces, WindRecordsTakeTheSeedModuloAThousandAndAtLeastMinimumGrip) {
  Load(fixtures::GrassSceneJson(kWinds));
  const hsim::Wind a = MakeWindRecord(ip().GetINodeByName("w1618"), Frame(3));
  const hsim::Wind b = MakeWindRecord(ip().GetINodeByName("w618"), Frame(3));
  EXPECT_EQ(a.seed, b.seed);
  EXPECT_FLOAT_EQ(a.seed, 618 * 1.618f);
  EXPECT_EQ(a.coupling, 0.1f);
  EXPECT_FLOAT_EQ(a.time, 0.1f);
  EXPECT_EQ(a.dir, F3(0, 0, 1));
}

TEST_F(SimForces, HostForceFieldsAreSampledOnceAndWindsBecomeRecords) {
  Load(fixtures::GrassSceneJson(kWinds));
  hair->pblock2->SetNodeList(hp::forces, {ip().GetINodeByName("down"), ip().GetINodeByName("w618"),
                                          ip().GetINodeByName("drag")});
  const std::vector<F3> points = {F3(0, 0, 0), F3(5, 1, 2), F3(-3, 7, 9)};
  std::vector<hsim::Wind> winds;
  std::vector<F3> E(points.size());
  AddForceFields(*hair, Frame(2), points, winds, E);
  ASSERT_EQ(winds.size(), 1u);
  for (const F3& e : E) {
    EXPECT_NEAR(e.x, 0.f, 1e-3f);
    EXPECT_NEAR(e.z, -2 * 981.f, 0.05f);  // gravity along the node's -Z; drag on still points: 0
    EXPECT_EQ(e, E[0]);
  }
}

TEST_F(SimForces, TheWindFieldGivesParticlesNoFlutterNoShadowAndIgnoresTheirSpeed) {
  Load(fixtures::GrassSceneJson(kWinds));
  host::INode* node = ip().GetINodeByName("w618");
  auto* wind = static_cast<HairWindObject*>(node->GetObjectRef());
  host::ForceField* field = wind->GetForceField(node);
  const host::Point3 at(3, 4, 5);
  const host::Point3 still = field->Force(Frame(7), at, host::Point3(), 0);
  EXPECT_EQ(field->Force(Frame(7), at, host::Point3(50, 0, 0), 1), still);
  const hsim::Wind w = MakeWindRecord(node, Frame(7));
  const F3 a = hsim::WindAccel(w, F3(3, 4, 5), F3(0, 0, 0), 7.f / 30.f, 0.f, 1.f);
  EXPECT_NEAR(still.z * 23040000.f, a.z, 1e-3f * std::fabs(a.z) + 1e-4f);
  field->DeleteThis();
}

TEST(SimShadow, ColumnsFaceTheFirstWindOrRunAlongXForOtherTypes) {
  // Points on a line along X, 2 apart: one column for a wind along X, a column each (columns
  // are 1.5 rest lengths wide) for a wind along Y.
  std::vector<F3> points;
  for (int i = 0; i < 5; ++i) points.push_back(F3(2.f * float(4 - i), 0, 0));
  const std::vector<float> L(points.size(), 1.f);
  hsim::Wind w;
  w.shadow = 0.5f;
  struct Case {
    const char* name;
    int type;
    F3 dir;
    bool sheltered;
  };
  const std::vector<Case> cases = {
      {"directional along X", 0, F3(1, 0, 0), true},
      {"directional along Y", 0, F3(0, 1, 0), false},
      {"vortex about Y: columns along X", 2, F3(0, 1, 0), true},
      {"spherical: columns along X", 1, F3(0, 0, 1), true},
  };
  for (const Case& c : cases) {
    w.type = c.type;
    w.dir = c.dir;
    const std::vector<float> s = ComputeWindShadow(points, L, {w});
    ASSERT_EQ(s.size(), points.size()) << c.name;
    if (c.sheltered) {
      // The point farthest upwind (smallest x) is exposed; each one behind is sheltered more.
      for (int i = 0; i < 5; ++i)
        EXPECT_NEAR(s[std::size_t(4 - i)], 1.f - (1.f - std::exp(-0.15f * float(i))) * 0.5f, 1e-6f) << c.name;
    } else {
      for (float f : s) EXPECT_EQ(f, 1.f) << c.name;
    }
  }
  w.shadow = 0;
  EXPECT_TRUE(ComputeWindShadow(points, L, {w}).empty());
}

// Shadow factors as the rule states them, point by point: columns by their cell coordinates,
// each sorted by (depth, index) with comparisons of the floats themselves.
std::vector<float> ShadowByTheRule(const std::vector<F3>& points, float H, const hsim::Wind& wind) {
  const V3 a = UnitOr(wind.dir, V3(0, 0, 1));
  const V3 u = UnitOr(Cross(a, std::fabs(a.z) < 0.9f ? V3(0, 0, 1) : V3(1, 0, 0)), V3(0, 0, 1));
  const V3 w = Cross(a, u);
  std::map<std::pair<std::int64_t, std::int64_t>, std::vector<std::pair<float, std::size_t>>> columns;
  for (std::size_t i = 0; i < points.size(); ++i) {
    const float d = Dot(a, points[i]);
    columns[{CellOf(Dot(u, points[i]), H), CellOf(Dot(w, points[i]), H)}].push_back({d == d ? d : 1e30f, i});
  }
  std::vector<float> factors(points.size());
  for (auto& [cell, column] : columns) {
    std::sort(column.begin(), column.end());
    for (std::size_t j = 0; j < column.size(); ++j)
      factors[column[j].second] = 1.f - (1.f - std::exp(-0.15f * float(j))) * wind.shadow;
  }
  return factors;
}

TEST(SimShadow, EveryPointGetsTheFactorOfItsRankInItsColumn) {
  struct Case {
    const char* name;
    F3 dir;
    std::vector<F3> points;
  };
  std::vector<Case> cases;
  // A cloud of 70,000 points, enough for the sort to run in blocks on the worker pool: the
  // columns span a small rectangle (dense ids).
  Case cloud{"a cloud, dense column ids", F3(0.8f, 0.3f, -0.2f), {}};
  for (std::uint32_t i = 0; i < 70000; ++i)
    cloud.points.push_back(F3(float(Mix32(i) % 1000) / 50.f, float(Mix32(i + 7777) % 1000) / 50.f,
                              float(Mix32(i + 99999) % 1000) / 50.f - 10.f));
  cases.push_back(cloud);
  // The same cloud in far-apart clumps, one of them at a NaN and one far out: the columns
  // span a huge rectangle (ids from the hash map).
  Case clumps{"far-apart clumps, hashed column ids", F3(0.8f, 0.3f, -0.2f), cloud.points};
  for (std::size_t i = 0; i < clumps.points.size(); ++i)
    clumps.points[i] += F3(float(i % 5) * 1e5f, float(i % 3) * -3e5f, 0);
  clumps.points[17] = F3(std::nanf(""), 0, 0);
  clumps.points[18] = F3(3e30f, -3e30f, 1);
  cases.push_back(clumps);
  // Equal depths in one column, and depths -0 and +0, which tie: index order decides.
  Case ties{"equal depths and signed zeros", F3(1, 0, 0), {}};
  for (int i = 0; i < 40; ++i)
    ties.points.push_back(F3(i % 4 == 0 ? -0.f : float(i % 3), 0.01f * float(i), 0.02f * float(i % 5)));
  // A small cloud with one NaN point, which lies alone in the lowest column.
  Case nan{"a small cloud and a NaN", F3(0.8f, 0.3f, -0.2f), {}};
  nan.points.assign(cloud.points.begin(), cloud.points.begin() + 5000);
  nan.points[2500] = F3(1, std::nanf(""), 2);
  cases.push_back(nan);
  cases.push_back(ties);
  // One column of 3,000 points, deeper than the table of factors by rank.
  Case column{"one long column", F3(0, 0, 1), {}};
  for (int i = 0; i < 3000; ++i) column.points.push_back(F3(0.3f, 0.2f, 0.01f * float((i * 7) % 3000)));
  cases.push_back(column);
  // One scratch through every case, as a solver's frames reuse it (buffers of another point
  // count, and of the frame before): each case as it is, moved a little, moved a lot (points
  // change columns) and as it is again.
  SolverScratch scratch;
  for (const Case& c : cases) {
    hsim::Wind wind;
    wind.type = 0;
    wind.dir = c.dir;
    wind.shadow = 0.7f;
    const std::vector<float> L(c.points.size(), 1.f);  // columns 1.5 wide
    EXPECT_EQ(ComputeWindShadow(c.points, L, {wind}), ShadowByTheRule(c.points, 1.5f, wind)) << c.name;
    for (const float move : {0.f, 0.05f, 2.f, 0.f}) {
      std::vector<F3> points = c.points;
      for (std::size_t i = 0; i < points.size(); ++i) {
        auto step = [&](std::uint32_t salt) {
          return move * (float(Mix32(std::uint32_t(i) * 3u + salt) % 201) - 100.f) / 100.f;
        };
        points[i] += F3(step(0), step(1), step(2));
      }
      ComputeWindShadow(points, L, {wind}, scratch);
      EXPECT_EQ(scratch.shadow, ShadowByTheRule(points, 1.5f, wind)) << c.name << ", moved " << move;
    }
  }
}

// The self-volume push as the rule states it, point by point, with cells compared by their
// coordinates.
std::vector<F3> SelfVolumePushByTheRule(const std::vector<F3>& initial, const std::vector<F3>& now, int P,
                                        float h, float selfVol, float frameTime) {
  using Cell = std::tuple<std::int64_t, std::int64_t, std::int64_t>;
  auto cellOf = [h](const F3& p) { const CellCoord c = CellOf(p, h); return Cell{c.x, c.y, c.z}; };
  auto counts = [&](const std::vector<F3>& points) {
    std::map<Cell, int> n;
    for (const F3& p : points) ++n[cellOf(p)];
    return n;
  };
  auto own = [&](const std::vector<F3>& points, std::size_t i) {
    const std::size_t first = i - i % std::size_t(P);
    int n = 0;
    for (std::size_t j = first; j < first + std::size_t(P); ++j) n += cellOf(points[j]) == cellOf(points[i]);
    return n;
  };
  const std::map<Cell, int> before = counts(initial), after = counts(now);
  auto countAt = [&](const Cell& c) { const auto it = after.find(c); return it == after.end() ? 0 : it->second; };
  const float scale = selfVol * 0.04f * h / (frameTime * frameTime);
  std::vector<F3> E(now.size(), F3(0, 0, 0));
  for (std::size_t i = 0; i < now.size(); ++i) {
    if (i % std::size_t(P) < 2) continue;
    const float rest = float(before.at(cellOf(initial[i])) - own(initial, i));
    const Cell c = cellOf(now[i]);
    float A = float(countAt(c) - own(now, i)) / std::max(1.f, rest) - 1.25f;
    A = std::min(A, 2.f);
    if (A <= 0) continue;
    auto at = [&](std::int64_t dx, std::int64_t dy, std::int64_t dz) {
      return float(countAt({std::get<0>(c) + dx, std::get<1>(c) + dy, std::get<2>(c) + dz}));
    };
    const V3 G(at(1, 0, 0) - at(-1, 0, 0), at(0, 1, 0) - at(0, -1, 0), at(0, 0, 1) - at(0, 0, -1));
    const float len = Length(G);
    if (len < 1e-6f) continue;
    E[i] -= G * (scale * A / len);
  }
  return E;
}

TEST(SimDensity, ThePushFollowsTheRulePointByPoint) {
  // 60 upright guides of 8 points, 0.5 apart, then squeezed together; guide 3 curls back into
  // its own cells and guide 4 steps one cell along each axis in turn from its root's (cells a
  // packing that mixed the axes would confuse). Once as it is (the counts in a box array), once
  // with a point of guide 5 far out (its cells are compared coordinate by coordinate, and the
  // counts go to the hash table).
  const int N = 60, P = 8;
  std::vector<F3> targets;
  for (int g = 0; g < N; ++g)
    for (int k = 0; k < P; ++k) targets.push_back(F3(float(g % 10) * 1.3f - 6.f, float(g / 10) * 1.1f - 3.f, 0.5f * float(k)));
  for (const bool far : {false, true}) {
    std::unique_ptr<GuideSolver> s = MakeSolver(targets, N, P);
    for (std::size_t i = 0; i < s->x.size(); ++i) s->x[i] = F3(targets[i].x * 0.3f, targets[i].y * 0.4f, targets[i].z * 0.8f);
    for (int k = 2; k < P; ++k) s->x[std::size_t(3 * P + k)] = F3(0.2f * float(k % 2), 0.1f, 0.6f + 0.1f * float(k % 3));
    if (far) s->x[std::size_t(5 * P + 6)] = F3(3e9f, -2e9f, 1);
    const F3 steps[P] = {{0, 0, 0}, {0, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 1, 0}, {0, 0, 1}, {1, 0, 0}, {0, 1, 1}};
    for (int k = 0; k < P; ++k)
      s->x[std::size_t(4 * P + k)] = (F3(0.5f, -1.5f, 0.5f) + steps[k]) * s->volumeCell;
    std::vector<F3> E(s->x.size(), F3(0, 0, 0));
    AddSelfVolumePush(*s, 0.8f, 1.f / 30.f, E, 0.f);
    EXPECT_EQ(E, SelfVolumePushByTheRule(targets, s->x, P, s->volumeCell, 0.8f, 1.f / 30.f)) << far;
    int pushed = 0;
    for (const F3& e : E) pushed += e != F3(0, 0, 0);
    EXPECT_GT(pushed, 100) << far;  // the squeeze pushes most points
  }
}

TEST(SimDensity, EveryCellIsCountedOnItsOwn) {
  // Cells (-6, -6, 6) and (-6, 6, -6) share a CellKey64: points in one must not count in the
  // other, whether the counts sit in a box array or (with a far point) in the hash table.
  using crn::CellCoord;
  const CellCoord a{-6, -6, 6}, b{-6, 6, -6};
  ASSERT_EQ(crn::KeyOf(a), crn::KeyOf(b));
  for (const bool far : {false, true}) {
    std::vector<CellCoord> cells(5, a);
    cells.push_back({-5, -6, 6});
    if (far) cells.push_back({4000000, 0, 0});
    crn::CellDensity density;
    density.Build(cells);
    EXPECT_EQ(density.CountOfPoint(0), 5) << far;
    EXPECT_EQ(density.CountOfPoint(5), 1) << far;
    EXPECT_EQ(density.Count(a), 5) << far;
    EXPECT_EQ(density.Count(b), 0) << far;
    EXPECT_EQ(density.Count({-7, -6, 6}), 0) << far;
    EXPECT_EQ(density.Count({4000000, 0, 0}), far ? 1 : 0);
  }
}

TEST(SimDensity, CellCoordinatesAreTheFloorOfTheQuotientClampedFarOut) {
  // The floor of v / h in double, clamped to +-1e15 with NaN below.
  auto byFloor = [](float v, float h) -> std::int64_t {
    const double c = std::floor(double(v) / double(h));
    if (!(c > -1e15)) return -1000000000000000ll;
    return c < 1e15 ? std::int64_t(c) : 1000000000000000ll;
  };
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const struct {
    float v, h;
  } cases[] = {{0.f, 1.f},        {-0.f, 1.f},       {3.f, 1.5f},        {-3.f, 1.5f},
               {2.9999998f, 1.5f}, {-1e-30f, 1.f},   {1e-30f, 1.f},      {-0.5f, 0.25f},
               {7.f, 0.1f},        {-7.f, 0.1f},     {1e15f, 1.f},       {-1e15f, 1.f},
               {-9.99999e14f, 1.f}, {9.99999e14f, 1.f}, {4e15f, 3.f},    {-4e15f, 3.f},
               {8388607.5f, 1.f},  {-8388607.5f, 1.f}, {1e30f, 1e-4f},  {inf, 1.f},
               {-inf, 1.f},        {nan, 1.f},       {1.f, 0.f},         {-1.f, 0.f}};
  for (const auto& c : cases) EXPECT_EQ(crn::CellOf(c.v, c.h), byFloor(c.v, c.h)) << c.v << " / " << c.h;
  // A sweep across cell borders on both sides of zero.
  for (int i = -3000; i <= 3000; ++i) {
    const float v = float(i) * 0.0137f;
    for (const float h : {0.1f, 0.37f, 2.f}) ASSERT_EQ(crn::CellOf(v, h), byFloor(v, h)) << v << " / " << h;
  }
}

TEST_F(SimForces, HairOnTheSameSurfaceDoesNotPushHairOnAnotherDoes) {
  Load(fixtures::GrassSceneJson(R"(,
    {"name": "twin", "object": "Crinel", "params": {"surface": "ground", "count": 10, "length": 4,
      "segments": 4, "lift": 1, "gravity": 0, "dynMode": "Live", "dynInteractive": false}},
    {"name": "other", "mesh": {"primitive": "plane", "width": 20, "length": 20, "segments": 4}},
    {"name": "neighbour", "object": "Crinel", "params": {"surface": "other", "count": 10,
      "length": 4, "segments": 4, "lift": 1, "gravity": 0, "dynMode": "Live",
      "dynInteractive": false}})"));
  HairObject* twin = HairObjectOf(ip().GetINodeByName("twin"));
  HairObject* neighbour = HairObjectOf(ip().GetINodeByName("neighbour"));
  ASSERT_TRUE(SimulateToTime(*twin, Frame(2)));
  SimState& own = SimRegistry::Get().Acquire(hair->ObjectId());
  own.owner = hair;
  own.hairRadius = 0.5f;
  const std::vector<F3> points = SimRegistry::Get().Find(twin->ObjectId())->frames.at(1);
  std::vector<F3> E(points.size());
  const void* surface = ip().GetINodeByName("ground");
  AddHairHairPush(own, surface, points, 5, 1, 1.f / 30, E);
  for (const F3& e : E) EXPECT_EQ(e, F3(0, 0, 0));  // the twin grows on the same plane
  ASSERT_TRUE(SimulateToTime(*neighbour, Frame(2)));  // the same places, on another plane
  AddHairHairPush(own, surface, points, 5, 1, 1.f / 30, E);
  float pushed = 0;
  for (std::size_t i = 0; i < E.size(); ++i) {
    if (i % 5 == 0) {
      EXPECT_EQ(E[i], F3(0, 0, 0)) << "roots are not pushed";
    }
    pushed = std::max(pushed, Length(E[i]));
  }
  EXPECT_GT(pushed, 0.f);
}

TEST_F(SimForces, HairCollidesWithItsOwnSurfaceWithoutColliderNodes) {
  // Leaning grass falls under gravity onto its own plane.
  for (bool collide : {true, false}) {
    Load(fixtures::GrassSceneJson("", std::string(", \"lift\": 0.3, \"dynCollide\": ") +
                                          (collide ? "true" : "false")));
    ASSERT_TRUE(SimulateToTime(*hair, Frame(30)));
    float lowest = 1e9f;  // of the free points (from the third on)
    const std::vector<F3>& pts = Record()->frames.at(30);
    for (std::size_t i = 0; i < pts.size(); ++i)
      if (i % 5 >= 2) lowest = std::min(lowest, pts[i].z);
    if (collide) EXPECT_GT(lowest, 0.1f);
    else EXPECT_LT(lowest, -0.5f);
    ip().ResetScene();
  }
}

TEST_F(SimForces, HairRadiusFromSegmentsOrTheSpreadOfTheTips) {
  GenSettings s;
  s.length = 10;
  s.segments = 5;
  const std::vector<F3> few = {F3(0, 0, 0), F3(0, 0, 1)};
  EXPECT_FLOAT_EQ(HairRadius(s, 2.f, few, 2), 2.f * 1.f);  // 0.5 * 10 / 5
  std::vector<F3> many;
  for (int g = 0; g < 16; ++g) many.insert(many.end(), {F3(0, 0, 0), F3(float(g % 4) * 10, float(g / 4) * 10, 0)});
  // Tips span 30 x 30 x 0: A = 2 * 900 / 16, r0 = max(1, 0.6 sqrt(A)).
  EXPECT_FLOAT_EQ(HairRadius(s, 1.f, many, 2), 0.6f * std::sqrt(2.f * 900.f / 16.f));
  EXPECT_FLOAT_EQ(HairRadius(s, 0.f, few, 2), 1e-4f);
}
