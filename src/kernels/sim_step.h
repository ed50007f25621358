#pragma once
// The simulation step of one guide and the functions it is made of: value noise, the wind
// acceleration and the collision of a point with the collider grid. One source for the CPU
// twin (g++) and the GPU kernel hsim::kStep (nvcc with fast maths).
//
// A guide is a chain of P points whose first two points are pinned to the target pose; the
// others are integrated under gravity, wind and external accelerations, pulled towards the
// target, kept at their segment lengths and pushed out of collider triangles.
#include <cmath>
#include <cstdint>
#include <type_traits>

#include "kernels/hash32.h"
#include "kernels/lane_math.h"
#include "kernels/sim_types.h"

namespace hsim {

// Every function below is a template over the number type R (see kernels/lane_math.h): float
// on the GPU and in host code, a pack of guides on the CPU twin. V<R> is its three-vector.
template <class R>
using V = VecOf<R>;

// Value noise: hashed values on the integer lattice, blended trilinearly with the weights
// f^2 (3 - 2f). A corner's value is (LatticeHash(i, j, k) & 0xFFFFFF) 2^-23 - 1; the hash is
// evaluated in stages (k, then j, then i) so corners that share k or (j, k) share the work.

// Corner values of the lattice block i0 + [0, NI) x j0 + [0, NJ) x k0 + [0, NK) (each count
// 2 or 3), as v[k][j][i].
template <int NI, int NJ, int NK, class R>
CRN_HD inline void LatticeValues(U32Of<R> i0, U32Of<R> j0, U32Of<R> k0, R v[3][3][3]) {
  using U = U32Of<R>;
  for (int c = 0; c < NK; ++c) {
    const U hk = crn::Mix32Of(U((k0 + std::uint32_t(c)) * 83492791u));
    for (int b = 0; b < NJ; ++b) {
      const U hjk = crn::Mix32Of(U(hk ^ ((j0 + std::uint32_t(b)) * 19349663u)));
      for (int a = 0; a < NI; ++a) {
        const U h = crn::Mix32Of(U(hjk ^ ((i0 + std::uint32_t(a)) * 73856093u)));
        v[c][b][a] = ToFloat(h & 0xFFFFFFu) * (1.0f / 8388608.0f) - 1.0f;
      }
    }
  }
}

template <class R>
CRN_HD inline R SmoothWeight(R f) {
  return f * f * (3.f - 2.f * f);
}

template <class R>
CRN_HD inline R Lerp1(R a, R b, R t) {
  return a + (b - a) * t;
}

// The trilinear blend of the cell whose lowest corner is v[dk][dj][di]: x first, then y, then z.
template <class R>
CRN_HD inline R BlendCell(const R v[3][3][3], int di, int dj, int dk, R tx, R ty, R tz) {
  const R x00 = Lerp1(v[dk][dj][di], v[dk][dj][di + 1], tx);
  const R x10 = Lerp1(v[dk][dj + 1][di], v[dk][dj + 1][di + 1], tx);
  const R x01 = Lerp1(v[dk + 1][dj][di], v[dk + 1][dj][di + 1], tx);
  const R x11 = Lerp1(v[dk + 1][dj + 1][di], v[dk + 1][dj + 1][di + 1], tx);
  return Lerp1(Lerp1(x00, x10, ty), Lerp1(x01, x11, ty), tz);
}

// BlendCell of the cell one further along axis A in the lanes where `next` holds.
template <int A, class R>
CRN_HD inline R BlendCellNext(const R v[3][3][3], MaskOf<R> next, R tx, R ty, R tz) {
  R w[3][3][3];
  for (int c = 0; c < 2; ++c)
    for (int b = 0; b < 2; ++b)
      for (int a = 0; a < 2; ++a)
        w[c][b][a] = Select(next, v[c + (A == 2)][b + (A == 1)][a + (A == 0)], v[c][b][a]);
  return BlendCell(w, 0, 0, 0, tx, ty, tz);
}

// The corner values of one lattice block kept between calls: the turbulence of a point moves
// little from one substep to the next, so its block is usually the same and need not be hashed
// again. Corner values depend on the lattice indices alone, so a kept block gives exactly what
// hashing gives.
template <class R>
struct LatticeBlock {
  U32Of<R> i, j, k;  // lowest corner
  bool valid;
  R v[3][3][3];
};

template <class R>
CRN_HD inline bool HoldsCorner(const LatticeBlock<R>& b, U32Of<R> i0, U32Of<R> j0, U32Of<R> k0) {
  return b.valid && AllEqual(b.i, i0) && AllEqual(b.j, j0) && AllEqual(b.k, k0);
}

// The corner values of the block i0 + [0, NI) x j0 + [0, NJ) x k0 + [0, NK) (see
// LatticeValues): those of the kept block when its lowest corner is the same in every lane,
// else copied from `near` (a kept block of the same shape, or null) when that one's is, else
// hashed into the kept block (or into local when there is none). Near blocks are the
// neighbouring point's: a pack starts with no kept blocks, and a guide's next point usually
// lies in the same lattice block.
template <int NI, int NJ, int NK, class R>
CRN_HD inline R (*KeptLatticeValues(U32Of<R> i0, U32Of<R> j0, U32Of<R> k0, LatticeBlock<R>* kept,
                                    const LatticeBlock<R>* near, R local[3][3][3]))[3][3] {
  if (!kept) {
    LatticeValues<NI, NJ, NK, R>(i0, j0, k0, local);
    return local;
  }
  if (HoldsCorner(*kept, i0, j0, k0)) return kept->v;
  if (near && HoldsCorner(*near, i0, j0, k0)) {
    for (int c = 0; c < NK; ++c)
      for (int b = 0; b < NJ; ++b)
        for (int a = 0; a < NI; ++a) kept->v[c][b][a] = near->v[c][b][a];
  } else {
    LatticeValues<NI, NJ, NK, R>(i0, j0, k0, kept->v);
  }
  kept->i = i0;
  kept->j = j0;
  kept->k = k0;
  kept->valid = true;
  return kept->v;
}

// Scalar value noise in [-1, 1) (with a kept block: see LatticeBlock).
template <class R>
CRN_HD inline R ValueNoise3(R x, R y, R z, LatticeBlock<R>* kept = nullptr,
                            const LatticeBlock<R>* near = nullptr) {
  const R fx = Floor(x), fy = Floor(y), fz = Floor(z);
  R local[3][3][3];
  const R(*v)[3][3] =
      KeptLatticeValues<2, 2, 2, R>(ToU32(fx), ToU32(fy), ToU32(fz), kept, near, local);
  return BlendCell(v, 0, 0, 0, SmoothWeight(x - fx), SmoothWeight(y - fy), SmoothWeight(z - fz));
}

CRN_HD inline float ValueNoise3(float x, float y, float z) { return ValueNoise3<float>(x, y, z); }
CRN_HD inline float ValueNoise3(const F3& q) { return ValueNoise3<float>(q.x, q.y, q.z); }

// The noise at q + h e_A and q - h e_A (h < 0.5): the two points lie in the same or in
// neighbouring cells along axis A, so they share most corners. Each result equals ValueNoise3
// at its point.
template <int A, class R>
CRN_HD inline void ValueNoisePair(const V<R>& q, float h, R& plus, R& minus) {
  const R c[3] = {q.x, q.y, q.z};
  const R lo = c[A] - h, hi = c[A] + h;
  R f[3] = {Floor(c[0]), Floor(c[1]), Floor(c[2])};
  const R flo = Floor(lo), fhi = Floor(hi);
  f[A] = flo;
  R v[3][3][3];
  const U32Of<R> i = ToU32(f[0]), j = ToU32(f[1]), k = ToU32(f[2]);
  const MaskOf<R> apart = fhi > flo;  // the upper point lies in the next cell along the axis
  R t[3] = {SmoothWeight(c[0] - f[0]), SmoothWeight(c[1] - f[1]), SmoothWeight(c[2] - f[2])};
  t[A] = SmoothWeight(lo - flo);
  if constexpr (kIsScalar<R>) {
    if (!apart) LatticeValues<2, 2, 2, R>(i, j, k, v);
    else LatticeValues<A == 0 ? 3 : 2, A == 1 ? 3 : 2, A == 2 ? 3 : 2, R>(i, j, k, v);
    minus = BlendCell(v, 0, 0, 0, t[0], t[1], t[2]);
    t[A] = SmoothWeight(hi - fhi);
    const int d = apart ? 1 : 0;
    plus = BlendCell(v, A == 0 ? d : 0, A == 1 ? d : 0, A == 2 ? d : 0, t[0], t[1], t[2]);
  } else {
    // Lanes differ in whether the points are apart: every lane gets the wider block.
    LatticeValues<A == 0 ? 3 : 2, A == 1 ? 3 : 2, A == 2 ? 3 : 2, R>(i, j, k, v);
    minus = BlendCell(v, 0, 0, 0, t[0], t[1], t[2]);
    t[A] = SmoothWeight(hi - fhi);
    plus = BlendCellNext<A>(v, apart, t[0], t[1], t[2]);
  }
}

// The blend of the cell one further along A where nextA holds (when ShiftA) and one further
// along B where nextB holds (when ShiftB), from a block of 3 corners along the shifted axes.
// The same arithmetic as BlendCell on the chosen corners, but each stage chooses among the
// blends of the stage before rather than among corners: fewer choices, and blends that several
// calls share are the same expressions (the compiler computes them once).
template <int A, int B, bool ShiftA, bool ShiftB, class R>
CRN_HD inline R BlendCellShifted(const R v[3][3][3], MaskOf<R> nextA, MaskOf<R> nextB, R tx, R ty,
                                 R tz) {
  constexpr bool shift[3] = {(A == 0 && ShiftA) || (B == 0 && ShiftB),
                             (A == 1 && ShiftA) || (B == 1 && ShiftB),
                             (A == 2 && ShiftA) || (B == 2 && ShiftB)};
  auto maskOf = [&](int axis) { return axis == A ? nextA : nextB; };
  // The pair (lo, hi) one further along where m holds.
  auto choose = [](bool shifted, MaskOf<R> m, const R& r0, const R& r1, const R& r2, R& lo, R& hi) {
    if (shifted) {
      lo = Select(m, r1, r0);
      hi = Select(m, r2, r1);
    } else {
      lo = r0;
      hi = r1;
    }
  };
  constexpr int NJ = shift[1] ? 3 : 2, NK = shift[2] ? 3 : 2;
  R xs[3][3], ys[3];
  for (int k = 0; k < NK; ++k)
    for (int j = 0; j < NJ; ++j) {
      R lo, hi;
      choose(shift[0], maskOf(0), v[k][j][0], v[k][j][1], v[k][j][shift[0] ? 2 : 1], lo, hi);
      xs[k][j] = Lerp1(lo, hi, tx);
    }
  for (int k = 0; k < NK; ++k) {
    R lo, hi;
    choose(shift[1], maskOf(1), xs[k][0], xs[k][1], xs[k][NJ - 1], lo, hi);
    ys[k] = Lerp1(lo, hi, ty);
  }
  R lo, hi;
  choose(shift[2], maskOf(2), ys[0], ys[1], ys[NK - 1], lo, hi);
  return Lerp1(lo, hi, tz);
}

// The noise at q +- h e_A and q +- h e_B (A != B, h < 0.5), each equal to ValueNoise3 at its
// point. The four cells lie in one block of 3 x 3 x 2 corners (3 along A and B), so the
// corners are hashed once for all four; a pack of lanes takes this instead of two pairs. With
// a kept block (or null) the corners are hashed only when its lowest corner moved in a lane
// (and `near` does not hold them: see KeptLatticeValues).
template <int A, int B, class R>
CRN_HD inline void ValueNoiseCross(const V<R>& q, float h, R& plusA, R& minusA, R& plusB,
                                   R& minusB, LatticeBlock<R>* kept = nullptr,
                                   const LatticeBlock<R>* near = nullptr) {
  constexpr int C = 3 - A - B;
  const R c[3] = {q.x, q.y, q.z};
  const R loA = c[A] - h, hiA = c[A] + h, loB = c[B] - h, hiB = c[B] + h;
  const R fA[3] = {Floor(loA), Floor(c[A]), Floor(hiA)};
  const R fB[3] = {Floor(loB), Floor(c[B]), Floor(hiB)};
  const R fC = Floor(c[C]);
  R base[3];
  base[A] = fA[0];
  base[B] = fB[0];
  base[C] = fC;
  R local[3][3][3];
  const R(*v)[3][3] = KeptLatticeValues<C == 0 ? 2 : 3, C == 1 ? 2 : 3, C == 2 ? 2 : 3, R>(
      ToU32(base[0]), ToU32(base[1]), ToU32(base[2]), kept, near, local);
  const R tA[3] = {SmoothWeight(loA - fA[0]), SmoothWeight(c[A] - fA[1]), SmoothWeight(hiA - fA[2])};
  const R tB[3] = {SmoothWeight(loB - fB[0]), SmoothWeight(c[B] - fB[1]), SmoothWeight(hiB - fB[2])};
  const MaskOf<R> midA = fA[1] > fA[0], upA = fA[2] > fA[0];
  const MaskOf<R> midB = fB[1] > fB[0], upB = fB[2] > fB[0];
  R t[3];
  t[C] = SmoothWeight(c[C] - fC);
  t[A] = tA[0];
  t[B] = tB[1];
  minusA = BlendCellShifted<A, B, false, true>(v, midA, midB, t[0], t[1], t[2]);
  t[A] = tA[2];
  plusA = BlendCellShifted<A, B, true, true>(v, upA, midB, t[0], t[1], t[2]);
  t[A] = tA[1];
  t[B] = tB[0];
  minusB = BlendCellShifted<A, B, true, false>(v, midA, midB, t[0], t[1], t[2]);
  t[B] = tB[2];
  plusB = BlendCellShifted<A, B, true, true>(v, midA, upB, t[0], t[1], t[2]);
}

CRN_HD inline void ValueNoisePair(const F3& q, int axis, float h, float& plus, float& minus) {
  if (axis == 0) ValueNoisePair<0, float>(q, h, plus, minus);
  else if (axis == 1) ValueNoisePair<1, float>(q, h, plus, minus);
  else ValueNoisePair<2, float>(q, h, plus, minus);
}

// The offsets of the second and third noise channels.
CRN_HD inline F3 NoiseOffset1() { return F3(31.7f, 7.3f, 13.1f); }
CRN_HD inline F3 NoiseOffset2() { return F3(-11.9f, 47.2f, 3.7f); }

// Three decorrelated noise channels at q.
template <class R>
CRN_HD inline V<R> NoiseVector(const V<R>& q) {
  const V<R> q1 = q + NoiseOffset1(), q2 = q + NoiseOffset2();
  return V<R>(ValueNoise3<R>(q.x, q.y, q.z), ValueNoise3<R>(q1.x, q1.y, q1.z),
              ValueNoise3<R>(q2.x, q2.y, q2.z));
}

// Curl of the noise potential (psi x, psi y, psi z) = (noise at q, q + o1, q + o2) by central
// differences (step 0.15), scaled by 0.35.
template <class R>
CRN_HD inline V<R> CurlNoise(const V<R>& q, LatticeBlock<R>* kept = nullptr,
                             const LatticeBlock<R>* near = nullptr) {
  const float h = 0.15f;
  auto d = [h](const V<R>& at, auto axis) {
    R plus, minus;
    ValueNoisePair<decltype(axis)::value, R>(at, h, plus, minus);
    return (plus - minus) / 0.3f;
  };
  using X = std::integral_constant<int, 0>;
  using Y = std::integral_constant<int, 1>;
  using Z = std::integral_constant<int, 2>;
  const V<R> qx = q, qy = q + NoiseOffset1(), qz = q + NoiseOffset2();
  if constexpr (kIsScalar<R>) {
    const R dzdy = d(qz, Y()), dydz = d(qy, Z());
    const R dxdz = d(qx, Z()), dzdx = d(qz, X());
    const R dydx = d(qy, X()), dxdy = d(qx, Y());
    return V<R>(dzdy - dydz, dxdz - dzdx, dydx - dxdy) * 0.35f;
  } else {
    // Packs hash each channel's corners once for both of its derivatives (kept: 3 blocks).
    R p1, m1, p2, m2;
    ValueNoiseCross<1, 0, R>(qz, h, p1, m1, p2, m2, kept, near);
    const R dzdy = (p1 - m1) / 0.3f, dzdx = (p2 - m2) / 0.3f;
    ValueNoiseCross<2, 0, R>(qy, h, p1, m1, p2, m2, kept ? kept + 1 : nullptr, near ? near + 1 : nullptr);
    const R dydz = (p1 - m1) / 0.3f, dydx = (p2 - m2) / 0.3f;
    ValueNoiseCross<2, 1, R>(qx, h, p1, m1, p2, m2, kept ? kept + 2 : nullptr, near ? near + 2 : nullptr);
    const R dxdz = (p1 - m1) / 0.3f, dxdy = (p2 - m2) / 0.3f;
    return V<R>(dzdy - dydz, dxdz - dzdx, dydx - dxdy) * 0.35f;
  }
}

// Acceleration one wind gives a point at p moving with velocity v at time t (seconds); u is
// the point's place along its guide (0 root, 1 tip) and s its shadow factor. kept: null, or
// the lattice blocks of this wind and point kept between calls (see LatticeBlock): one for the
// gusts, then 3 for each of the first keptOctaves octaves of curl turbulence; near: null, or
// the same blocks of another point (see KeptLatticeValues).
template <class R>
CRN_HD inline V<R> WindAccel(const Wind& w, const V<R>& p, const V<R>& v, float t, float u, R s,
                             LatticeBlock<R>* kept = nullptr, int keptOctaves = 0,
                             const LatticeBlock<R>* near = nullptr) {
  const V<R> rel = p - w.pos;
  V<R> D;
  if (w.type == 1) {
    D = UnitOr(rel, V<R>(F3(0, 0, 1)));
  } else if (w.type == 2) {
    const V<R> r = rel - V<R>(w.dir) * Dot(V<R>(w.dir), rel);
    const V<R> tangent = UnitOr(Cross(V<R>(w.dir), r), V<R>(F3(0, 0, 1)));
    const V<R> radial = UnitOr(r, V<R>(F3(0, 0, 1)));
    D = tangent - radial * R(w.vortexPull);
  } else {
    D = w.dir;
  }
  const float W0 = w.strength / fmaxf(w.coupling, 0.001f);

  R G = 1.f;
  if (w.gustAmp > 0.f) {
    const R tg = w.gustTravel > 0.f ? R(t - Dot(V<R>(w.dir), rel) / w.gustTravel) : R(t);
    G = 1.f + w.gustAmp * (0.6f * Sin(6.28318530718f * w.gustFreq * tg + w.seed) +
                           0.4f * ValueNoise3<R>(1.7f * w.gustFreq * tg, w.seed, 0.5f, kept, near));
  }
  V<R> W = D * (W0 * G);

  if (w.turbulence > 0.f) {
    const float sigma = w.turbScale > 1e-6f ? 1.f / w.turbScale : 1.f;
    V<R> q = p * sigma - V<R>(w.dir * (t * w.turbSpeed * sigma));
    q.x += w.seed;
    V<R> sum(F3(0, 0, 0));
    float weight = 0.f, amp = 1.f;
    const int octaves = w.octaves < 1 ? 1 : w.octaves;
    for (int o = 0; o < octaves; ++o) {
      LatticeBlock<R>* blocks = kept && o < keptOctaves ? kept + 1 + 3 * o : nullptr;
      const LatticeBlock<R>* nearBlocks = blocks && near ? near + 1 + 3 * o : nullptr;
      sum += (w.curl != 0 ? CurlNoise<R>(q, blocks, nearBlocks) : NoiseVector<R>(q)) * amp;
      weight += amp;
      amp *= 0.5f;
      q = q * 2.03f;
    }
    const V<R> turb = sum / fmaxf(weight, 1e-6f);
    W += turb * (W0 * w.turbulence * Max(G, R(0.2f)));
  }

  if (w.range > 0.f) {
    const R f = 1.f - Length(rel) / w.range;
    W = Select(f > 0.f, W * (f * f), V<R>(F3(0, 0, 0)));
  }

  V<R> a = (W - v) * (s * w.coupling);
  if (w.flutter > 0.f && u > 0.f) {
    const V<R> q0(0.7f * p.x + 23.f * t, 0.7f * p.y - 19.f * t, 0.7f * p.z + w.seed);
    a += NoiseVector<R>(q0) * (Length(W) * w.flutter * w.coupling * u * u * s);
  }
  return a;
}

CRN_HD inline F3 WindAccel(const Wind& w, const F3& p, const F3& v, float t, float u, float s) {
  return WindAccel<float>(w, p, v, t, u, s);
}

// Closest point to p on triangle (a, b, c), by its Voronoi regions: the vertex regions of a
// and b, the edge ab, the vertex c, the edge ac, the edge bc, then the face, the first region
// that holds p giving the point. Every candidate is computed and the regions are applied in
// reverse order, so that lanes (or threads) in different regions run the same instructions.
template <class R>
CRN_HD inline V<R> ClosestPointOnTriangle(const V<R>& p, const V<R>& a, const V<R>& b,
                                          const V<R>& c) {
  const V<R> ab = b - a, ac = c - a, ap = p - a;
  const R d1 = Dot(ab, ap), d2 = Dot(ac, ap);
  const V<R> bp = p - b;
  const R d3 = Dot(ab, bp), d4 = Dot(ac, bp);
  const R vc = d1 * d4 - d3 * d2;
  const V<R> cp = p - c;
  const R d5 = Dot(ab, cp), d6 = Dot(ac, cp);
  const R vb = d5 * d2 - d1 * d6;
  const R va = d3 * d6 - d5 * d4;
  const R denom = 1.f / (va + vb + vc);
  V<R> r = a + ab * (vb * denom) + ac * (vc * denom);
  r = Select((va <= 0.f) & ((d4 - d3) >= 0.f) & ((d5 - d6) >= 0.f),
             b + (c - b) * ((d4 - d3) / ((d4 - d3) + (d5 - d6))), r);
  r = Select((vb <= 0.f) & (d2 >= 0.f) & (d6 <= 0.f), a + ac * (d2 / (d2 - d6)), r);
  r = Select((d6 >= 0.f) & (d5 <= d6), c, r);
  r = Select((vc <= 0.f) & (d1 >= 0.f) & (d3 <= 0.f), a + ab * (d1 / (d1 - d3)), r);
  r = Select((d3 >= 0.f) & (d4 <= d3), b, r);
  return Select((d1 <= 0.f) & (d2 <= 0.f), a, r);
}

// The cell of p in a non-empty grid, and its coordinates x, y, z; false outside the grid or
// for an empty one.
CRN_HD inline bool GridCellOf(const Grid& g, const F3& p, std::int64_t& cell, std::int64_t& x,
                              std::int64_t& y, std::int64_t& z) {
  if (g.cellStart == nullptr) return false;
  const float cx = floorf((p.x - g.origin.x) / g.cell);
  const float cy = floorf((p.y - g.origin.y) / g.cell);
  const float cz = floorf((p.z - g.origin.z) / g.cell);
  // Compared as floats first: a far point must not overflow the integer conversion.
  if (!(cx >= 0.f && cy >= 0.f && cz >= 0.f && cx < float(g.nx) && cy < float(g.ny) &&
        cz < float(g.nz)))
    return false;
  x = std::int64_t(cx);
  y = std::int64_t(cy);
  z = std::int64_t(cz);
  cell = (z * g.ny + y) * g.nx + x;
  return true;
}

CRN_HD inline bool GridCellOf(const Grid& g, const F3& p, std::int64_t& cell) {
  std::int64_t x, y, z;
  return GridCellOf(g, p, cell, x, y, z);
}

// The contact of p with the nearest triangle of its cell (index tri, closest point closest,
// squared distance best; best >= 1e29 when the cell had none): within [-4 offset - cell,
// offset) along the triangle's normal p moves to offset above it and the normal is returned,
// else the zero vector.
CRN_HD inline F3 GridContact(const Grid& g, F3& p, float offset, float best, const F3& closest,
                             std::int32_t tri) {
  const F3 none(0, 0, 0);
  if (!(best < 1e29f)) return none;
  const F3 n = g.triNormals[tri];
  const float d = crn::Dot(n, p - closest);
  if (!(d >= -4.f * offset - g.cell && d < offset)) return none;
  p += n * (offset - d);
  return n;
}

// Collides p with the triangles of its own grid cell: a point within [-4 offset - cell,
// offset) of the nearest triangle along its normal moves to offset above it (ties keep the
// earlier triangle). Returns the contact normal, or the zero vector without contact.
CRN_HD inline F3 GridCollide(const Grid& g, F3& p, float offset) {
  std::int64_t cell = 0;
  if (!GridCellOf(g, p, cell)) return F3(0, 0, 0);
  float best = 1e30f;
  F3 closest;
  std::int32_t tri = -1;
  for (std::int32_t i = g.cellStart[cell]; i < g.cellStart[cell + 1]; ++i) {
    const std::int32_t t = g.cellItems[i];
    const F3 q = ClosestPointOnTriangle<float>(p, g.triVerts[3 * t], g.triVerts[3 * t + 1],
                                               g.triVerts[3 * t + 2]);
    const float d2 = crn::LengthSq(p - q);
    if (d2 < best) {
      best = d2;
      closest = q;
      tri = t;
    }
  }
  return GridContact(g, p, offset, best, closest, tri);
}

// The phases of one substep s of the step below, on one guide (or one pack of guides): the
// targets T, bending rest distances, pinned roots and the integrated free points in p.
template <class R>
CRN_HD inline void BeginSubstep(int s, int P, V<R>* x, V<R>* v, const V<R>* A, const V<R>* B,
                                const V<R>* E, const Wind* winds, const Params& prm, const R* S,
                                V<R>* p, V<R>* T, R* bend, LatticeBlock<R>* kept, int keptOctaves) {
  using Vec = V<R>;
  const Vec zero(F3(0, 0, 0));
  const int substeps = prm.substeps < 1 ? 1 : prm.substeps;
  const int blocksPerPoint = 1 + 3 * keptOctaves;
  const float dt = prm.dt;
  const float uScale = P > 1 ? 1.f / float(P - 1) : 0.f;
  const float tau = float(s + 1) / float(substeps);
  const float t = prm.time0 + prm.frameTime * tau;
  for (int k = 0; k < P; ++k) T[k] = A[k] + (B[k] - A[k]) * tau;
  // The bending rest distances of this substep's targets.
  for (int k = 2; k < P; ++k) bend[k] = Length(T[k] - T[k - 2]);
  p[0] = T[0];
  if (P > 1) p[1] = T[1];

  // Integrate the free points.
  for (int k = 2; k < P; ++k) {
    Vec a = E ? E[k] : zero;
    a += prm.gravity;
    const R shade = S ? S[k] : R(1.f);
    for (int w = 0; w < prm.windCount; ++w) {
      // The previous point's blocks were just brought to its position.
      LatticeBlock<R>* own = kept ? kept + blocksPerPoint * (w * P + k) : nullptr;
      a += WindAccel<R>(winds[w], x[k], v[k], t, float(k) * uScale, shade, own, keptOctaves,
                        own ? own - blocksPerPoint : nullptr);
    }
    v[k] = (v[k] + a * dt) * (1.f - prm.drag);
    p[k] = x[k] + v[k] * dt;
  }
}

// The constraint rounds of a substep and the projection onto the rest lengths.
template <class R>
CRN_HD inline void SolveConstraints(int P, V<R>* p, const V<R>* T, const R* L, const R* bend,
                                    const Params& prm) {
  using Vec = V<R>;
  const int iterations = prm.iterations < 1 ? 1 : prm.iterations;
  for (int it = 0; it < iterations; ++it) {
    for (int k = 2; k < P; ++k) p[k] += (T[k] - p[k]) * prm.shapePull;
    for (int k = 2; k < P; ++k) {
      const R rest = bend[k];
      const Vec d = p[k] - p[k - 2];
      const R len = Length(d);
      const MaskOf<R> skip = len < 1e-12f;
      const float w = k - 2 <= 1 ? 0.f : 1.f;
      const Vec c = d * (prm.bendStiffness * (len - rest) / ((w + 1.f) * len));
      if (w != 0.f) p[k - 2] = Select(skip, p[k - 2], p[k - 2] + c * w);
      p[k] = Select(skip, p[k], p[k] - c);
    }
    for (int k = 2; k < P; ++k) {
      const Vec d = p[k] - p[k - 1];
      const R len = Length(d);
      const MaskOf<R> skip = len < 1e-12f;
      const float wPrev = k == 2 ? 0.f : 0.5f, wCur = k == 2 ? 1.f : 0.5f;
      const Vec c = d * ((len - L[k]) / len);
      if (wPrev != 0.f) p[k - 1] = Select(skip, p[k - 1], p[k - 1] + c * wPrev);
      p[k] = Select(skip, p[k], p[k] - c * wCur);
    }
  }

  // Every segment from point 1 on gets exactly its rest length.
  for (int k = 2; k < P; ++k) {
    const Vec d = p[k] - p[k - 1];
    const R len = Length(d);
    const Vec n = Select(len > 1e-20f, d / len, Vec(F3(0, 0, 1)));
    p[k] = p[k - 1] + n * L[k];
  }
}

// Collisions and friction, the new velocities and positions, the pinned roots and the blow-up
// guard against this substep's targets.
template <class R, class G>
CRN_HD inline void EndSubstep(int P, V<R>* x, V<R>* v, const V<R>* T, V<R>* p, const G& grid,
                              const Params& prm) {
  using Vec = V<R>;
  const Vec zero(F3(0, 0, 0));
  const float dt = prm.dt;
  for (int k = 2; k < P; ++k) {
    if (prm.collide != 0) {
      const Vec n = GridCollide(grid, p[k], prm.offset);
      const MaskOf<R> contact = (n.x != 0.f) | (n.y != 0.f) | (n.z != 0.f);
      const Vec delta = p[k] - x[k];
      const Vec tangential = delta - n * Dot(n, delta);
      p[k] = Select(contact, p[k] - tangential * prm.friction, p[k]);
    }
    v[k] = (p[k] - x[k]) / dt * (1.f - prm.damping);
    x[k] = p[k];
  }
  x[0] = T[0];
  v[0] = zero;
  if (P > 1) {
    x[1] = T[1];
    v[1] = zero;
  }

  // Blow-up guard against this substep's targets (NaN distances fail the comparison).
  R length = 0.f;
  for (int k = 1; k < P; ++k) length += Length(T[k] - T[k - 1]);
  const R limit = 1.5f * length + 0.001f;
  MaskOf<R> reset = !(LengthSq(x[0] - x[0]) <= limit * limit);  // NaN limit or root
  for (int k = 1; k < P; ++k)
    reset = reset | !(LengthSq(x[k] - x[0]) <= limit * limit) | (v[k].x != v[k].x);
  if (Any(reset))
    for (int k = 0; k < P; ++k) {
      x[k] = Select(reset, T[k], x[k]);
      v[k] = Select(reset, zero, v[k]);
    }
}

// Marks kept lattice blocks as not yet hashed (a pack starts with other guides).
template <class R>
CRN_HD inline void ForgetLatticeBlocks(LatticeBlock<R>* kept, int keptOctaves, const Params& prm,
                                       int P) {
  if (kept)
    for (int b = 0; b < (1 + 3 * keptOctaves) * prm.windCount * P; ++b) kept[b].valid = false;
}

// Advances one guide by one frame (with a pack type R: one guide per lane). x, v: the guide's
// P positions and velocities (in/out); A, B: its target pose at the start and the end of the
// frame; L: rest lengths (L[k] from point k-1 to k); E: external accelerations or null; S:
// shadow factors or null; scratch: 2 P points; bend: P numbers; kept: null, or
// (1 + 3 keptOctaves) windCount P lattice blocks for WindAccel (their contents need not be
// valid). Collisions call GridCollide(grid, point, offset) with a V<R> point: the Grid itself,
// or the CPU twin's view of it.
template <class R, class G>
CRN_HD inline void StepGuide(int P, V<R>* x, V<R>* v, const V<R>* A, const V<R>* B, const R* L,
                             const V<R>* E, const Wind* winds, const G& grid,
                             const Params& prm, const R* S, V<R>* scratch, R* bend,
                             LatticeBlock<R>* kept = nullptr, int keptOctaves = 0) {
  if (P < 1) return;
  ForgetLatticeBlocks(kept, keptOctaves, prm, P);
  V<R>* p = scratch;
  V<R>* T = scratch + P;
  const int substeps = prm.substeps < 1 ? 1 : prm.substeps;
  for (int s = 0; s < substeps; ++s) {
    BeginSubstep<R>(s, P, x, v, A, B, E, winds, prm, S, p, T, bend, kept, keptOctaves);
    SolveConstraints<R>(P, p, T, L, bend, prm);
    EndSubstep<R>(P, x, v, T, p, grid, prm);
  }
}

}  // namespace hsim
