#pragma once
// One path-traced sample of one pixel, shared by the kernel hrt::kPass and its CPU twin:
// random numbers, camera rays, BVH traversal, ray-triangle and ray-round-cone tests, shadow
// transmittance through hair, hair and mesh shading, and the values a pass adds to the
// accumulation buffers.
#include <cstdint>

#if defined(__SSE2__) && !defined(__CUDA_ARCH__)
#include <immintrin.h>
#define CRN_SLABS_SSE 1
#endif

#include "kernels/f4.h"
#include "kernels/hair_model.h"
#include "kernels/hd.h"
#include "kernels/rt_records.h"
#include "kernels/vec3.h"
#include "kernels/wide_bvh.h"

namespace hrt {

// The pixel's random stream for one pass: a permuted congruential sequence.
struct PixelRng {
  std::uint32_t state;
  bool started;

  CRN_HD PixelRng(int x, int y, int width, int pass)
      : state((std::uint32_t(y * width + x) * 9781u + std::uint32_t(pass) * 6271u) * 3399858189u +
              3968020856u),
        started(false) {}

  CRN_HD float Next() {
    if (started) state = state * 747796405u + 2891336453u;
    started = true;
    const std::uint32_t w = ((state >> ((state >> 28) + 4u)) ^ state) * 277803737u;
    return float((w >> 22) ^ (w & 0xFFFFFFu)) / 16777216.f;
  }
};

namespace trace {

using crn::V3;

constexpr float kFar = 1e30f;
constexpr int kStackSize = 64;
constexpr int kMaxPathSteps = 6;
constexpr int kMaxShadowCrossings = 24;

CRN_HD inline float Minf(float a, float b) { return a < b ? a : b; }
CRN_HD inline float Maxf(float a, float b) { return a > b ? a : b; }
CRN_HD inline float Sum(const V3& v) { return v.x + v.y + v.z; }
CRN_HD inline V3 Unit(const V3& v, const V3& fallback) { return crn::UnitOr(v, fallback); }

// Linear colour of a packed display-encoded channel byte.
CRN_HD inline float DecodeByte(std::uint32_t byte) {
  const float x = float(byte) / 255.f;
  return x * x * (0.3f * x + 0.7f);
}
CRN_HD inline V3 DecodeColour(std::uint32_t packed) {
  return V3(DecodeByte((packed >> 16) & 0xFFu), DecodeByte((packed >> 8) & 0xFFu),
            DecodeByte(packed & 0xFFu));
}

CRN_HD inline V3 StrandColourAt(const SegRec& s, float v) {
  const V3 root = DecodeColour(s.rootColour), tip = DecodeColour(s.tipColour);
  return root + (tip - root) * v;
}

// Per-strand random values from the strand index: one for the hair colour, one for
// absorption, glints and waves.
CRN_HD inline float ColourRandom(std::int32_t strand) {
  return float((std::uint32_t(strand) * 2654435761u) % 65536u) / 65536.f;
}
CRN_HD inline float LobeRandom(std::int32_t strand) {
  return 0.01f * float(std::uint32_t(strand) % 977u);
}
CRN_HD inline float StrandIdValue(std::int32_t strand) {
  return float((std::uint32_t(strand) * 2654435761u) % 16777216u) / 16777216.f;
}

CRN_HD inline V3 UniformSphere(float u1, float u2) {
  const float z = 1.f - 2.f * u1;
  const float r = sqrtf(Maxf(0.f, 1.f - z * z));
  const float phi = 2.f * kPi * u2;
  return V3(r * cosf(phi), r * sinf(phi), z);
}

// A cosine-weighted direction about the unit normal n.
CRN_HD inline V3 CosineAbout(const V3& n, float u1, float u2) {
  const float r = sqrtf(u1), a = 2.f * kPi * u2;
  const V3 helper = fabsf(n.x) > 0.9f ? V3(0, 1, 0) : V3(1, 0, 0);
  const V3 t = Unit(crn::Cross(helper, n), V3(1, 0, 0));
  const V3 b = crn::Cross(n, t);
  return t * (r * cosf(a)) + b * (r * sinf(a)) + n * sqrtf(Maxf(0.f, 1.f - u1));
}

struct Ray {
  V3 o, d, inv;
};

CRN_HD inline float InverseComponent(float d) { return fabsf(d) <= 1e-12f ? 1e12f : 1.f / d; }

CRN_HD inline Ray MakeRay(const V3& o, const V3& d) {
  return Ray{o, d, V3(InverseComponent(d.x), InverseComponent(d.y), InverseComponent(d.z))};
}

CRN_HD inline Ray CameraRay(const Camera& cam, int x, int y, int width, int height, float u1, float u2) {
  const float ndcX = 2.f * (float(x) + u1) / float(width) - 1.f;
  const float ndcY = 1.f - 2.f * (float(y) + u2) / float(height);
  const float aspect = float(height) / float(width);
  if (cam.orthoHalfWidth > 0.f) {
    const float h = cam.orthoHalfWidth;
    return MakeRay(cam.position + cam.right * (h * ndcX) + cam.up * (h * ndcY * aspect), cam.forward);
  }
  const V3 d = cam.forward + cam.right * (cam.tanHalfFov * ndcX) + cam.up * (cam.tanHalfFov * ndcY * aspect);
  return MakeRay(cam.position, d / crn::Length(d));
}

// Entry and exit distances of the ray through a node's box.
CRN_HD inline void Slabs(const BvhNode& n, const Ray& r, float& entry, float& exit) {
  const float x0 = (n.lo.x - r.o.x) * r.inv.x, x1 = (n.hi.x - r.o.x) * r.inv.x;
  const float y0 = (n.lo.y - r.o.y) * r.inv.y, y1 = (n.hi.y - r.o.y) * r.inv.y;
  const float z0 = (n.lo.z - r.o.z) * r.inv.z, z1 = (n.hi.z - r.o.z) * r.inv.z;
  entry = Maxf(Maxf(Minf(x0, x1), Minf(y0, y1)), Minf(z0, z1));
  exit = Minf(Minf(Maxf(x0, x1), Maxf(y0, y1)), Maxf(z0, z1));
}

// The ray as the box tests of a traversal take it: on x86 hosts its origin and inverse
// direction in SSE registers (lane 3 zero), built once per traversal.
struct SlabRay {
  const Ray* ray;
#if defined(CRN_SLABS_SSE)
  __m128 o, inv;
  explicit SlabRay(const Ray& r)
      : ray(&r), o(_mm_setr_ps(r.o.x, r.o.y, r.o.z, 0.f)), inv(_mm_setr_ps(r.inv.x, r.inv.y, r.inv.z, 0.f)) {}
#else
  CRN_HD explicit SlabRay(const Ray& r) : ray(&r) {}
#endif
};

// Entry and exit distances of the ray through a pair of sibling nodes (pair[0], pair[1]). On
// x86 hosts the two boxes are tested with SSE: the same operations in the same order (minps
// and maxps pick as Minf and Maxf do, NaN included), so the results are bit for bit those of
// Slabs.
CRN_HD inline void SlabsPair(const BvhNode* pair, const SlabRay& r, float& e0, float& x0, float& e1, float& x1) {
#if defined(CRN_SLABS_SSE)
  // Lane 3 of a node's loads holds first / count; it is zeroed before any arithmetic.
  const __m128 keep = _mm_castsi128_ps(_mm_setr_epi32(-1, -1, -1, 0));
  auto one = [&](const BvhNode& n, float& entry, float& exit) {
    const __m128 lo = _mm_and_ps(_mm_loadu_ps(&n.lo.x), keep), hi = _mm_and_ps(_mm_loadu_ps(&n.hi.x), keep);
    const __m128 t0 = _mm_mul_ps(_mm_sub_ps(lo, r.o), r.inv), t1 = _mm_mul_ps(_mm_sub_ps(hi, r.o), r.inv);
    const __m128 mn = _mm_min_ps(t0, t1), mx = _mm_max_ps(t0, t1);
    const __m128 en = _mm_max_ss(_mm_max_ss(mn, _mm_shuffle_ps(mn, mn, 1)), _mm_shuffle_ps(mn, mn, 2));
    const __m128 ex = _mm_min_ss(_mm_min_ss(mx, _mm_shuffle_ps(mx, mx, 1)), _mm_shuffle_ps(mx, mx, 2));
    entry = _mm_cvtss_f32(en);
    exit = _mm_cvtss_f32(ex);
  };
  one(pair[0], e0, x0);
  one(pair[1], e1, x1);
#else
  Slabs(pair[0], *r.ray, e0, x0);
  Slabs(pair[1], *r.ray, e1, x1);
#endif
}

// Walks the BVH as far as best allows; test.Leaf(first, count, best) tests the primitives of a
// leaf in order, may lower best and returns true to stop the walk. A node is skipped when its entry distance is not below the
// best hit so far or its exit distance is below max(entry, 0). Children are tested when their
// parent is visited and the nearer one is visited first, so best shrinks early; the walk
// finds the same nearest hit as any order would (up to exact ties between primitives). The
// stack holds 64 entries; children are not pushed when it already holds more than 62.
template <class Test>
CRN_HD inline void Traverse(const BvhNode* nodes, std::uint64_t nodeCount, const Ray& r, float& best,
                            Test& test) {
  if (nodes == nullptr || nodeCount == 0) return;
  int stack[kStackSize];
  float entries[kStackSize];
  float entry, exit;
  Slabs(nodes[0], r, entry, exit);
  if (!(entry < best) || exit < Maxf(entry, 0.f)) return;
  const SlabRay sr(r);
  int sp = 0;
  stack[sp] = 0;
  entries[sp++] = entry;
  while (sp > 0) {
    --sp;
    if (!(entries[sp] < best)) continue;
    const BvhNode& n = nodes[stack[sp]];
    if (n.count > 0) {
      if (test.Leaf(n.first, n.count, best)) return;
      continue;
    }
    if (sp > kStackSize - 2) continue;
    float e0, x0, e1, x1;
    SlabsPair(nodes + n.first, sr, e0, x0, e1, x1);
    const bool in0 = e0 < best && !(x0 < Maxf(e0, 0.f));
    const bool in1 = e1 < best && !(x1 < Maxf(e1, 0.f));
#if defined(CRN_SLABS_SSE)
    // The children's own children (or primitives) are fetched while the nearer one is walked.
    const BvhNode* kids = nodes + n.first;
    for (int k = 0; k < 2; ++k) {
      if (!(k == 0 ? in0 : in1)) continue;
      if (kids[k].count > 0) test.Prefetch(kids[k].first, kids[k].count);
      else _mm_prefetch(reinterpret_cast<const char*>(nodes + kids[k].first), _MM_HINT_T0);
    }
#endif
    if (in0 && in1) {
      const bool firstNear = !(e1 < e0);
      stack[sp] = firstNear ? n.first + 1 : n.first;
      entries[sp++] = firstNear ? e1 : e0;
      stack[sp] = firstNear ? n.first : n.first + 1;
      entries[sp++] = firstNear ? e0 : e1;
    } else if (in0 || in1) {
      stack[sp] = in0 ? n.first : n.first + 1;
      entries[sp++] = in0 ? e0 : e1;
    }
  }
}

// Moller-Trumbore; on a hit in (tmin, best) sets t and the barycentrics u, v.
CRN_HD inline bool HitTriangle(const TriRec& tri, const Ray& r, float tmin, float best, float& t,
                               float& u, float& v) {
  const V3 e1 = tri.p1 - tri.p0, e2 = tri.p2 - tri.p0;
  const V3 p = crn::Cross(r.d, e2);
  const float det = crn::Dot(e1, p);
  if (fabsf(det) < 1e-20f) return false;
  const float inv = 1.f / det;
  const V3 s = r.o - tri.p0;
  const float uu = crn::Dot(s, p) * inv;
  if (uu < 0.f || uu > 1.f) return false;
  const V3 q = crn::Cross(s, e1);
  const float vv = crn::Dot(r.d, q) * inv;
  if (vv < 0.f || uu + vv > 1.f) return false;
  const float tt = crn::Dot(e2, q) * inv;
  if (!(tt > tmin && tt < best)) return false;
  t = tt;
  u = uu;
  v = vv;
  return true;
}

// A ray against the round cone around a hair segment: whether it passes within the radius
// and, if so, its entry distance, the distance tc of its closest approach to the segment and
// that point's parameter s along the segment.
struct ConeHit {
  float entry, tc, s;
};

CRN_HD inline bool RoundCone(const SegRec& seg, const Ray& r, ConeHit& h) {
  const V3 d = seg.p1 - seg.p0, w = r.o - seg.p0;
  const float dd = crn::Dot(r.d, d), dw = crn::Dot(r.d, w);
  const float den = crn::Dot(d, d) - dd * dd;
  float ss = 0.f;
  if (den > 1e-20f) ss = model::Clampf((crn::Dot(d, w) - dd * dw) / den, 0.f, 1.f);
  const V3 q = seg.p0 + d * ss;
  const float tc = crn::Dot(r.d, q - r.o);
  const V3 off = r.o + r.d * tc - q;
  const float e2 = crn::Dot(off, off);
  const float rad = seg.r0 + ss * (seg.r1 - seg.r0);
  if (e2 > rad * rad) return false;
  h = ConeHit{tc - sqrtf(rad * rad - e2), tc, ss};
  return true;
}

// The hit of a ray with a segment in (tmin, best): the entry distance, or tc when that is
// not above tmin; sets t and the parameter s of the closest approach.
CRN_HD inline bool HitSegment(const SegRec& seg, const Ray& r, float tmin, float best, float& t,
                              float& s) {
  ConeHit h;
  if (!RoundCone(seg, r, h)) return false;
  const float tt = h.entry > tmin ? h.entry : h.tc;
  if (!(tt > tmin && tt < best)) return false;
  t = tt;
  s = h.s;
  return true;
}

#if defined(CRN_SLABS_SSE)
// RoundCone on four segments at once, one per lane (their end points, radii and the ray as
// SSE lanes): the same operations in the same order, so the cones found are bit for bit those
// of the scalar test. Returns the lanes within radius as a bit mask and stores their entry
// distances, closest-approach distances and parameters.
inline int ConeLanes(__m128 p0x, __m128 p0y, __m128 p0z, __m128 r0, __m128 p1x, __m128 p1y, __m128 p1z,
                     __m128 r1, const Ray& r, float te[4], float tt[4], float ts[4]) {
  const __m128 ox = _mm_set1_ps(r.o.x), oy = _mm_set1_ps(r.o.y), oz = _mm_set1_ps(r.o.z);
  const __m128 Dx = _mm_set1_ps(r.d.x), Dy = _mm_set1_ps(r.d.y), Dz = _mm_set1_ps(r.d.z);
  auto dot = [](__m128 ax, __m128 ay, __m128 az, __m128 bx, __m128 by, __m128 bz) {
    return _mm_add_ps(_mm_add_ps(_mm_mul_ps(ax, bx), _mm_mul_ps(ay, by)), _mm_mul_ps(az, bz));
  };
  const __m128 dx = _mm_sub_ps(p1x, p0x), dy = _mm_sub_ps(p1y, p0y), dz = _mm_sub_ps(p1z, p0z);
  const __m128 wx = _mm_sub_ps(ox, p0x), wy = _mm_sub_ps(oy, p0y), wz = _mm_sub_ps(oz, p0z);
  const __m128 dd = dot(Dx, Dy, Dz, dx, dy, dz), dw = dot(Dx, Dy, Dz, wx, wy, wz);
  const __m128 den = _mm_sub_ps(dot(dx, dy, dz, dx, dy, dz), _mm_mul_ps(dd, dd));
  const __m128 num = _mm_sub_ps(dot(dx, dy, dz, wx, wy, wz), _mm_mul_ps(dd, dw));
  // Clampf(num / den, 0, 1) where den > 1e-20, else 0; NaN stays NaN as in Clampf.
  __m128 ss = _mm_div_ps(num, den);
  const __m128 zero = _mm_setzero_ps(), one = _mm_set1_ps(1.f);
  const __m128 below = _mm_cmplt_ps(ss, zero), above = _mm_cmpgt_ps(ss, one);
  ss = _mm_or_ps(_mm_and_ps(above, one), _mm_andnot_ps(above, ss));
  ss = _mm_andnot_ps(below, ss);
  ss = _mm_and_ps(_mm_cmpgt_ps(den, _mm_set1_ps(1e-20f)), ss);
  const __m128 qx = _mm_add_ps(p0x, _mm_mul_ps(dx, ss)), qy = _mm_add_ps(p0y, _mm_mul_ps(dy, ss)),
               qz = _mm_add_ps(p0z, _mm_mul_ps(dz, ss));
  const __m128 tc = dot(Dx, Dy, Dz, _mm_sub_ps(qx, ox), _mm_sub_ps(qy, oy), _mm_sub_ps(qz, oz));
  const __m128 fx = _mm_sub_ps(_mm_add_ps(ox, _mm_mul_ps(Dx, tc)), qx),
               fy = _mm_sub_ps(_mm_add_ps(oy, _mm_mul_ps(Dy, tc)), qy),
               fz = _mm_sub_ps(_mm_add_ps(oz, _mm_mul_ps(Dz, tc)), qz);
  const __m128 e2 = dot(fx, fy, fz, fx, fy, fz);
  const __m128 rad = _mm_add_ps(r0, _mm_mul_ps(ss, _mm_sub_ps(r1, r0)));
  const __m128 rad2 = _mm_mul_ps(rad, rad);
  const int within = _mm_movemask_ps(_mm_cmpngt_ps(e2, rad2));
  if (within == 0) return 0;
  _mm_storeu_ps(te, _mm_sub_ps(tc, _mm_sqrt_ps(_mm_sub_ps(rad2, e2))));
  _mm_storeu_ps(tt, tc);
  _mm_storeu_ps(ts, ss);
  return within;
}
#endif

// Calls hit(i, cone) for every segment i of segs[first, first + count) that the ray passes
// within radius of, in index order. On x86 hosts four segments are tested at a time with SSE
// (ConeLanes).
template <class OnHit>
CRN_HD inline void ForEachConeHit(const SegRec* segs, int first, int count, const Ray& r, OnHit& hit) {
#if defined(CRN_SLABS_SSE)
  for (int base = first; base < first + count; base += 4) {
    const int n = first + count - base < 4 ? first + count - base : 4;
    // The first 32 bytes of a record are p0, r0, p1, r1; lanes past the leaf repeat its last.
    __m128 a[4], b[4];
    for (int k = 0; k < 4; ++k) {
      const SegRec& g = segs[base + (k < n ? k : n - 1)];
      a[k] = _mm_loadu_ps(&g.p0.x);
      b[k] = _mm_loadu_ps(&g.p1.x);
    }
    _MM_TRANSPOSE4_PS(a[0], a[1], a[2], a[3]);
    _MM_TRANSPOSE4_PS(b[0], b[1], b[2], b[3]);
    float te[4], tt[4], ts[4];
    const int within = ConeLanes(a[0], a[1], a[2], a[3], b[0], b[1], b[2], b[3], r, te, tt, ts) & ((1 << n) - 1);
    for (int k = 0; k < n; ++k)
      if (within & (1 << k)) hit(base + k, ConeHit{te[k], tt[k], ts[k]});
  }
#else
  for (int i = first; i < first + count; ++i) {
    ConeHit h;
    if (RoundCone(segs[i], r, h)) hit(i, h);
  }
#endif
}

#if defined(CRN_SLABS_SSE)
// Fetches the two cache lines of a wide node or segment block.
inline void Prefetch128(const void* p) {
  _mm_prefetch(static_cast<const char*>(p), _MM_HINT_T0);
  _mm_prefetch(static_cast<const char*>(p) + 64, _MM_HINT_T0);
}

// A ray's origin and inverse direction in all four lanes, for the wide view's box tests.
struct WideRay {
  __m128 ox, oy, oz, ix, iy, iz;
  explicit WideRay(const Ray& r)
      : ox(_mm_set1_ps(r.o.x)), oy(_mm_set1_ps(r.o.y)), oz(_mm_set1_ps(r.o.z)), ix(_mm_set1_ps(r.inv.x)),
        iy(_mm_set1_ps(r.inv.y)), iz(_mm_set1_ps(r.inv.z)) {}
};

// The slab arithmetic of Slabs on a wide node's four boxes: per axis the near and far
// distances (entry = max of the nears, exit = min of the fars).
struct LaneSlabs {
  __m128 nx, ny, nz, fx, fy, fz;
  LaneSlabs(const WideNode& n, const WideRay& r) {
    const __m128 x0 = _mm_mul_ps(_mm_sub_ps(_mm_load_ps(n.lox), r.ox), r.ix);
    const __m128 x1 = _mm_mul_ps(_mm_sub_ps(_mm_load_ps(n.hix), r.ox), r.ix);
    const __m128 y0 = _mm_mul_ps(_mm_sub_ps(_mm_load_ps(n.loy), r.oy), r.iy);
    const __m128 y1 = _mm_mul_ps(_mm_sub_ps(_mm_load_ps(n.hiy), r.oy), r.iy);
    const __m128 z0 = _mm_mul_ps(_mm_sub_ps(_mm_load_ps(n.loz), r.oz), r.iz);
    const __m128 z1 = _mm_mul_ps(_mm_sub_ps(_mm_load_ps(n.hiz), r.oz), r.iz);
    nx = _mm_min_ps(x0, x1);
    ny = _mm_min_ps(y0, y1);
    nz = _mm_min_ps(z0, z1);
    fx = _mm_max_ps(x0, x1);
    fy = _mm_max_ps(y0, y1);
    fz = _mm_max_ps(z0, z1);
  }
  __m128 Entry() const { return _mm_max_ps(_mm_max_ps(nx, ny), nz); }
  __m128 Exit() const { return _mm_min_ps(_mm_min_ps(fx, fy), fz); }
  // Lanes entered before best and not left before max(entry, 0).
  static __m128 Passing(__m128 entry, __m128 exit, float best) {
    return _mm_and_ps(_mm_cmplt_ps(entry, _mm_set1_ps(best)), _mm_cmpnlt_ps(exit, _mm_max_ps(entry, _mm_setzero_ps())));
  }
};

// Traverse on the wide view of the segment BVH, replaying the binary walk step for step: the
// stack holds the binary tree's nodes as the binary walk holds them (a leaf, a node opened by
// a wide node, or a child whose own children are one lane pair of a wide node), boxes are
// tested with the same arithmetic, and a child's box (the union of its children's boxes) is
// tested through their slab values, which give the same entry and exit as its own box (min,
// max and the rounded slab arithmetic are monotone). So the same leaves are tested in the same
// order with the same best as by Traverse over root, and the results are bit for bit equal;
// what changes is that one load brings two levels of boxes. test.Block(first, count, blocks,
// best) tests a leaf's segments.
template <class Test>
inline void TraverseWide(const BvhNode* root, const WideScene& w, const Ray& r, float& best, Test& test) {
  float entry, exit;
  Slabs(root[0], r, entry, exit);
  if (!(entry < best) || exit < Maxf(entry, 0.f)) return;
  // kind: > 0 a leaf (WideNode::info), 0 a node opened by wide node item, < 0 the child whose
  // children are lane pair -1 - kind of wide node item.
  std::int32_t item[kStackSize], kind[kStackSize];
  float entries[kStackSize];
  // For a child whose children are a lane pair: their entries and exits, worked out when its
  // parent's wide node was opened.
  float pairEntry[kStackSize][2], pairExit[kStackSize][2];
  alignas(16) float laneEntry[4], laneExit[4];
  const WideRay wr(r);
  int sp = 0;
  item[sp] = 0;
  kind[sp] = 0;
  entries[sp++] = entry;
  while (sp > 0) {
    --sp;
    if (!(entries[sp] < best)) continue;
    const std::int32_t at = item[sp], k = kind[sp];
    if (k > 0) {
      if (test.Block(at, k & 31, w.segBlocks + (k >> 5), best)) return;
      continue;
    }
    if (sp > kStackSize - 2) continue;
    const WideNode& n = w.segNodes[at];
    std::int32_t item0, item1, kind0, kind1;
    float e0, e1, x0, x1;  // the two children's entries and exits
    if (k == 0) {
      LaneSlabs sl(n, wr);
      const __m128 grandEntry = sl.Entry(), grandExit = sl.Exit();
      _mm_store_ps(laneEntry, grandEntry);
      _mm_store_ps(laneExit, grandExit);
      // The grandchildren the ray enters are fetched now, a step before their pair is tested.
      for (int mask = _mm_movemask_ps(LaneSlabs::Passing(grandEntry, grandExit, best)); mask != 0; mask &= mask - 1) {
        const int lane = __builtin_ctz(unsigned(mask));
        if (n.info[lane] > 0)
          Prefetch128(w.segBlocks + (n.info[lane] >> 5));
        else if (n.kid[lane] >= 0)
          Prefetch128(w.segNodes + n.kid[lane]);
      }
      // The children are the lane pairs: each one's slab interval is the hull of its lanes'.
      auto swapPairs = [](__m128 v) { return _mm_shuffle_ps(v, v, _MM_SHUFFLE(2, 3, 0, 1)); };
      sl.nx = _mm_min_ps(sl.nx, swapPairs(sl.nx));
      sl.ny = _mm_min_ps(sl.ny, swapPairs(sl.ny));
      sl.nz = _mm_min_ps(sl.nz, swapPairs(sl.nz));
      sl.fx = _mm_max_ps(sl.fx, swapPairs(sl.fx));
      sl.fy = _mm_max_ps(sl.fy, swapPairs(sl.fy));
      sl.fz = _mm_max_ps(sl.fz, swapPairs(sl.fz));
      alignas(16) float en[4], ex[4];
      _mm_store_ps(en, sl.Entry());
      _mm_store_ps(ex, sl.Exit());
      e0 = en[0];
      x0 = ex[0];
      e1 = en[2];
      x1 = ex[2];
      // A pair with an unused second lane is a leaf in the first.
      item0 = n.kid[1] < 0 ? n.kid[0] : at;
      kind0 = n.kid[1] < 0 ? n.info[0] : -1;
      item1 = n.kid[3] < 0 ? n.kid[2] : at;
      kind1 = n.kid[3] < 0 ? n.info[2] : -2;
    } else {
      const int lane0 = 2 * (-1 - k), lane1 = lane0 + 1;
      e0 = pairEntry[sp][0];
      x0 = pairExit[sp][0];
      e1 = pairEntry[sp][1];
      x1 = pairExit[sp][1];
      item0 = n.kid[lane0];
      kind0 = n.info[lane0];
      item1 = n.kid[lane1];
      kind1 = n.info[lane1];
    }
    const bool in0 = e0 < best && !(x0 < Maxf(e0, 0.f));
    const bool in1 = e1 < best && !(x1 < Maxf(e1, 0.f));
    auto push = [&](std::int32_t i, std::int32_t kd, float e) {
      // What the child's walk reads first: its leaf's blocks or its wide node.
      if (kd > 0) {
        Prefetch128(w.segBlocks + (kd >> 5));
      } else if (kd == 0) {
        Prefetch128(w.segNodes + i);
      } else {
        const int lane = 2 * (-1 - kd);
        pairEntry[sp][0] = laneEntry[lane];
        pairEntry[sp][1] = laneEntry[lane + 1];
        pairExit[sp][0] = laneExit[lane];
        pairExit[sp][1] = laneExit[lane + 1];
      }
      item[sp] = i;
      kind[sp] = kd;
      entries[sp++] = e;
    };
    if (in0 && in1) {
      const bool firstNear = !(e1 < e0);
      if (firstNear) {
        push(item1, kind1, e1);
        push(item0, kind0, e0);
      } else {
        push(item0, kind0, e0);
        push(item1, kind1, e1);
      }
    } else if (in0) {
      push(item0, kind0, e0);
    } else if (in1) {
      push(item1, kind1, e1);
    }
  }
}

// Visits every leaf of the wide view whose box the ray enters before limit and does not leave
// before max(entry, 0), in no particular order, calling test.Visit(first, count, blocks,
// entry) for each until it returns true (the walk then stops early). These are the leaves
// that Traverse reaches while its best stays at limit: a box lies inside its parent's, so a
// box that passes has a parent that passes too. Needs a binary tree of at most 62 levels
// (BuildWideBvh makes no view of deeper ones), so that Traverse's stack never drops a node.
//
// The walk goes one node per Step, so that walks of independent rays can take turns and their
// memory loads overlap. Any order serves, so the node taken is a few entries below the top of
// the stack (its prefetch has had a few steps to arrive), and leaves wait in a ring while
// their blocks load.
template <class Test>
class WideLeafWalk {
 public:
  WideLeafWalk(const BvhNode* root, const WideScene& w, const Ray& r, float limit, Test& test)
      : w_(w), test_(test), ray_(r), limit_(limit) {
    float entry, exit;
    Slabs(root[0], r, entry, exit);
    if (!(entry < limit) || exit < Maxf(entry, 0.f)) return;
    stack_[sp_++] = 0;
  }

  // Whether nodes remain to be opened.
  bool Active() const { return sp_ > 0 && !stopped_; }

  // Opens one node.
  void Step() {
    const int at = sp_ > kLag ? sp_ - 1 - kLag : sp_ - 1;
    const WideNode& n = w_.segNodes[stack_[at]];
    stack_[at] = stack_[--sp_];
    const LaneSlabs sl(n, ray_);
    const __m128 en = sl.Entry();
    // Passing lanes that hold a child.
    const __m128 used = _mm_castsi128_ps(
        _mm_cmpgt_epi32(_mm_load_si128(reinterpret_cast<const __m128i*>(n.kid)), _mm_set1_epi32(-1)));
    int mask = _mm_movemask_ps(_mm_and_ps(LaneSlabs::Passing(en, sl.Exit(), limit_), used));
    if (mask == 0) return;
    alignas(16) float e[4];
    _mm_store_ps(e, en);
    for (; mask != 0; mask &= mask - 1) {
      const int k = __builtin_ctz(unsigned(mask));
      if (n.info[k] != 0) {
        Prefetch128(w_.segBlocks + (n.info[k] >> 5));
        if (waiting_ == kLeafRing && !TestOldest()) return;
        const int slot = (oldest_ + waiting_++) % kLeafRing;
        ringKid_[slot] = n.kid[k];
        ringInfo_[slot] = n.info[k];
        ringEntry_[slot] = e[k];
      } else if (sp_ == kCapacity) {
        stopped_ = true;  // unfinished: the caller walks again in Traverse's order
        return;
      } else {
        Prefetch128(w_.segNodes + n.kid[k]);
        stack_[sp_++] = n.kid[k];
      }
    }
  }

  // Tests the leaves still waiting; true when the walk visited every leaf.
  bool Finish() {
    while (!stopped_ && waiting_ > 0) TestOldest();
    return !stopped_;
  }

 private:
  static constexpr int kCapacity = 4 * kStackSize, kLag = 2, kLeafRing = 8;

  bool TestOldest() {
    const int l = oldest_;
    oldest_ = (oldest_ + 1) % kLeafRing;
    --waiting_;
    if (test_.Visit(ringKid_[l], ringInfo_[l] & 31, w_.segBlocks + (ringInfo_[l] >> 5), ringEntry_[l]))
      stopped_ = true;
    return !stopped_;
  }

  const WideScene& w_;
  Test& test_;
  const WideRay ray_;
  const float limit_;
  std::int32_t stack_[kCapacity];
  int sp_ = 0;
  std::int32_t ringKid_[kLeafRing], ringInfo_[kLeafRing];
  float ringEntry_[kLeafRing];
  int oldest_ = 0, waiting_ = 0;
  bool stopped_ = false;
};

// The whole walk of one ray; false when it stopped early.
template <class Test>
inline bool VisitWideLeaves(const BvhNode* root, const WideScene& w, const Ray& r, float limit, Test& test) {
  WideLeafWalk<Test> walk(root, w, r, limit, test);
  while (walk.Active()) walk.Step();
  return walk.Finish();
}

// ForEachConeHit on a leaf's blocks: calls hit(first + k, cone) for its k-th segment when the
// ray passes within radius of it, in order.
template <class OnHit>
inline void ForEachBlockConeHit(const SegBlock* blocks, int first, int count, const Ray& r, OnHit& hit) {
  for (int base = 0; base < count; base += 4, ++blocks) {
    const int n = count - base < 4 ? count - base : 4;
    const SegBlock& b = *blocks;
    float te[4], tt[4], ts[4];
    const int within = ConeLanes(_mm_load_ps(b.p0x), _mm_load_ps(b.p0y), _mm_load_ps(b.p0z), _mm_load_ps(b.r0),
                                 _mm_load_ps(b.p1x), _mm_load_ps(b.p1y), _mm_load_ps(b.p1z), _mm_load_ps(b.r1),
                                 r, te, tt, ts) & ((1 << n) - 1);
    for (int k = 0; k < n; ++k)
      if (within & (1 << k)) hit(first + base + k, ConeHit{te[k], tt[k], ts[k]});
  }
}
#endif

// Fetches the records [first, first + count) into the cache ahead of their test.
template <class T>
CRN_HD inline void PrefetchRecords(const T* recs, int first, int count) {
#if defined(CRN_SLABS_SSE)
  const char* b = reinterpret_cast<const char*>(recs + first);
  const char* e = reinterpret_cast<const char*>(recs + first + count);
  for (const char* p = b; p < e; p += 64) _mm_prefetch(p, _MM_HINT_T0);
  _mm_prefetch(e - 1, _MM_HINT_T0);
#else
  (void)recs; (void)first; (void)count;
#endif
}

// Traversal tests that look at one primitive at a time.
template <class Derived>
struct PerPrimitive {
  CRN_HD bool Leaf(int first, int count, float& best) {
    for (int i = first; i < first + count; ++i)
      if ((*static_cast<Derived*>(this))(i, best)) return true;
    return false;
  }
};

enum HitKind : int { kMiss = 0, kTriangle = 1, kSegment = 2 };

struct Hit {
  int kind;
  int index;
  float t;
  float u, v;  // triangle barycentrics; u is the segment parameter s
};

struct ClosestTri : PerPrimitive<ClosestTri> {
  const TriRec* tris;
  const Ray* ray;
  float tmin;
  Hit* hit;
  CRN_HD void Prefetch(int first, int count) const { PrefetchRecords(tris, first, count); }
  CRN_HD bool operator()(int i, float& best) {
    float t, u, v;
    if (HitTriangle(tris[i], *ray, tmin, best, t, u, v)) {
      best = t;
      *hit = Hit{kTriangle, i, t, u, v};
    }
    return false;
  }
};

struct ClosestSeg {
  const SegRec* segs;
  const Ray* ray;
  float tmin;
  Hit* hit;
  CRN_HD void Prefetch(int first, int count) const { PrefetchRecords(segs, first, count); }
  // Accepts a segment's hit as HitSegment would (in (tmin, best)).
  CRN_HD void Accept(int i, const ConeHit& h, float& best) {
    const float tt = h.entry > tmin ? h.entry : h.tc;
    if (tt > tmin && tt < best) {
      best = tt;
      *hit = Hit{kSegment, i, tt, h.s, 0.f};
    }
  }
  // A leaf's segments in order.
  CRN_HD bool Leaf(int first, int count, float& best) {
    auto accept = [&](int i, const ConeHit& h) { Accept(i, h, best); };
    ForEachConeHit(segs, first, count, *ray, accept);
    return false;
  }
#if defined(CRN_SLABS_SSE)
  bool Block(int first, int count, const SegBlock* blocks, float& best) {
    auto accept = [&](int i, const ConeHit& h) { Accept(i, h, best); };
    ForEachBlockConeHit(blocks, first, count, *ray, accept);
    return false;
  }
#endif
};

struct AnyTri : PerPrimitive<AnyTri> {
  const TriRec* tris;
  const Ray* ray;
  float tmin;
  bool found;
  CRN_HD void Prefetch(int first, int count) const { PrefetchRecords(tris, first, count); }
  CRN_HD bool operator()(int i, float& best) {
    float t, u, v;
    found = HitTriangle(tris[i], *ray, tmin, best, t, u, v);
    return found;
  }
};

// Closest hit of the triangles, then of the segments, in (tmin, maxT). wide (the CPU twin's
// wide view of the segment BVH) may be null.
CRN_HD inline Hit Closest(const DevScene& sc, const Ray& r, float tmin, float maxT, bool tris = true,
                          const WideScene* wide = nullptr) {
  Hit hit{kMiss, -1, maxT, 0.f, 0.f};
  float best = maxT;
  if (tris && sc.tris != nullptr) {
    ClosestTri test{{}, sc.tris, &r, tmin, &hit};
    Traverse(sc.triNodes, sc.triNodeCount, r, best, test);
  }
  if (sc.segs != nullptr) {
    ClosestSeg test{sc.segs, &r, tmin, &hit};
#if defined(CRN_SLABS_SSE)
    if (wide != nullptr && wide->segNodes != nullptr) {
      TraverseWide(sc.segNodes, *wide, r, best, test);
      return hit;
    }
#else
    (void)wide;
#endif
    Traverse(sc.segNodes, sc.segNodeCount, r, best, test);
  }
  return hit;
}

// Hair colour of a segment at v with the wetness of its strand and material.
CRN_HD inline float SegWetness(const SegRec& s, const HairShadeParams& m) {
  return Maxf(s.wetness, m.wetness);
}

// The nearest hair crossings of a shadow ray, nearest first. A ray meets the round cone of a
// segment at its entry distance and, once past that, again at its closest approach (tc), so
// each segment offers up to two crossing distances; the walk below takes the nearest one
// beyond the last crossing plus epsilon, which is what a fresh closest-hit query from there
// would return (up to exact ties between segments).
struct CrossingList {
  static constexpr int kCapacity = 32;
  float t[kCapacity];
  float s[kCapacity];
  int seg[kCapacity];
  int count;
  const SegRec* segs;
  const Ray* ray;
  float tmin;
  float limit;  // the ray's end
  CRN_HD void Prefetch(int first, int n) const { PrefetchRecords(segs, first, n); }

  // Keeps the kCapacity nearest crossings by distance, then segment index.
  CRN_HD void Insert(float tt, float ss, int i) {
    if (count == kCapacity && !(tt < t[count - 1] || (tt == t[count - 1] && i < seg[count - 1]))) return;
#if defined(CRN_SLABS_SSE)
    // The walk reads the crossing's colours, v, material and wetness (bytes 32-59).
    _mm_prefetch(reinterpret_cast<const char*>(&segs[i].rootColour), _MM_HINT_T0);
    _mm_prefetch(reinterpret_cast<const char*>(&segs[i].wetness), _MM_HINT_T0);
#endif
    int k = count < kCapacity ? count++ : kCapacity - 1;
    while (k > 0 && (t[k - 1] > tt || (t[k - 1] == tt && seg[k - 1] > i))) {
      t[k] = t[k - 1];
      s[k] = s[k - 1];
      seg[k] = seg[k - 1];
      --k;
    }
    t[k] = tt;
    s[k] = ss;
    seg[k] = i;
  }
  // Adds both crossings of a segment beyond tmin: the entry, then the closest approach as a
  // second crossing.
  CRN_HD void Add(int i, const ConeHit& h) {
    if (h.entry > tmin && h.entry < limit) Insert(h.entry, h.s, i);
    if (h.tc > tmin && h.tc > h.entry && h.tc < limit) Insert(h.tc, h.s, i);
  }
  // Once the list is full, best shrinks to just past its farthest crossing: boxes entered at
  // that distance may still hold a crossing there with a lower segment index, so the list
  // does not depend on the order in which leaves are reached.
  CRN_HD void Shrink(float& best) const {
    if (count == kCapacity) best = nextafterf(t[count - 1], kFar);
  }
  CRN_HD bool Leaf(int first, int n, float& best) {
    auto add = [&](int i, const ConeHit& h) { Add(i, h); };
    ForEachConeHit(segs, first, n, *ray, add);
    Shrink(best);
    return false;
  }
#if defined(CRN_SLABS_SSE)
  bool Block(int first, int n, const SegBlock* blocks, float& best) {
    auto add = [&](int i, const ConeHit& h) { Add(i, h); };
    ForEachBlockConeHit(blocks, first, n, *ray, add);
    Shrink(best);
    return false;
  }
  // The order-free walk's test (leafEntry: the entry distance of the leaf's box). It notes a
  // crossing nearer than its leaf's box entry (possible only by rounding); see
  // ShadowTransmittance. It stops the walk once the list shows that the light is used up.
  bool Visit(int first, int n, const SegBlock* blocks, float leafEntry) {
    const int before = count;
    auto add = [&](int i, const ConeHit& h) {
      if ((h.entry > tmin && h.entry < leafEntry) || (h.tc > tmin && h.tc < leafEntry)) beforeBox = true;
      Add(i, h);
    };
    ForEachBlockConeHit(blocks, first, n, *ray, add);
    if ((count > before || count == kCapacity) && count >= lastCrossings && !beforeBox && LastCrossingFound())
      usedUp = true;
    return usedUp;
  }
  // Whether the list holds lastCrossings crossings that ShadowWalk::Take would count one after
  // another (each beyond the previous one plus epsilon). Every crossing of a walked leaf that
  // does not lie before its box's entry is also found by the walk in Traverse's order (its
  // lists reach every leaf entered before their farthest crossing), and more crossings only
  // bring each counted crossing nearer, so the walk would then count its last crossing
  // (kMaxShadowCrossings) at the latest there: its light is used up whatever the rest holds.
  bool LastCrossingFound() const {
    float after = tmin;
    int counted = 0;
    for (int k = 0; k < count && counted < lastCrossings; ++k)
      if (t[k] > after) {
        ++counted;
        after = t[k] + epsilon;
      }
    return counted >= lastCrossings;
  }
  bool beforeBox = false;
  bool usedUp = false;   // the walk ends here with no light
  int lastCrossings = 0;  // how many more crossings the walk counts, its last one included
  float epsilon = 0.f;
#endif
};

// One shadow walk: how much light gets from a point along a unit direction over maxT. A
// triangle in the way lets nothing through; each hair crossing lets (1 - o) + o c / 2
// through, nearest first, until the light is used up.
struct ShadowWalk {
  Ray r;
  float maxT;
  V3 S;
  float tmin;
  int crossings;
  bool done;

  CRN_HD void Start(const DevScene& sc, const V3& from, const V3& dir, float maxTIn, std::uint32_t& rays) {
    r = MakeRay(from, dir);
    maxT = maxTIn;
    ++rays;
    S = V3(1, 1, 1);
    tmin = sc.epsilon;
    crossings = 0;
    done = false;
    // Any triangle in the way ends the walk with no light, so one any-hit query decides it.
    if (sc.tris != nullptr) {
      AnyTri test{{}, sc.tris, &r, sc.epsilon, false};
      float best = maxT;
      Traverse(sc.triNodes, sc.triNodeCount, r, best, test);
      if (test.found) {
        S = V3(0, 0, 0);
        done = true;
        return;
      }
    }
    done = sc.segs == nullptr;
  }

  // An empty list for the next crossings beyond tmin.
  CRN_HD void NewList(const DevScene& sc, CrossingList& list) const {
    list.count = 0;
    list.segs = sc.segs;
    list.ray = &r;
    list.tmin = tmin;
    list.limit = maxT;
#if defined(CRN_SLABS_SSE)
    list.lastCrossings = kMaxShadowCrossings - crossings;
    list.epsilon = sc.epsilon;
#endif
  }

  // Takes the list's crossings nearest first (one within epsilon of the last is the same
  // crossing); done when the light is used up or the list held every crossing there is.
  CRN_HD void Take(const DevScene& sc, const CrossingList& list) {
    for (int k = 0; k < list.count; ++k) {
      if (!(list.t[k] > tmin)) continue;
      const SegRec& seg = sc.segs[list.seg[k]];
      const HairShadeParams& m = sc.materials[seg.material];
      const float v = seg.v0 + list.s[k] * (seg.v1 - seg.v0);
      const V3 c = HairColour(m, StrandColourAt(seg, v), v, 0.5f, SegWetness(seg, m));
      const float o = m.shadowOpacity;
      S = crn::Mul(S, V3(1.f - o, 1.f - o, 1.f - o) + c * (0.5f * o));
      if (Sum(S) < 0.01f || ++crossings >= kMaxShadowCrossings) {
        S = V3(0, 0, 0);
        done = true;
        return;
      }
      tmin = list.t[k] + sc.epsilon;
    }
    done = list.count < CrossingList::kCapacity;
  }

#if defined(CRN_SLABS_SSE)
  // Take after an order-free walk, which may have stopped at a list that uses the light up.
  void TakeWalked(const DevScene& sc, const CrossingList& list) {
    if (list.usedUp) {
      S = V3(0, 0, 0);
      done = true;
      return;
    }
    Take(sc, list);
  }
#endif
};

#if defined(CRN_SLABS_SSE)
// After the order-free walk of a list (finished: whether it visited every leaf): the walk keeps
// the nearest crossings of all leaves the ray passes, while Traverse skips boxes entered beyond
// a full list's farthest crossing, which hold no nearer crossing unless one lies before its own
// box's entry by rounding. Only then (with a full list), or when the walk could not finish, is
// the list made again in Traverse's order.
inline void SettleList(const DevScene& sc, const WideScene& w, const Ray& r, float maxT, bool finished,
                       CrossingList& list) {
  if (list.usedUp) return;
  if (finished && !(list.count == CrossingList::kCapacity && list.beforeBox)) return;
  list.count = 0;
  float best = maxT;
  TraverseWide(sc.segNodes, w, r, best, list);
}
#endif

// Fills the walk's next list of crossings.
CRN_HD inline void FindCrossings(const DevScene& sc, const ShadowWalk& walk, CrossingList& list,
                                 const WideScene* wide) {
  walk.NewList(sc, list);
#if defined(CRN_SLABS_SSE)
  if (wide != nullptr && wide->segNodes != nullptr) {
    SettleList(sc, *wide, walk.r, walk.maxT, VisitWideLeaves(sc.segNodes, *wide, walk.r, walk.maxT, list), list);
    return;
  }
#else
  (void)wide;
#endif
  float best = walk.maxT;
  Traverse(sc.segNodes, sc.segNodeCount, walk.r, best, list);
}

CRN_HD inline void FinishWalk(const DevScene& sc, ShadowWalk& walk, const WideScene* wide) {
  while (!walk.done) {
    CrossingList list;
    FindCrossings(sc, walk, list, wide);
#if defined(CRN_SLABS_SSE)
    walk.TakeWalked(sc, list);
#else
    walk.Take(sc, list);
#endif
  }
}

// The light let through from `from` along the unit direction dir over maxT.
CRN_HD inline V3 ShadowTransmittance(const DevScene& sc, const V3& from, const V3& dir, float maxT,
                                     std::uint32_t& rays, const WideScene* wide = nullptr) {
  ShadowWalk walk;
  walk.Start(sc, from, dir, maxT, rays);
  FinishWalk(sc, walk, wide);
  return walk.S;
}

// Two shadow walks from one point, with the results of two ShadowTransmittance calls. On the
// CPU twin the first lists of both are walked by turns, so that their memory loads overlap.
CRN_HD inline void ShadowPair(const DevScene& sc, const V3& from, const V3& dirA, float maxA, const V3& dirB,
                              float maxB, V3& SA, V3& SB, std::uint32_t& rays, const WideScene* wide) {
  ShadowWalk a, b;
  a.Start(sc, from, dirA, maxA, rays);
  b.Start(sc, from, dirB, maxB, rays);
#if defined(CRN_SLABS_SSE)
  if (!a.done && !b.done && wide != nullptr && wide->segNodes != nullptr) {
    CrossingList la, lb;
    a.NewList(sc, la);
    b.NewList(sc, lb);
    WideLeafWalk<CrossingList> wa(sc.segNodes, *wide, a.r, a.maxT, la), wb(sc.segNodes, *wide, b.r, b.maxT, lb);
    while (wa.Active() || wb.Active()) {
      if (wa.Active()) wa.Step();
      if (wb.Active()) wb.Step();
    }
    SettleList(sc, *wide, a.r, a.maxT, wa.Finish(), la);
    SettleList(sc, *wide, b.r, b.maxT, wb.Finish(), lb);
    a.TakeWalked(sc, la);
    b.TakeWalked(sc, lb);
  }
#endif
  FinishWalk(sc, a, wide);
  FinishWalk(sc, b, wide);
  SA = a.S;
  SB = b.S;
}

// The environment sample's shadow walk at a shading point. Its direction is drawn before the
// lights are visited (they draw no random numbers), so that its walk can go together with the
// first shadowed light's.
struct EnvShadow {
  V3 dir;
  V3 S;
  bool walked;

  // A light's shadow toward L over dist (none when the light casts none).
  CRN_HD V3 Light(const DevScene& sc, const LightRec& light, const V3& p, const V3& L, float dist,
                  std::uint32_t& rays, const WideScene* wide) {
    if (!light.castShadows) return V3(1, 1, 1);
    if (walked) return ShadowTransmittance(sc, p, L, dist, rays, wide);
    V3 lightS;
    ShadowPair(sc, p, L, dist, dir, kFar, lightS, S, rays, wide);
    walked = true;
    return lightS;
  }
  // The environment sample's shadow.
  CRN_HD V3 Env(const DevScene& sc, const V3& p, std::uint32_t& rays, const WideScene* wide) {
    if (!walked) S = ShadowTransmittance(sc, p, dir, kFar, rays, wide);
    walked = true;
    return S;
  }
};

// Direction to a light from p, its distance and colour (0 outside a spot's cone). Lights draw
// no random numbers, so a record's soft-shadow radius is not used (gathering writes 0).
CRN_HD inline V3 LightSample(const LightRec& l, const V3& p, V3& L, float& dist) {
  if (l.type == kDirectionalLight) {
    L = -l.direction;
    dist = kFar;
    return l.colour;
  }
  const V3 to = l.position - p;
  const float len = Maxf(crn::Length(to), 1e-20f);
  L = to / len;
  dist = len;
  if (l.type != kSpotLight) return l.colour;
  const float k = -crn::Dot(L, l.direction);
  if (k <= l.cosFalloff) return V3(0, 0, 0);
  if (k >= l.cosHotspot) return l.colour;
  const float t = (k - l.cosFalloff) / Maxf(l.cosHotspot - l.cosFalloff, 1e-6f);
  return l.colour * (t * t * (3.f - 2.f * t));
}

}  // namespace trace

// What one sample adds to a pixel's buffers.
struct PixelSample {
  V3 radiance;
  V3 layer[8];  // diffuse, R, TT, TRT, direct, indirect, shadow, emission
  // First hit of the camera ray.
  bool covered;
  bool hair;
  V3 albedo, normal, position, tangent;
  float depth, v;
  float objectId, strandId;
  std::uint32_t rays;  // rays traced, camera, bounce and shadow rays alike
};

// Adds light of the given strength scattered by the lobes to the radiance and the lobe
// layers (the residual lobe counts as diffuse); returns the total.
CRN_HD inline V3 AddLobeLight(PixelSample& out, const V3& scale, const HairLobes& lobes) {
  const V3 cR = crn::Mul(scale, lobes.R), cTT = crn::Mul(scale, lobes.TT),
           cTRT = crn::Mul(scale, lobes.TRT), cRes = crn::Mul(scale, lobes.residual);
  const V3 total = cR + cTT + cTRT + cRes;
  out.radiance += total;
  out.layer[kLayerSpecularR] += cR;
  out.layer[kLayerTransmissionTT] += cTT;
  out.layer[kLayerSecondaryTRT] += cTRT;
  out.layer[kLayerDiffuse] += cRes;
  return total;
}

// Traces the sample of pixel (x, y) for pass `pass`.
// wide: the CPU twin's wide view of the segment BVH, or null.
CRN_HD inline PixelSample TracePixel(const DevScene& sc, const Camera& cam, int x, int y, int width,
                                     int height, int pass, const WideScene* wide = nullptr) {
  using namespace trace;
  PixelSample out{};
  PixelRng rng(x, y, width, pass);
  const float u1 = rng.Next(), u2 = rng.Next();
  Ray ray = CameraRay(cam, x, y, width, height, u1, u2);
  out.rays = 1;
  V3 throughput(1, 1, 1);
  float tmin = 0.f;
  // steps bounds the loop (scattering and hits skipped by tip fade alike); depth counts the
  // scattering vertices, so a camera ray that passes a faded tip is still the camera ray.
  int depth = 0;
  const V3 envLight = sc.environment * sc.envIntensity;
  for (int steps = 0; steps < kMaxPathSteps; ++steps) {
    const Hit hit = Closest(sc, ray, tmin, kFar, true, wide);
    if (hit.kind == kMiss) {
      if (depth == 0) {
        out.radiance += crn::Mul(throughput, sc.background);
      } else {
        const V3 c = crn::Mul(throughput, envLight);
        out.radiance += c;
        out.layer[kLayerIndirect] += c;
        out.layer[kLayerDiffuse] += c;
      }
      break;
    }
    const V3 p = ray.o + ray.d * hit.t;
    const V3 wo = -ray.d;

    if (hit.kind == kTriangle) {
      const TriRec& tri = sc.tris[hit.index];
      const float w0 = 1.f - hit.u - hit.v;
      V3 n = Unit(tri.n0 * w0 + tri.n1 * hit.u + tri.n2 * hit.v, V3(0, 0, 1));
      if (crn::Dot(n, ray.d) > 0.f) n = -n;
      const V3 albedo = tri.colour;
      if (depth == 0) {
        out.covered = true;
        out.albedo = albedo;
        out.normal = n;
        out.position = p;
        out.depth = hit.t;
        out.objectId = float(tri.objectId);
      }
      const V3 sp = p + n * (4.f * sc.epsilon);
      const V3 base = crn::Mul(throughput, albedo);
      // The environment's direction first (EnvShadow).
      const float e1 = rng.Next(), e2 = rng.Next();
      EnvShadow env{CosineAbout(n, e1, e2), V3(1, 1, 1), false};
      for (int li = 0; li < sc.lightCount; ++li) {
        const LightRec& light = sc.lights[li];
        V3 L;
        float dist;
        const V3 colour = LightSample(light, sp, L, dist);
        const float nl = crn::Dot(n, L);
        if (!(nl > 0.f) || !(Sum(colour) > 0.f)) continue;
        const V3 S = env.Light(sc, light, sp, L, dist, out.rays, wide);
        const V3 full = crn::Mul(base, colour) * nl;
        const V3 c = crn::Mul(full, S);
        out.radiance += c;
        out.layer[kLayerDiffuse] += c;
        if (depth == 0) {
          out.layer[kLayerDirect] += c;
          out.layer[kLayerShadow] += full - c;
        } else {
          out.layer[kLayerIndirect] += c;
        }
      }
      const V3 c = crn::Mul(crn::Mul(base, envLight), env.Env(sc, sp, out.rays, wide));
      out.radiance += c;
      out.layer[kLayerIndirect] += c;
      out.layer[kLayerDiffuse] += c;
      break;  // meshes spawn no further rays
    }

    // Hair.
    const SegRec& seg = sc.segs[hit.index];
    const HairShadeParams& m = sc.materials[seg.material];
    const float wet = SegWetness(seg, m);
    const float v = seg.v0 + hit.u * (seg.v1 - seg.v0);
    if (m.tipFade > 0.f && v > 0.6f) {
      const float f = (v - 0.6f) / 0.4f;
      if (rng.Next() < m.tipFade * f * f) {
        tmin = hit.t + sc.epsilon;  // the same ray goes on past the faded tip
        continue;
      }
    }
    const V3 T = Unit(seg.p1 - seg.p0, V3(0, 0, 1));
    const float rc = ColourRandom(seg.strand), rb = LobeRandom(seg.strand);
    const V3 c = HairColour(m, StrandColourAt(seg, v), v, rc, wet);
    if (depth == 0) {
      out.covered = true;
      out.hair = true;
      out.albedo = c;
      out.normal = Unit(wo - T * crn::Dot(T, wo), V3(0, 0, 1));
      out.depth = hit.t;
      out.position = p;
      out.objectId = float(seg.material + 1);
      out.strandId = StrandIdValue(seg.strand);
      out.tangent = T;
      out.v = v;
    }
    // The fibre's lobes for the lights and the environment sample. On the CPU the physical
    // model's view of this point is prepared once for all of them (the same arithmetic); the
    // GPU evaluates each direction from scratch, which keeps its registers few.
#if defined(__CUDA_ARCH__)
    auto lobesFor = [&](const V3& wi) { return EvalHairLobes(m, T, wi, wo, c, rb, v, wet); };
#else
    const PhysicalView view =
        m.physical ? PreparePhysical(m, T, wo, c, rb, v, wet, kIntegrateAcrossFibre) : PhysicalView{};
    auto lobesFor = [&](const V3& wi) {
      return m.physical ? PhysicalLobes(m, view, wi, rb) : EvalHairLobes(m, T, wi, wo, c, rb, v, wet);
    };
#endif
    const V3 emitted = crn::Mul(throughput, m.emission);
    out.radiance += emitted;
    out.layer[kLayerEmission] += emitted;

    // As on meshes, the environment's direction first.
    const float e1 = rng.Next(), e2 = rng.Next();
    EnvShadow env{UniformSphere(e1, e2), V3(1, 1, 1), false};
    for (int li = 0; li < sc.lightCount; ++li) {
      const LightRec& light = sc.lights[li];
      V3 L;
      float dist;
      const V3 colour = LightSample(light, p, L, dist);
      if (!(Sum(colour) > 0.f)) continue;
      const V3 S = env.Light(sc, light, p, L, dist, out.rays, wide);
      const HairLobes lobes = lobesFor(L);
      const V3 unshadowed = crn::Mul(throughput, colour) * kPi;
      const V3 total = AddLobeLight(out, crn::Mul(unshadowed, S), lobes);
      if (depth == 0) {
        out.layer[kLayerDirect] += total;
        out.layer[kLayerShadow] += crn::Mul(unshadowed, LobeSum(lobes)) - total;
      } else {
        out.layer[kLayerIndirect] += total;
      }
    }

    {
      const V3 S = env.Env(sc, p, out.rays, wide);
      const HairLobes lobes = lobesFor(env.dir);
      out.layer[kLayerIndirect] += AddLobeLight(out, crn::Mul(crn::Mul(throughput, envLight), S) * kPi, lobes);
    }

    if (depth > 1) break;
    const V3 carried = V3(m.diffuseAmount, m.diffuseAmount, m.diffuseAmount) + m.scatterColor * m.scatterAmount;
    throughput = crn::Mul(throughput, crn::Mul(c * 0.5f, carried));
    if (Sum(throughput) < 0.02f) break;
    const float b1 = rng.Next(), b2 = rng.Next();
    ray = MakeRay(p, UniformSphere(b1, b2));
    ++out.rays;
    tmin = sc.epsilon;
    ++depth;
  }
  return out;
}

// Adds a sample to pixel i of the buffers; layers (13 x pixels) may be null.
CRN_HD inline void AccumulateSample(const PixelSample& s, std::size_t i, std::size_t pixels, int pass,
                                    F4* beauty, F4* normalDepth, F4* albedoCoverage, F4* layers) {
  const float cov = s.covered ? 1.f : 0.f;
  F4& b = beauty[i];
  b.x += s.radiance.x; b.y += s.radiance.y; b.z += s.radiance.z; b.w += 1.f;
  F4& nd = normalDepth[i];
  nd.x += s.normal.x; nd.y += s.normal.y; nd.z += s.normal.z; nd.w += s.depth;
  F4& ac = albedoCoverage[i];
  ac.x += s.albedo.x; ac.y += s.albedo.y; ac.z += s.albedo.z; ac.w += cov;
  if (layers == nullptr) return;
  auto add = [&](int layer, const V3& v, float w) {
    F4& o = layers[std::size_t(layer) * pixels + i];
    o.x += v.x; o.y += v.y; o.z += v.z; o.w += w;
  };
  for (int k = 0; k < 8; ++k) add(k, s.layer[k], 0.f);
  add(kLayerAlbedo, s.albedo, 0.f);
  add(kLayerNormalDepth, s.normal, s.depth);
  add(kLayerPositionId, s.position, pass == 0 ? s.objectId : 0.f);
  add(kLayerTangentV, s.tangent, s.v);
  add(kLayerMasks, V3(s.hair ? 1.f : 0.f, s.covered && !s.hair ? 1.f : 0.f, cov),
      pass == 0 ? s.strandId : 0.f);
}

}  // namespace hrt
