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
#include "kernels/sim_types.h"

namespace hsim {

// Value noise: hashed values on the integer lattice, blended trilinearly with the weights
// f^2 (3 - 2f). A corner's value is (LatticeHash(i, j, k) & 0xFFFFFF) 2^-23 - 1; the hash is
// evaluated in stages (k, then j, then i) so corners that share k or (j, k) share the work.

// Corner values of the lattice block i0 + [0, NI) x j0 + [0, NJ) x k0 + [0, NK) (each count
// 2 or 3), as v[k][j][i].
template <int NI, int NJ, int NK>
CRN_HD inline void LatticeValues(std::int32_t i0, std::int32_t j0, std::int32_t k0, float v[3][3][3]) {
  for (int c = 0; c < NK; ++c) {
    const std::uint32_t hk = crn::Mix32((std::uint32_t(k0) + std::uint32_t(c)) * 83492791u);
    for (int b = 0; b < NJ; ++b) {
      const std::uint32_t hjk = crn::Mix32(hk ^ ((std::uint32_t(j0) + std::uint32_t(b)) * 19349663u));
      for (int a = 0; a < NI; ++a) {
        const std::uint32_t h = crn::Mix32(hjk ^ ((std::uint32_t(i0) + std::uint32_t(a)) * 73856093u));
        v[c][b][a] = float(h & 0xFFFFFFu) * (1.0f / 8388608.0f) - 1.0f;
      }
    }
  }
}

CRN_HD inline float SmoothWeight(float f) { return f * f * (3.f - 2.f * f); }

// The trilinear blend of the cell whose lowest corner is v[dk][dj][di]: x first, then y, then z.
CRN_HD inline float BlendCell(const float v[3][3][3], int di, int dj, int dk, float tx, float ty,
                              float tz) {
  auto lerp = [](float a, float b, float t) { return a + (b - a) * t; };
  const float x00 = lerp(v[dk][dj][di], v[dk][dj][di + 1], tx);
  const float x10 = lerp(v[dk][dj + 1][di], v[dk][dj + 1][di + 1], tx);
  const float x01 = lerp(v[dk + 1][dj][di], v[dk + 1][dj][di + 1], tx);
  const float x11 = lerp(v[dk + 1][dj + 1][di], v[dk + 1][dj + 1][di + 1], tx);
  return lerp(lerp(x00, x10, ty), lerp(x01, x11, ty), tz);
}

// Scalar value noise in [-1, 1).
CRN_HD inline float ValueNoise3(float x, float y, float z) {
  const float fx = floorf(x), fy = floorf(y), fz = floorf(z);
  float v[3][3][3];
  LatticeValues<2, 2, 2>(std::int32_t(fx), std::int32_t(fy), std::int32_t(fz), v);
  return BlendCell(v, 0, 0, 0, SmoothWeight(x - fx), SmoothWeight(y - fy), SmoothWeight(z - fz));
}

CRN_HD inline float ValueNoise3(const F3& q) { return ValueNoise3(q.x, q.y, q.z); }

// The noise at q + h e_A and q - h e_A (h < 0.5): the two points lie in the same or in
// neighbouring cells along axis A, so they share most corners. Each result equals ValueNoise3
// at its point.
template <int A>
CRN_HD inline void ValueNoisePair(const F3& q, float h, float& plus, float& minus) {
  const float c[3] = {q.x, q.y, q.z};
  const float lo = c[A] - h, hi = c[A] + h;
  float f[3] = {floorf(c[0]), floorf(c[1]), floorf(c[2])};
  const float flo = floorf(lo), fhi = floorf(hi);
  f[A] = flo;
  float v[3][3][3];
  const std::int32_t i = std::int32_t(f[0]), j = std::int32_t(f[1]), k = std::int32_t(f[2]);
  const bool apart = fhi > flo;  // the upper point lies in the next cell along the axis
  if (!apart) LatticeValues<2, 2, 2>(i, j, k, v);
  else if (A == 0) LatticeValues<3, 2, 2>(i, j, k, v);
  else if (A == 1) LatticeValues<2, 3, 2>(i, j, k, v);
  else LatticeValues<2, 2, 3>(i, j, k, v);
  float t[3] = {SmoothWeight(c[0] - f[0]), SmoothWeight(c[1] - f[1]), SmoothWeight(c[2] - f[2])};
  t[A] = SmoothWeight(lo - flo);
  minus = BlendCell(v, 0, 0, 0, t[0], t[1], t[2]);
  t[A] = SmoothWeight(hi - fhi);
  const int d = apart ? 1 : 0;
  plus = BlendCell(v, A == 0 ? d : 0, A == 1 ? d : 0, A == 2 ? d : 0, t[0], t[1], t[2]);
}

CRN_HD inline void ValueNoisePair(const F3& q, int axis, float h, float& plus, float& minus) {
  if (axis == 0) ValueNoisePair<0>(q, h, plus, minus);
  else if (axis == 1) ValueNoisePair<1>(q, h, plus, minus);
  else ValueNoisePair<2>(q, h, plus, minus);
}

// The offsets of the second and third noise channels.
CRN_HD inline F3 NoiseOffset1() { return F3(31.7f, 7.3f, 13.1f); }
CRN_HD inline F3 NoiseOffset2() { return F3(-11.9f, 47.2f, 3.7f); }

// Three decorrelated noise channels at q.
CRN_HD inline F3 NoiseVector(const F3& q) {
  return F3(ValueNoise3(q), ValueNoise3(q + NoiseOffset1()), ValueNoise3(q + NoiseOffset2()));
}

// Curl of the noise potential (psi x, psi y, psi z) = (noise at q, q + o1, q + o2) by central
// differences (step 0.15), scaled by 0.35.
CRN_HD inline F3 CurlNoise(const F3& q) {
  const float h = 0.15f;
  auto d = [h](const F3& at, auto axis) {
    float plus, minus;
    ValueNoisePair<decltype(axis)::value>(at, h, plus, minus);
    return (plus - minus) / 0.3f;
  };
  using X = std::integral_constant<int, 0>;
  using Y = std::integral_constant<int, 1>;
  using Z = std::integral_constant<int, 2>;
  const F3 qx = q, qy = q + NoiseOffset1(), qz = q + NoiseOffset2();
  const float dzdy = d(qz, Y()), dydz = d(qy, Z());
  const float dxdz = d(qx, Z()), dzdx = d(qz, X());
  const float dydx = d(qy, X()), dxdy = d(qx, Y());
  return F3(dzdy - dydz, dxdz - dzdx, dydx - dxdy) * 0.35f;
}

// Acceleration one wind gives a point at p moving with velocity v at time t (seconds); u is
// the point's place along its guide (0 root, 1 tip) and s its shadow factor.
CRN_HD inline F3 WindAccel(const Wind& w, const F3& p, const F3& v, float t, float u, float s) {
  const F3 rel = p - w.pos;
  F3 D;
  if (w.type == 1) {
    D = crn::UnitOr(rel, F3(0, 0, 1));
  } else if (w.type == 2) {
    const F3 r = rel - w.dir * crn::Dot(w.dir, rel);
    const F3 tangent = crn::UnitOr(crn::Cross(w.dir, r), F3(0, 0, 1));
    const F3 radial = crn::UnitOr(r, F3(0, 0, 1));
    D = tangent - radial * w.vortexPull;
  } else {
    D = w.dir;
  }
  const float W0 = w.strength / fmaxf(w.coupling, 0.001f);

  float G = 1.f;
  if (w.gustAmp > 0.f) {
    const float tg = w.gustTravel > 0.f ? t - crn::Dot(w.dir, rel) / w.gustTravel : t;
    G = 1.f + w.gustAmp * (0.6f * sinf(6.28318530718f * w.gustFreq * tg + w.seed) +
                           0.4f * ValueNoise3(1.7f * w.gustFreq * tg, w.seed, 0.5f));
  }
  F3 W = D * (W0 * G);

  if (w.turbulence > 0.f) {
    const float sigma = w.turbScale > 1e-6f ? 1.f / w.turbScale : 1.f;
    F3 q = p * sigma - w.dir * (t * w.turbSpeed * sigma);
    q.x += w.seed;
    F3 sum(0, 0, 0);
    float weight = 0.f, amp = 1.f;
    const int octaves = w.octaves < 1 ? 1 : w.octaves;
    for (int o = 0; o < octaves; ++o) {
      sum += (w.curl != 0 ? CurlNoise(q) : NoiseVector(q)) * amp;
      weight += amp;
      amp *= 0.5f;
      q = q * 2.03f;
    }
    const F3 turb = sum / fmaxf(weight, 1e-6f);
    W += turb * (W0 * w.turbulence * fmaxf(G, 0.2f));
  }

  if (w.range > 0.f) {
    const float f = 1.f - crn::Length(rel) / w.range;
    W = f > 0.f ? W * (f * f) : F3(0, 0, 0);
  }

  F3 a = (W - v) * (s * w.coupling);
  if (w.flutter > 0.f && u > 0.f) {
    const F3 q0(0.7f * p.x + 23.f * t, 0.7f * p.y - 19.f * t, 0.7f * p.z + w.seed);
    a += NoiseVector(q0) * (crn::Length(W) * w.flutter * w.coupling * u * u * s);
  }
  return a;
}

// Closest point to p on triangle (a, b, c), by its Voronoi regions.
CRN_HD inline F3 ClosestPointOnTriangle(const F3& p, const F3& a, const F3& b, const F3& c) {
  const F3 ab = b - a, ac = c - a, ap = p - a;
  const float d1 = crn::Dot(ab, ap), d2 = crn::Dot(ac, ap);
  if (d1 <= 0.f && d2 <= 0.f) return a;
  const F3 bp = p - b;
  const float d3 = crn::Dot(ab, bp), d4 = crn::Dot(ac, bp);
  if (d3 >= 0.f && d4 <= d3) return b;
  const float vc = d1 * d4 - d3 * d2;
  if (vc <= 0.f && d1 >= 0.f && d3 <= 0.f) return a + ab * (d1 / (d1 - d3));
  const F3 cp = p - c;
  const float d5 = crn::Dot(ab, cp), d6 = crn::Dot(ac, cp);
  if (d6 >= 0.f && d5 <= d6) return c;
  const float vb = d5 * d2 - d1 * d6;
  if (vb <= 0.f && d2 >= 0.f && d6 <= 0.f) return a + ac * (d2 / (d2 - d6));
  const float va = d3 * d6 - d5 * d4;
  if (va <= 0.f && (d4 - d3) >= 0.f && (d5 - d6) >= 0.f)
    return b + (c - b) * ((d4 - d3) / ((d4 - d3) + (d5 - d6)));
  const float denom = 1.f / (va + vb + vc);
  return a + ab * (vb * denom) + ac * (vc * denom);
}

// Collides p with the triangles of its own grid cell: a point within [-4 offset - cell,
// offset) of the nearest triangle along its normal moves to offset above it. Returns the
// contact normal, or the zero vector without contact.
CRN_HD inline F3 GridCollide(const Grid& g, F3& p, float offset) {
  const F3 none(0, 0, 0);
  if (g.cellStart == nullptr) return none;
  const float cx = floorf((p.x - g.origin.x) / g.cell);
  const float cy = floorf((p.y - g.origin.y) / g.cell);
  const float cz = floorf((p.z - g.origin.z) / g.cell);
  // Compared as floats first: a far point must not overflow the integer conversion.
  if (!(cx >= 0.f && cy >= 0.f && cz >= 0.f && cx < float(g.nx) && cy < float(g.ny) &&
        cz < float(g.nz)))
    return none;
  const std::int64_t cell =
      (std::int64_t(cz) * g.ny + std::int64_t(cy)) * g.nx + std::int64_t(cx);
  float best = 1e30f;
  F3 closest;
  std::int32_t tri = -1;
  for (std::int32_t i = g.cellStart[cell]; i < g.cellStart[cell + 1]; ++i) {
    const std::int32_t t = g.cellItems[i];
    const F3 q = ClosestPointOnTriangle(p, g.triVerts[3 * t], g.triVerts[3 * t + 1],
                                        g.triVerts[3 * t + 2]);
    const float d2 = crn::LengthSq(p - q);
    if (d2 < best) {
      best = d2;
      closest = q;
      tri = t;
    }
  }
  if (!(best < 1e29f)) return none;
  const F3 n = g.triNormals[tri];
  const float d = crn::Dot(n, p - closest);
  if (!(d >= -4.f * offset - g.cell && d < offset)) return none;
  p += n * (offset - d);
  return n;
}

// Advances one guide by one frame. x, v: the guide's P positions and velocities (in/out);
// A, B: its target pose at the start and the end of the frame; L: rest lengths (L[k] from
// point k-1 to k); E: external accelerations or null; S: shadow factors or null;
// scratch: 2 P points; bend: P floats.
CRN_HD inline void StepGuide(int P, F3* x, F3* v, const F3* A, const F3* B, const float* L,
                             const F3* E, const Wind* winds, const Grid& grid, const Params& prm,
                             const float* S, F3* scratch, float* bend) {
  if (P < 1) return;
  F3* p = scratch;
  F3* T = scratch + P;
  const int substeps = prm.substeps < 1 ? 1 : prm.substeps;
  const int iterations = prm.iterations < 1 ? 1 : prm.iterations;
  const float dt = prm.dt;
  const float uScale = P > 1 ? 1.f / float(P - 1) : 0.f;
  for (int s = 0; s < substeps; ++s) {
    const float tau = float(s + 1) / float(substeps);
    const float t = prm.time0 + prm.frameTime * tau;
    for (int k = 0; k < P; ++k) T[k] = A[k] + (B[k] - A[k]) * tau;
    // The bending rest distances of this substep's targets.
    for (int k = 2; k < P; ++k) bend[k] = crn::Length(T[k] - T[k - 2]);
    p[0] = T[0];
    if (P > 1) p[1] = T[1];

    // Integrate the free points.
    for (int k = 2; k < P; ++k) {
      F3 a = E ? E[k] : F3(0, 0, 0);
      a += prm.gravity;
      const float shade = S ? S[k] : 1.f;
      for (int w = 0; w < prm.windCount; ++w)
        a += WindAccel(winds[w], x[k], v[k], t, float(k) * uScale, shade);
      v[k] = (v[k] + a * dt) * (1.f - prm.drag);
      p[k] = x[k] + v[k] * dt;
    }

    for (int it = 0; it < iterations; ++it) {
      for (int k = 2; k < P; ++k) p[k] += (T[k] - p[k]) * prm.shapePull;
      for (int k = 2; k < P; ++k) {
        const float rest = bend[k];
        const F3 d = p[k] - p[k - 2];
        const float len = crn::Length(d);
        if (len < 1e-12f) continue;
        const float w = k - 2 <= 1 ? 0.f : 1.f;
        const F3 c = d * (prm.bendStiffness * (len - rest) / ((w + 1.f) * len));
        p[k - 2] += c * w;
        p[k] -= c;
      }
      for (int k = 2; k < P; ++k) {
        const F3 d = p[k] - p[k - 1];
        const float len = crn::Length(d);
        if (len < 1e-12f) continue;
        const float wPrev = k == 2 ? 0.f : 0.5f, wCur = k == 2 ? 1.f : 0.5f;
        const F3 c = d * ((len - L[k]) / len);
        p[k - 1] += c * wPrev;
        p[k] -= c * wCur;
      }
    }

    // Every segment from point 1 on gets exactly its rest length.
    for (int k = 2; k < P; ++k) {
      const F3 d = p[k] - p[k - 1];
      const float len = crn::Length(d);
      const F3 n = len > 1e-20f ? d / len : F3(0, 0, 1);
      p[k] = p[k - 1] + n * L[k];
    }

    for (int k = 2; k < P; ++k) {
      if (prm.collide != 0) {
        const F3 n = GridCollide(grid, p[k], prm.offset);
        if (n.x != 0.f || n.y != 0.f || n.z != 0.f) {
          const F3 delta = p[k] - x[k];
          const F3 tangential = delta - n * crn::Dot(n, delta);
          p[k] -= tangential * prm.friction;
        }
      }
      v[k] = (p[k] - x[k]) / dt * (1.f - prm.damping);
      x[k] = p[k];
    }
    x[0] = T[0];
    v[0] = F3(0, 0, 0);
    if (P > 1) {
      x[1] = T[1];
      v[1] = F3(0, 0, 0);
    }

    // Blow-up guard against this substep's targets (NaN distances fail the comparison).
    float length = 0.f;
    for (int k = 1; k < P; ++k) length += crn::Length(T[k] - T[k - 1]);
    const float limit = 1.5f * length + 0.001f;
    bool reset = false;
    for (int k = 0; k < P; ++k)
      if (!(crn::LengthSq(x[k] - x[0]) <= limit * limit) || v[k].x != v[k].x) reset = true;
    if (reset)
      for (int k = 0; k < P; ++k) {
        x[k] = T[k];
        v[k] = F3(0, 0, 0);
      }
  }
}

}  // namespace hsim
