#pragma once
// The CPU twin of hsim::kStep over packs of guides: StepGuide of kernels/sim_step.h runs on
// kLanes guides at once, one per lane of kernels/lanes.h. Included by one translation unit per
// instruction set (sim_step_sse2.cpp, sim_step_avx2.cpp); sim_step.cpp picks one at run time.
#include <algorithm>
#include <cstdint>
#include <memory>

#include "kernels/lanes.h"
#include "kernels/sim_step.h"
#include "kernels/sim_step_kernel.h"

namespace hsim {

namespace {

using PackVec = T3<LaneF>;

inline LaneF LoadLanes(const float* at) {
  LaneF r;
  __builtin_memcpy(&r.v, at, sizeof r.v);
  return r;
}

// The collision of p with the triangles of its grid cell `cell` (a non-empty one), read
// kLanes at a time from the grid's items (see GridItems): GridContact of the nearest triangle,
// true with the normal in n on contact. A first pass over the items' planes decides at once
// when every triangle's plane lies well outside the contact band: the signed distance along
// the nearest triangle's normal is its plane's distance (the closest point lies in that
// plane), so there is no contact whichever triangle is nearest. With DecideOnly (p and n are
// then left as they are) it also decides at once when every plane lies well inside the band.
// Otherwise each lane keeps the first nearest of the items it saw, and the nearest of the
// lanes, ties to the earlier item, is the triangle the one-by-one search finds.
template <bool DecideOnly = false>
inline bool CollideCellItems(const Grid& g, const float* coords, std::int64_t stride,
                             std::int64_t cell, F3& p, float offset, F3& n) {
  const std::int32_t first = g.cellStart[cell], last = g.cellStart[cell + 1];
  LaneF laneNo;
  for (int l = 0; l < kLanes; ++l) laneNo.Set(l, float(l));
  const PackVec q(p);

  const float low = -4.f * offset - g.cell;
  const float pointTol = kItemTolerance * (fabsf(p.x) + fabsf(p.y) + fabsf(p.z));
  bool nearBand = false, allInBand = DecideOnly;
  for (std::int32_t i = first; i < last; i += kLanes) {
    const float* c = coords + i;
    const PackVec a(LoadLanes(c), LoadLanes(c + stride), LoadLanes(c + 2 * stride));
    const PackVec m(LoadLanes(c + 9 * stride), LoadLanes(c + 10 * stride), LoadLanes(c + 11 * stride));
    const LaneF tol = LoadLanes(c + 12 * stride) + pointTol;
    const LaneF planeDist = Dot(m, q - a);
    const LaneMask valid = laneNo < float(last - i);
    const LaneMask outside = (planeDist >= offset + tol) | (planeDist < low - tol);
    nearBand = nearBand || Any((!outside) & valid);
    if (DecideOnly) {
      const LaneMask inside = (planeDist >= low + tol) & (planeDist < offset - tol);
      allInBand = allInBand && !Any((!inside) & valid);
    }
    if (nearBand && !allInBand) break;
  }
  if (!nearBand) return false;
  if (DecideOnly && allInBand) return true;

  LaneF best(1e30f), block(0.f);
  PackVec closest(F3(0, 0, 0));
  int blocks = 0;
  for (std::int32_t i = first; i < last; i += kLanes, ++blocks) {
    const float* c = coords + i;
    const PackVec a(LoadLanes(c), LoadLanes(c + stride), LoadLanes(c + 2 * stride));
    const PackVec b(LoadLanes(c + 3 * stride), LoadLanes(c + 4 * stride), LoadLanes(c + 5 * stride));
    const PackVec d(LoadLanes(c + 6 * stride), LoadLanes(c + 7 * stride), LoadLanes(c + 8 * stride));
    const PackVec near = ClosestPointOnTriangle<LaneF>(q, a, b, d);
    const LaneF d2 = LengthSq(q - near);
    const LaneMask take = (d2 < best) & (laneNo < float(last - i));
    best = Select(take, d2, best);
    closest = Select(take, near, closest);
    block = Select(take, LaneF(float(blocks)), block);
  }
  float nearest = 1e30f;
  std::int32_t item = last;
  F3 at(0, 0, 0);
  for (int l = 0; l < kLanes; ++l) {
    if (!(best[l] < 1e30f)) continue;  // this lane took no triangle
    const std::int32_t i = first + std::int32_t(block[l]) * kLanes + l;
    if (best[l] < nearest || (best[l] == nearest && i < item)) {
      nearest = best[l];
      item = i;
      at = F3(closest.x[l], closest.y[l], closest.z[l]);
    }
  }
  n = GridContact(g, p, offset, nearest, at, item < last ? g.cellItems[item] : -1);
  return n.x != 0.f || n.y != 0.f || n.z != 0.f;
}

// GridCollide of one point through the items.
inline F3 GridCollideItems(const Grid& g, const float* coords, std::int64_t stride, F3& p,
                           float offset) {
  std::int64_t cell = 0;
  F3 n(0, 0, 0);
  if (GridCellOf(g, p, cell) && g.cellStart[cell] < g.cellStart[cell + 1])
    CollideCellItems(g, coords, stride, cell, p, offset, n);
  return n;
}

// Whether GridCollide of a copy of p, in the listed cell `cell`, reports a contact.
inline bool GridTouchesCellItems(const Grid& g, const float* coords, std::int64_t stride,
                                 std::int64_t cell, const F3& p, float offset) {
  F3 q = p, n(0, 0, 0);
  return CollideCellItems<true>(g, coords, stride, cell, q, offset, n);
}

// Whether GridCollide of a copy of p reports a contact, through the items.
inline bool GridTouchesItems(const Grid& g, const float* coords, std::int64_t stride, const F3& p,
                             float offset) {
  std::int64_t cell = 0;
  if (!GridCellOf(g, p, cell) || g.cellStart[cell] == g.cellStart[cell + 1]) return false;
  return GridTouchesCellItems(g, coords, stride, cell, p, offset);
}

// The grid as the packs see it: GridCollide of a pack collides each lane's point.
struct PackGrid {
  Grid grid;
  const float* coords = nullptr;  // GridItems, or null: one triangle at a time
  std::int64_t stride = 0;
  const float* cellGap = nullptr;  // the items' cell gaps for this offset, or null
  int gapDiv = 1;
};

// The cells are found for all lanes at once (as GridCellOf finds them); only lanes in a cell
// that lists triangles search it.
inline PackVec GridCollide(const PackGrid& pg, PackVec& p, float offset) {
  PackVec n(F3(0, 0, 0));
  const Grid& g = pg.grid;
  if (g.cellStart == nullptr) return n;
  const LaneF cx = Floor((p.x - g.origin.x) / g.cell);
  const LaneF cy = Floor((p.y - g.origin.y) / g.cell);
  const LaneF cz = Floor((p.z - g.origin.z) / g.cell);
  const LaneMask inside = (cx >= 0.f) & (cy >= 0.f) & (cz >= 0.f) & (cx < float(g.nx)) &
                          (cy < float(g.ny)) & (cz < float(g.nz));
  if (!Any(inside)) return n;
  for (int l = 0; l < kLanes; ++l) {
    if (!inside.v[l]) continue;
    const std::int64_t cell =
        (std::int64_t(cz[l]) * g.ny + std::int64_t(cy[l])) * g.nx + std::int64_t(cx[l]);
    if (g.cellStart[cell] == g.cellStart[cell + 1]) continue;
    F3 q(p.x[l], p.y[l], p.z[l]);
    if (pg.cellGap && OutsideEveryBand(g, pg.cellGap, pg.gapDiv, std::int64_t(cx[l]),
                                       std::int64_t(cy[l]), std::int64_t(cz[l]), q))
      continue;
    F3 m(0, 0, 0);
    bool contact;
    if (pg.coords) {
      contact = CollideCellItems(g, pg.coords, pg.stride, cell, q, offset, m);
    } else {
      m = GridCollidePoint(g, q, offset);
      contact = m.x != 0.f || m.y != 0.f || m.z != 0.f;
    }
    if (!contact) continue;
    p.x.Set(l, q.x);
    p.y.Set(l, q.y);
    p.z.Set(l, q.z);
    n.x.Set(l, m.x);
    n.y.Set(l, m.y);
    n.z.Set(l, m.z);
  }
  return n;
}

constexpr int kMaxKeptOctaves = 6;          // the wind's parameter allows no more
constexpr std::size_t kMaxKeptBlocks = 4096;  // about 4 MB a pack

// The per-guide arrays of one pack: point k of lane l holds guide (first + l)'s point k.
struct PackArrays {
  int P = 0;
  std::unique_ptr<PackVec[]> x, v, A, B, E, scratch;
  std::unique_ptr<LaneF[]> L, S, bend;
  std::unique_ptr<LatticeBlock<LaneF>[]> kept;
  int keptOctaves = 0;

  PackArrays(int points, bool withE, bool withS, const Wind* winds, int windCount) : P(points) {
    const std::size_t n = std::size_t(P);
    x.reset(new PackVec[n]);
    v.reset(new PackVec[n]);
    A.reset(new PackVec[n]);
    B.reset(new PackVec[n]);
    if (withE) E.reset(new PackVec[n]);
    scratch.reset(new PackVec[2 * n]);
    L.reset(new LaneF[n]);
    if (withS) S.reset(new LaneF[n]);
    bend.reset(new LaneF[n]);
    // Lattice blocks kept between substeps for the gusts and the octaves of curl turbulence,
    // unless there would be more than a few megabytes of them.
    for (int w = 0; w < windCount; ++w)
      if (winds[w].turbulence > 0.f && winds[w].curl != 0)
        keptOctaves = std::max(keptOctaves, std::min(winds[w].octaves, kMaxKeptOctaves));
    const std::size_t blocks = std::size_t(1 + 3 * keptOctaves) * std::size_t(windCount) * n;
    if (blocks > 0 && blocks <= kMaxKeptBlocks) kept.reset(new LatticeBlock<LaneF>[blocks]);
    else keptOctaves = 0;
  }
};

inline void SetLane(PackVec& d, int l, const F3& s) {
  d.x.Set(l, s.x);
  d.y.Set(l, s.y);
  d.z.Set(l, s.z);
}

inline void GetLane(const PackVec& s, int l, F3& d) {
  d.x = s.x[l];
  d.y = s.y[l];
  d.z = s.z[l];
}

// Fills pack k with guides first ... first + count - 1; a short pack repeats its last guide in
// the spare lanes.
inline void LoadPack(PackArrays& k, const StepArgs& a, std::uint64_t first, int count, bool shadow) {
  const std::size_t np = std::size_t(a.P);
  for (int l = 0; l < kLanes; ++l) {
    const std::size_t o = std::size_t(first + std::uint64_t(l < count ? l : count - 1)) * np;
    for (std::size_t i = 0; i < np; ++i) {
      SetLane(k.x[i], l, a.x[o + i]);
      SetLane(k.v[i], l, a.v[o + i]);
      SetLane(k.A[i], l, a.A[o + i]);
      SetLane(k.B[i], l, a.B[o + i]);
      if (a.E) SetLane(k.E[i], l, a.E[o + i]);
      k.L[i].Set(l, a.L[o + i]);
      if (shadow) k.S[i].Set(l, a.S[o + i]);
    }
  }
}

inline void StorePack(const PackArrays& k, const StepArgs& a, std::uint64_t first, int count) {
  const std::size_t np = std::size_t(a.P);
  for (int l = 0; l < count; ++l) {
    const std::size_t o = std::size_t(first + std::uint64_t(l)) * np;
    for (std::size_t i = 0; i < np; ++i) {
      GetLane(k.x[i], l, a.x[o + i]);
      GetLane(k.v[i], l, a.v[o + i]);
    }
  }
}

using PairVec = T3<LaneF2>;
inline PairVec Join(const PackVec& a, const PackVec& b) {
  return PairVec(LaneF2(a.x, b.x), LaneF2(a.y, b.y), LaneF2(a.z, b.z));
}

// Steps guides [begin, end) two packs at a time: each substep's constraint rounds run on both
// packs side by side (see LaneF2), the rest of it on each pack alone. The phases are those of
// StepGuide, so every guide gets what StepGuide gives it.
inline void StepRangeLanes(std::uint64_t begin, std::uint64_t end, const StepArgs& a) {
  const int P = a.P;
  if (P < 1 || end <= begin) return;
  const std::size_t np = std::size_t(P);
  const bool shadow = a.S && a.shadowCount == std::size_t(a.N) * np;
  const int windCount = a.winds ? a.params.windCount : 0;
  PackArrays k0(P, a.E != nullptr, shadow, a.winds, windCount);
  PackArrays k1(P, a.E != nullptr, shadow, a.winds, windCount);
  std::unique_ptr<PairVec[]> pairP(new PairVec[np]), pairT(new PairVec[np]);
  std::unique_ptr<LaneF2[]> pairL(new LaneF2[np]), pairBend(new LaneF2[np]);
  PackGrid grid;
  grid.grid = a.grid;
  if (a.itemCoords && a.grid.cellStart) {
    grid.coords = a.itemCoords;
    grid.stride = a.itemStride;
    grid.cellGap = a.cellGap;
    grid.gapDiv = a.gapDiv;
  }
  const Params& prm = a.params;
  const int substeps = prm.substeps < 1 ? 1 : prm.substeps;
  for (std::uint64_t first = begin; first < end; first += 2 * kLanes) {
    const int count0 = end - first < std::uint64_t(kLanes) ? int(end - first) : kLanes;
    const std::uint64_t second = first + std::uint64_t(count0);
    const int count1 = second >= end ? 0 : end - second < std::uint64_t(kLanes) ? int(end - second) : kLanes;
    LoadPack(k0, a, first, count0, shadow);
    if (count1 == 0) {
      StepGuide<LaneF>(P, k0.x.get(), k0.v.get(), k0.A.get(), k0.B.get(), k0.L.get(), k0.E.get(),
                       a.winds, grid, prm, k0.S.get(), k0.scratch.get(), k0.bend.get(),
                       k0.kept.get(), k0.keptOctaves);
      StorePack(k0, a, first, count0);
      continue;
    }
    LoadPack(k1, a, second, count1, shadow);
    ForgetLatticeBlocks(k0.kept.get(), k0.keptOctaves, prm, P);
    ForgetLatticeBlocks(k1.kept.get(), k1.keptOctaves, prm, P);
    for (std::size_t i = 0; i < np; ++i) pairL[i] = LaneF2(k0.L[i], k1.L[i]);
    PackVec *p0 = k0.scratch.get(), *T0 = p0 + P, *p1 = k1.scratch.get(), *T1 = p1 + P;
    for (int s = 0; s < substeps; ++s) {
      BeginSubstep<LaneF>(s, P, k0.x.get(), k0.v.get(), k0.A.get(), k0.B.get(), k0.E.get(), a.winds,
                          prm, k0.S.get(), p0, T0, k0.bend.get(), k0.kept.get(), k0.keptOctaves);
      BeginSubstep<LaneF>(s, P, k1.x.get(), k1.v.get(), k1.A.get(), k1.B.get(), k1.E.get(), a.winds,
                          prm, k1.S.get(), p1, T1, k1.bend.get(), k1.kept.get(), k1.keptOctaves);
      for (std::size_t i = 0; i < np; ++i) {
        pairP[i] = Join(p0[i], p1[i]);
        pairT[i] = Join(T0[i], T1[i]);
        pairBend[i] = LaneF2(k0.bend[i], k1.bend[i]);
      }
      SolveConstraints<LaneF2>(P, pairP.get(), pairT.get(), pairL.get(), pairBend.get(), prm);
      for (std::size_t i = 0; i < np; ++i) {
        p0[i] = PackVec(pairP[i].x.a, pairP[i].y.a, pairP[i].z.a);
        p1[i] = PackVec(pairP[i].x.b, pairP[i].y.b, pairP[i].z.b);
      }
      EndSubstep<LaneF>(P, k0.x.get(), k0.v.get(), T0, p0, grid, prm);
      EndSubstep<LaneF>(P, k1.x.get(), k1.v.get(), T1, p1, grid, prm);
    }
    StorePack(k0, a, first, count0);
    StorePack(k1, a, second, count1);
  }
}

}  // namespace

}  // namespace hsim

// The entry points of one instruction set's unit (StepRange<Isa>, GridCollide<Isa>,
// GridTouches<Isa> of sim_step_kernel.h), over this unit's packs.
#define CRN_SIM_STEP_LANE_ENTRY_POINTS(Isa)                                                       \
  namespace hsim {                                                                              \
  void StepRange##Isa(std::uint64_t begin, std::uint64_t end, const StepArgs& a) {              \
    StepRangeLanes(begin, end, a);                                                              \
  }                                                                                             \
  F3 GridCollide##Isa(const Grid& g, const float* itemCoords, std::int64_t itemStride, F3& p,   \
                      float offset) {                                                           \
    return GridCollideItems(g, itemCoords, itemStride, p, offset);                              \
  }                                                                                             \
  bool GridTouches##Isa(const Grid& g, const float* itemCoords, std::int64_t itemStride,        \
                        const F3& p, float offset) {                                            \
    return GridTouchesItems(g, itemCoords, itemStride, p, offset);                              \
  }                                                                                             \
  bool GridTouchesCell##Isa(const Grid& g, const float* itemCoords, std::int64_t itemStride,    \
                            std::int64_t cell, const F3& p, float offset) {                     \
    return GridTouchesCellItems(g, itemCoords, itemStride, cell, p, offset);                    \
  }                                                                                             \
  }
