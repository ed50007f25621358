// The CPU twin steps several guides at once, one per vector lane, and searches collider cells
// several triangles at a time. Every lane width must give exactly the results of the
// one-guide, one-triangle-at-a-time code, whatever mix of guides shares a pack.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "dynamics/colliders.h"
#include "kernels/hash32.h"
#include "kernels/sim_step.h"
#include "kernels/sim_step_kernel.h"

using hsim::F3;

namespace {

// A reproducible number in [-1, 1) for (i, salt).
float Jitter(std::uint32_t i, std::uint32_t salt) {
  return float(crn::Mix32(i * 0x9E3779B9u ^ salt) & 0xFFFFFFu) / 8388608.f - 1.f;
}

F3 JitterVec(std::uint32_t i, std::uint32_t salt) {
  return F3(Jitter(i, salt), Jitter(i, salt + 1), Jitter(i, salt + 2));
}

// A UV sphere around c, then triangles that make the search hard: an exact duplicate of an
// earlier triangle (ties keep the earlier one), a sliver, a degenerate triangle and a fan of
// small triangles crowding a few cells (several packs of items per cell).
std::vector<F3> HardCollider(F3 c, float R) {
  std::vector<F3> soup;
  const int rings = 12, sides = 24;
  auto at = [&](int i, int j) {
    const float th = 3.14159265f * float(i) / rings, ph = 6.2831853f * float(j) / sides;
    return c + F3(R * std::sin(th) * std::cos(ph), R * std::sin(th) * std::sin(ph), R * std::cos(th));
  };
  for (int i = 0; i < rings; ++i)
    for (int j = 0; j < sides; ++j)
      soup.insert(soup.end(), {at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j), at(i + 1, j + 1), at(i, j + 1)});
  soup.insert(soup.end(), soup.begin() + 3 * 40, soup.begin() + 3 * 41);
  const F3 top = c + F3(0, 0, R);
  soup.insert(soup.end(), {top + F3(-2, 0, 0.1f), top + F3(2, 0.0005f, 0.1f), top + F3(0, 0.001f, 0.1f)});
  soup.insert(soup.end(), {top + F3(0, 1, 0), top + F3(0, 1, 0), top + F3(1, 1, 0.2f)});
  for (int i = 0; i < 30; ++i) {
    const float a = 0.2f * float(i);
    soup.insert(soup.end(), {top + F3(0, 0, 0.3f), top + F3(std::cos(a), std::sin(a), 0.25f),
                             top + F3(std::cos(a + 0.2f), std::sin(a + 0.2f), 0.25f)});
  }
  return soup;
}

// N guides of P points standing out of (or, every third one, into) the collider, with
// jittered positions and velocities, external accelerations and shadow factors; guide 4 has
// a NaN velocity and guide 7 rest lengths far beyond its targets', so both are reset.
struct Batch {
  int N = 61, P = 9;
  std::vector<F3> x, v, A, B, E, soup;
  std::vector<float> L, S;
  std::vector<hsim::Wind> winds;
  hsim::Params params;
  crn::ColliderGrid grid;

  explicit Batch(F3 centre) {
    const float R = 5.f;
    soup = HardCollider(centre, R);
    for (int g = 0; g < N; ++g) {
      const F3 n = crn::UnitOr(JitterVec(std::uint32_t(g), 10) + F3(0, 0, 0.8f), F3(0, 0, 1));
      const float outward = g % 3 == 2 ? -0.6f : 0.6f;
      for (int k = 0; k < P; ++k) {
        const std::uint32_t i = std::uint32_t(g * P + k);
        A.push_back(centre + n * (R + outward * float(k)));
        B.push_back(A.back() + F3(0.05f, -0.02f, 0.01f));
        x.push_back(A.back() + JitterVec(i, 20) * 0.3f * float(k > 1));
        v.push_back(JitterVec(i, 30) * 20.f * float(k > 1));
        E.push_back(JitterVec(i, 40) * 50.f);
        S.push_back(0.5f + 0.5f * Jitter(i, 50));
      }
    }
    v[std::size_t(4 * P + 3)].x = std::numeric_limits<float>::quiet_NaN();
    crn::RestLengths(B, P, L);
    for (int k = 1; k < P; ++k) L[std::size_t(7 * P + k)] *= 20.f;

    params.frameTime = 1.f / 30.f;
    params.substeps = 2;
    params.iterations = 3;
    params.dt = params.frameTime / 2;
    params.bendStiffness = 0.6f;
    params.shapePull = 0.02f;
    params.damping = 0.025f;
    params.drag = 0.005f;
    params.offset = 0.2f;
    params.friction = 0.3f;
    params.gravity = F3(0, 0, -981.f);
    params.collide = 1;
    params.time0 = 0.7f;
    crn::BuildColliderGrid(grid, soup, params.offset);

    hsim::Wind w;
    w.type = 0;
    w.pos = centre;
    w.dir = F3(1, 0, 0);
    w.strength = 981.f;
    w.turbulence = 0.6f;
    w.turbScale = 3;
    w.turbSpeed = 1;
    w.gustAmp = 0.5f;
    w.gustFreq = 0.4f;
    w.seed = 1.618f;
    w.octaves = 2;
    w.curl = 1;
    w.gustTravel = 30;
    w.flutter = 0.3f;
    w.coupling = 4;
    w.range = 12;
    winds.push_back(w);
    w.type = 2;  // a vortex with plain turbulence
    w.dir = F3(0, 0, 1);
    w.vortexPull = 0.3f;
    w.curl = 0;
    w.range = 0;
    winds.push_back(w);
  }

  void Step(hsim::CpuLanes lanes) {
    hsim::StepArgs a;
    a.N = N;
    a.P = P;
    a.x = x.data();
    a.v = v.data();
    a.A = A.data();
    a.B = B.data();
    a.L = L.data();
    a.E = E.data();
    a.winds = winds.data();
    a.params = params;
    a.params.windCount = int(winds.size());
    a.grid = grid.grid;
    a.gridTriangles = grid.TriangleCount();
    a.S = S.data();
    a.shadowCount = S.size();
    a.itemCoords = grid.items.coords.data();
    a.itemStride = grid.items.stride;
    ASSERT_FALSE(grid.items.cellGap.empty());
    a.cellGap = grid.items.cellGap.data();
    a.gapDiv = grid.items.gapDiv;
    hsim::StepRangeOn(lanes, 0, std::uint64_t(N), a);
  }
};

template <class T>
bool SameBits(const std::vector<T>& a, const std::vector<T>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0;
}

}  // namespace

TEST(SimStepLanes, EveryLaneWidthGivesTheOneGuideResultsToTheBit) {
  struct Case {
    const char* name;
    hsim::CpuLanes lanes;
  };
  std::vector<Case> cases = {{"4 lanes", hsim::CpuLanes::Sse2}};
  if (hsim::CpuHasAvx2()) cases.push_back({"8 lanes", hsim::CpuLanes::Avx2});
  // Near the origin, and far from it where rounding is coarse.
  for (const F3 centre : {F3(0, 0, 0), F3(1000, -700, 300)}) {
    Batch single(centre);
    single.Step(hsim::CpuLanes::Single);
    // The batch does what it is for: the NaN guide was reset and the overlong one is reset
    // every substep, and some points rest on the collider.
    for (int k = 0; k < single.P; ++k) {
      EXPECT_TRUE(std::isfinite(single.x[std::size_t(4 * single.P + k)].x)) << k;
      EXPECT_EQ(single.x[std::size_t(7 * single.P + k)], single.B[std::size_t(7 * single.P + k)]) << k;
    }
    for (int frame = 1; frame < 3; ++frame) single.Step(hsim::CpuLanes::Single);
    int onCollider = 0;
    for (const F3& p : single.x) {
      F3 q = p;
      onCollider += hsim::GridCollide(single.grid.grid, q, 0.21f) != F3(0, 0, 0);
    }
    EXPECT_GT(onCollider, 0);
    for (const Case& c : cases) {
      Batch packed(centre);
      for (int frame = 0; frame < 3; ++frame) packed.Step(c.lanes);
      EXPECT_TRUE(SameBits(packed.x, single.x)) << c.name << " at " << centre.x;
      EXPECT_TRUE(SameBits(packed.v, single.v)) << c.name << " at " << centre.x;
    }
  }
}

TEST(SimStepLanes, CellSearchByPacksFindsWhatTheOneByOneSearchFinds) {
  using Collide = F3 (*)(const hsim::Grid&, const float*, std::int64_t, F3&, float);
  using Touches = bool (*)(const hsim::Grid&, const float*, std::int64_t, const F3&, float);
  struct Case {
    const char* name;
    Collide collide;
    Touches touches;
  };
  std::vector<Case> cases = {{"4 lanes", hsim::GridCollideSse2, hsim::GridTouchesSse2}};
  if (hsim::CpuHasAvx2()) cases.push_back({"8 lanes", hsim::GridCollideAvx2, hsim::GridTouchesAvx2});
  for (const F3 centre : {F3(0, 0, 0), F3(1000, -700, 300)}) {
    const std::vector<F3> soup = HardCollider(centre, 5.f);
    crn::ColliderGrid grid;
    crn::BuildColliderGrid(grid, soup, 0.2f);
    // Points on a shell around the sphere and around the crowded top, from deep inside the
    // contact band to well outside it, and points right on triangle vertices.
    std::vector<F3> points;
    for (std::uint32_t i = 0; i < 3000; ++i) {
      const F3 dir = crn::UnitOr(JitterVec(i, 60), F3(0, 0, 1));
      points.push_back(centre + dir * (5.f + 2.5f * Jitter(i, 70)));
      points.push_back(centre + F3(0, 0, 5.f) + JitterVec(i, 80) * 1.5f);
    }
    for (std::size_t t = 0; t < soup.size(); t += 7) points.push_back(soup[t]);
    // Points right at both edges of the contact band of a triangle, where rounding decides.
    for (std::int64_t t = 0; t < grid.TriangleCount(); t += 5) {
      const F3* v = grid.triVerts.data() + 3 * t;
      const F3 mid = (v[0] + v[1] + v[2]) * (1.f / 3.f), n = grid.triNormals[std::size_t(t)];
      for (const float offset : {0.2f, 0.5f})
        for (const float edge : {offset, -4.f * offset - grid.grid.cell})
          for (const float d : {-1e-4f, -2e-5f, 0.f, 2e-5f, 1e-4f}) points.push_back(mid + n * (edge + d));
    }
    int contacts = 0;
    for (const Case& c : cases) {
      for (const F3& at : points) {
        F3 want = at, got = at;
        const F3 n = hsim::GridCollide(grid.grid, want, 0.2f);
        const F3 m = c.collide(grid.grid, grid.items.coords.data(), grid.items.stride, got, 0.2f);
        ASSERT_TRUE(n == m && want == got) << c.name << " at " << at.x << " " << at.y << " " << at.z;
        ASSERT_EQ(c.touches(grid.grid, grid.items.coords.data(), grid.items.stride, at, 0.2f),
                  n != F3(0, 0, 0))
            << c.name << " at " << at.x << " " << at.y << " " << at.z;
        contacts += n != F3(0, 0, 0);
      }
    }
    EXPECT_GT(contacts, 100);
    // Through the cell gaps: for the grid's own offset, and for another built as the skin
    // test builds it.
    grid.items.skinOffset = 0.5f;
    hsim::BuildCellGaps(grid.grid, grid.items, 0.5f, grid.items.skinGap);
    for (const F3& at : points)
      for (const float offset : {0.2f, 0.5f}) {
        F3 q = at;
        ASSERT_EQ(hsim::GridTouchesCpu(grid.grid, grid.items, at, offset),
                  hsim::GridCollide(grid.grid, q, offset) != F3(0, 0, 0))
            << offset << " at " << at.x << " " << at.y << " " << at.z;
      }
  }
}
