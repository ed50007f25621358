#include "hair/strand_build.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "hair/clump_table.h"
#include "hair/face_coords.h"
#include "hair/strand_colour.h"
#include "plugin/worker_pool.h"

namespace crn {

namespace {

constexpr int kMaxStrandPoints = 256;
constexpr int kMaxBlendPoints = 512;
constexpr float kPi = 3.14159265358979323846f;
constexpr float kTwoPi = 6.28318530717958647692f;
constexpr std::uint64_t kStrandGrain = 1024;
constexpr std::uint64_t kClumpGrain = 256;

// Salts of the per-strand random draws; each use has its own.
constexpr std::uint32_t kSaltLength = 0x0428F9FBu;
constexpr std::uint32_t kSaltCurlRadius = 0x13624AD0u;
constexpr std::uint32_t kSaltCurlTurns = 0x370DB28Du;
constexpr std::uint32_t kSaltCurlPhase = 0xB70E0C9Bu;
constexpr std::uint32_t kSaltStray = 0x6B52DA28u;
constexpr std::uint32_t kSaltSubClump = 0x8CBE2E8Fu;
constexpr std::uint32_t kSaltClump = 0x495D7670u;
constexpr std::uint32_t kSaltPhaseB = 0x14FD6AD2u;
constexpr std::uint32_t kSaltPhaseH = 0x42023635u;
constexpr std::uint32_t kSaltWidth = 0x1B86D946u;
constexpr std::uint32_t kSaltStack = 0xA9EB2E6Fu;
constexpr std::uint32_t kSaltBurnHide = 0x5BE17DEFu;

float TaperStart(const GenSettings& s) { return s.widthTaperStart > 0.f ? std::min(s.widthTaperStart, 0.99f) : 0.f; }

// WidthProfile with its taper start already derived.
inline float WidthAt(int profile, float e, float a, float b, float t) {
  switch (profile) {
    case 1: {
      if (t < e) return a;
      const float c = (t - e) / (1.f - e);
      float w = a + (b - a) * Smooth(Clamp01(c));
      if (c > 0.85f) w *= 1.f - 0.9f * (c - 0.85f) / 0.15f;  // the last 15 % narrow to a tenth
      return w;
    }
    case 2:
      return a;
    case 3:
      return b + (a - b) * t;
    case 4:
      return a + (b - a) * t + std::sin(kPi * t) * 0.6f * (a - b);
    case 5:
      if (t < e) return b + (a - b) * Smooth(Clamp01(t / std::max(e, 1e-4f)));
      return a;
    default:  // 0, and anything outside the parameter's range
      return a + (b - a) * t;
  }
}

// How WidthAt forms the width at one point from the root width a and the tip width b.
enum class WidthRule : std::uint8_t {
  kRoot,         // a
  kTowardsTip,   // a + (b - a) * k
  kNarrowedTip,  // (a + (b - a) * k) * f
  kTowardsRoot,  // b + (a - b) * k
  kBulge,        // a + (b - a) * k + f * (a - b)
};

// Uniform Catmull-Rom weights of the four control points at fraction f of a span.
struct ResampleSpan {
  int j = 0;
  float w[4] = {0, 1, 0, 0};
};

// Everything a worker reads: inputs, per-build constants and the clump tables. Read-only
// while workers run.
struct BuildContext {
  const GuideSet* guides = nullptr;
  const std::vector<RootSample>* roots = nullptr;
  const V3* guidePoints = nullptr;
  const GenSettings* s = nullptr;
  const BuildInputs* in = nullptr;
  const ScalarMapSampler* lengthSampler = nullptr;
  const ScalarMapSampler* widthSampler = nullptr;
  const ColourMapSampler* colourSampler = nullptr;
  // Per vertex, blendCount - 1 guide segments g[j + 1] - g[j] by component and their
  // lengths: segment j of vertex v at v * (blendCount - 1) + j.
  const float* segX = nullptr;
  const float* segY = nullptr;
  const float* segZ = nullptr;
  const float* segLength = nullptr;
  const float* wetness = nullptr;  // per vertex, when usable
  const float* burn = nullptr;     // per vertex, when usable
  StrandSet* out = nullptr;

  int P = 0;           // points per strand
  int G = 0;           // guide points per guide
  int blendCount = 0;  // guide points blended: min(G, 512)
  bool resample = false;
  float t[kMaxStrandPoints] = {};
  ResampleSpan span[kMaxStrandPoints];
  float tPowClump[kMaxStrandPoints] = {};
  float tPowSubClump[kMaxStrandPoints] = {};
  float curlFade[kMaxStrandPoints] = {};  // min(6 t, 1)
  float taperStart = 0;
  // The width rule of each point for the build's profile, with its per-point factors, so
  // that a strand's widths take a few operations per point (the operations of WidthAt).
  WidthRule widthRule[kMaxStrandPoints] = {};
  float widthK[kMaxStrandPoints] = {};
  float widthF[kMaxStrandPoints] = {};

  FaceAxes face{};
  const V3* splinePoints = nullptr;  // splineCount splines of P points, when styling applies
  std::size_t splineCount = 0;
  bool curlOn = false;
  bool splitHighlights = false;  // hiColour, hiStart and hiSoft are built
  bool glowOn = false;           // glow is built

  ClumpTable mainClumps, subClumps;
  ColourContext colour;
};

struct Bary {
  std::int32_t a, b, c;
  float w0, w1, w2;
};

inline Bary RootBary(const BuildContext& ctx, const RootSample& r) {
  const std::int32_t* tri = ctx.guides->triangles.data() + std::size_t(r.tri) * 3;
  return {tri[0], tri[1], tri[2], 1.f - r.u - r.v, r.u, r.v};
}

inline float BaryScalar(const float* values, const Bary& w) {
  return w.w0 * values[w.a] + w.w1 * values[w.b] + w.w2 * values[w.c];
}

// Length factor of a root: variation, length map, eyes and face rules.
float LengthFactor(const BuildContext& ctx, const RootSample& r) {
  const GenSettings& s = *ctx.s;
  float fL = 1.f - StrandRand(r.id, kSaltLength) * s.lengthVar;
  if (ctx.lengthSampler) fL *= ctx.lengthSampler->Sample(r.tri, r.u, r.v);

  const BuildInputs& in = *ctx.in;
  const std::size_t eyes = std::min(in.eyeCentres.size(), in.eyeRadii.size());
  for (std::size_t e = 0; e < eyes; ++e) {
    const float re = std::max(in.eyeRadii[e], 1e-6f);
    const float D = Length(r.pos - in.eyeCentres[e]);
    if (D < 1.8f * re) fL *= 0.35f + 0.65f * Smooth(Clamp01((D - re) / (0.7f * re)));
  }

  if (s.faceOn) {
    const V3 q = FaceCoords(s, ctx.face, r.pos);
    const float ruff = RuffWeight(s, q);
    if (InsideFace(q) && ruff < 0.5f) {
      fL *= s.faceFurLength;
    } else if (s.HasNoseTip() && s.bareFace) {
      const float e = Clamp01((s.noseTipZ - q.z - 0.95f) / -0.3f);
      const float g = Clamp01((std::fabs(q.x) - 0.75f) * -4.f);
      fL *= 1.f - Smooth(g) * Smooth(e) * (1.f - s.faceFurLength);
    }
    fL *= (s.ruffLength - 1.f) * ruff + 1.f;
  }
  return fL;
}

// Blends the three guides of the root's triangle segment by segment into b (starting at
// the origin); each blended segment keeps the blended length of its three segments. The
// segments are blended four at a time: the same float operations in the same order as
// one at a time, so the bits are the same.
void BlendGuides(const BuildContext& ctx, const Bary& w, V3* b) {
  const std::size_t S = std::size_t(ctx.blendCount - 1);
  const std::size_t a0 = std::size_t(w.a) * S, a1 = std::size_t(w.b) * S, a2 = std::size_t(w.c) * S;
  const float *x = ctx.segX, *y = ctx.segY, *z = ctx.segZ, *l = ctx.segLength;
  alignas(16) float sx[kMaxBlendPoints], sy[kMaxBlendPoints], sz[kMaxBlendPoints];
  std::size_t j = 0;
#if defined(__SSE2__)
  const __m128 w0 = _mm_set1_ps(w.w0), w1 = _mm_set1_ps(w.w1), w2 = _mm_set1_ps(w.w2);
  const __m128 tiny = _mm_set1_ps(1e-12f), one = _mm_set1_ps(1.f);
  const auto blend = [&](const float* v) {
    const __m128 s0 = _mm_mul_ps(_mm_loadu_ps(v + a0 + j), w0), s1 = _mm_mul_ps(_mm_loadu_ps(v + a1 + j), w1);
    return _mm_add_ps(_mm_add_ps(s0, s1), _mm_mul_ps(_mm_loadu_ps(v + a2 + j), w2));
  };
  for (; j + 4 <= S; j += 4) {
    const __m128 vx = blend(x), vy = blend(y), vz = blend(z);
    const __m128 len =
        _mm_sqrt_ps(_mm_add_ps(_mm_add_ps(_mm_mul_ps(vx, vx), _mm_mul_ps(vy, vy)), _mm_mul_ps(vz, vz)));
    const __m128 target = blend(l);
    // seg * (target / len) where len > 1e-12, else seg itself (times 1)
    const __m128 use = _mm_cmpgt_ps(len, tiny);
    const __m128 k = _mm_or_ps(_mm_and_ps(use, _mm_div_ps(target, len)), _mm_andnot_ps(use, one));
    _mm_store_ps(sx + j, _mm_mul_ps(vx, k));
    _mm_store_ps(sy + j, _mm_mul_ps(vy, k));
    _mm_store_ps(sz + j, _mm_mul_ps(vz, k));
  }
#endif
  for (; j < S; ++j) {
    V3 seg(x[a0 + j] * w.w0 + x[a1 + j] * w.w1 + x[a2 + j] * w.w2,
           y[a0 + j] * w.w0 + y[a1 + j] * w.w1 + y[a2 + j] * w.w2,
           z[a0 + j] * w.w0 + z[a1 + j] * w.w1 + z[a2 + j] * w.w2);
    const float len = Length(seg);
    if (len > 1e-12f) {
      const float target = w.w0 * l[a0 + j] + w.w1 * l[a1 + j] + w.w2 * l[a2 + j];
      seg = seg * (target / len);
    }
    sx[j] = seg.x;
    sy[j] = seg.y;
    sz[j] = seg.z;
  }
  b[0] = V3(0, 0, 0);
  for (j = 0; j < S; ++j) b[j + 1] = b[j] + V3(sx[j], sy[j], sz[j]);
}

// The guide segments of every vertex by component, and their lengths, shared by all strands.
struct GuideSegments {
  std::vector<float> x, y, z, length;
};

GuideSegments MakeGuideSegments(const V3* guidePoints, std::size_t vertexCount, int G, int blendCount) {
  const std::size_t S = std::size_t(blendCount - 1);
  GuideSegments segs;
  for (std::vector<float>* a : {&segs.x, &segs.y, &segs.z, &segs.length}) a->resize(vertexCount * S);
  float *x = segs.x.data(), *y = segs.y.data(), *z = segs.z.data(), *l = segs.length.data();
  ParallelFor(
      vertexCount,
      [=](std::uint64_t begin, std::uint64_t end) {
        for (std::uint64_t v = begin; v < end; ++v) {
          const V3* g = guidePoints + v * std::uint64_t(G);
          for (std::size_t j = 0; j < S; ++j) {
            const V3 d = g[j + 1] - g[j];
            x[v * S + j] = d.x;
            y[v * S + j] = d.y;
            z[v * S + j] = d.z;
            l[v * S + j] = Length(d);
          }
        }
      },
      kClumpGrain);
  return segs;
}

// Pulls the strand towards the distance-weighted shape of the three nearest splines.
void StyleBySplines(const BuildContext& ctx, const RootSample& r, float fL, V3* p) {
  const int P = ctx.P;
  std::size_t near[3];
  float nearD[3];
  int found = 0;
  for (std::size_t k = 0; k < ctx.splineCount; ++k) {
    const float d = LengthSq(ctx.splinePoints[k * std::size_t(P)] - r.pos);
    // Insert keeping the earlier spline on ties.
    int at = found;
    while (at > 0 && d < nearD[at - 1]) --at;
    if (at >= 3) continue;
    for (int m = std::min(found, 2); m > at; --m) {
      near[m] = near[m - 1];
      nearD[m] = nearD[m - 1];
    }
    near[at] = k;
    nearD[at] = d;
    found = std::min(found + 1, 3);
  }
  if (found == 0) return;
  float weight[3], weightSum = 0;
  for (int m = 0; m < found; ++m) {
    weight[m] = 1.f / (nearD[m] + 1e-6f);
    weightSum += weight[m];
  }
  const float influence = ctx.s->splineInfluence;
  for (int i = 1; i < P; ++i) {
    V3 shape(0, 0, 0);
    for (int m = 0; m < found; ++m) {
      const V3* spl = ctx.splinePoints + near[m] * std::size_t(P);
      shape += (spl[i] - spl[0]) * weight[m];
    }
    shape = shape / weightSum;
    p[i] += (p[0] + shape * fL - p[i]) * influence;
  }
}

// Winds the strand round a helix about its own direction, fading in over the first sixth.
void Curl(const BuildContext& ctx, const RootSample& r, const Bary& w, V3* p) {
  const GenSettings& s = *ctx.s;
  const float rho = (1.f - StrandRand(r.id, kSaltCurlRadius) * s.curlRandom) * s.curlRadius;
  if (!(rho > 0.f)) return;
  const float turns = ((StrandRand(r.id, kSaltCurlTurns) - 0.5f) * s.curlRandom + 1.f) * s.curlTurns;
  const float phi0 = StrandRand(r.id, kSaltCurlPhase) * kTwoPi;
  const float cos0 = std::cos(phi0);
  V3 R = ctx.guides->tangents[std::size_t(w.a)];
  // The curl reads the uncurled points; only the previous one is still needed once p[i]
  // is overwritten, so it is kept aside instead of copying the strand.
  V3 prev = p[0];
  for (int i = 1; i < ctx.P; ++i) {
    const V3 c = p[i];
    const V3 T = UnitOr(c - prev, V3(0, 0, 1));
    R = UnitOr(R - T * Dot(T, R), V3(0, 0, 1));
    const float phi = kTwoPi * turns * ctx.t[i] + phi0;
    const float k = ctx.curlFade[i] * rho;
    p[i] = c + (Cross(T, R) * std::sin(phi) + R * std::cos(phi)) * k - R * cos0 * k;
    prev = c;
  }
}

// Working space of one worker chunk, set up once per chunk rather than once per strand.
struct Scratch {
  // The blended guide before resampling at blend[1..], with the mirrored points before its
  // start and after its end around it, and room to read four floats at the last.
  V3 blend[kMaxBlendPoints + 3];
};

#if defined(__SSE2__)
// A point as (x, y, z, 0) and back, touching only its own twelve bytes.
inline __m128 Load3(const V3& v) {
  return _mm_movelh_ps(_mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(&v.x)), _mm_load_ss(&v.z));
}
inline void Store3(V3& v, __m128 a) {
  _mm_storel_pi(reinterpret_cast<__m64*>(&v.x), a);
  _mm_store_ss(&v.z, _mm_movehl_ps(a, a));
}
#endif

// The clump pulls over points 1..P-1, as V3 arithmetic computes them:
// main clumps p += (Q - p) * t[i] * a, sub-clumps p += (Q + offset - p) * (t[i] * b).
void PullToCentre(V3* p, const V3* Q, const float* t, float a, int P) {
#if defined(__SSE2__)
  const __m128 va = _mm_set1_ps(a);
  for (int i = 1; i < P; ++i) {
    const __m128 pi = Load3(p[i]);
    Store3(p[i], _mm_add_ps(pi, _mm_mul_ps(_mm_mul_ps(_mm_sub_ps(Load3(Q[i]), pi), _mm_set1_ps(t[i])), va)));
  }
#else
  for (int i = 1; i < P; ++i) p[i] += (Q[i] - p[i]) * t[i] * a;
#endif
}

void PullToSubCentre(V3* p, const V3* Q, const V3& offset, const float* t, float b, int P) {
#if defined(__SSE2__)
  const __m128 off = Load3(offset);
  for (int i = 1; i < P; ++i) {
    const __m128 pi = Load3(p[i]);
    const __m128 k = _mm_set1_ps(t[i] * b);
    Store3(p[i], _mm_add_ps(pi, _mm_mul_ps(_mm_sub_ps(_mm_add_ps(Load3(Q[i]), off), pi), k)));
  }
#else
  for (int i = 1; i < P; ++i) p[i] += (Q[i] + offset - p[i]) * (t[i] * b);
#endif
}

// The base shape of a strand (also the stored shape of a clump centre) into p[0..P-1].
void BaseShape(const BuildContext& ctx, const RootSample& r, Scratch& scratch, V3* p) {
  const int P = ctx.P;
  const Bary w = RootBary(ctx, r);
  const float fL = LengthFactor(ctx, r);

  if (!ctx.resample) {
    // P equals G: the blended guide is the shape.
    BlendGuides(ctx, w, p);
    for (int i = 1; i < P; ++i) p[i] = r.pos + p[i] * fL;
  } else {
    // b[-1] and b[last + 1] mirror the ends, so the four points of span j are b[j - 1 .. j + 2].
    V3* b = scratch.blend + 1;
    BlendGuides(ctx, w, b);
    const int last = ctx.blendCount - 1;
    b[-1] = b[0] * 2.f - b[1];
    b[last + 1] = b[last] * 2.f - b[last - 1];
#if defined(__SSE2__)
    // Lane 3 reads the next point's x and is dropped.
    const __m128 pos = Load3(r.pos), scale = _mm_set1_ps(fL);
    for (int i = 1; i < P; ++i) {
      const ResampleSpan& sp = ctx.span[i];
      const float* q = &b[sp.j - 1].x;
      __m128 sum = _mm_mul_ps(_mm_loadu_ps(q), _mm_set1_ps(sp.w[0]));
      sum = _mm_add_ps(sum, _mm_mul_ps(_mm_loadu_ps(q + 3), _mm_set1_ps(sp.w[1])));
      sum = _mm_add_ps(sum, _mm_mul_ps(_mm_loadu_ps(q + 6), _mm_set1_ps(sp.w[2])));
      sum = _mm_add_ps(sum, _mm_mul_ps(_mm_loadu_ps(q + 9), _mm_set1_ps(sp.w[3])));
      Store3(p[i], _mm_add_ps(pos, _mm_mul_ps(sum, scale)));
    }
#else
    for (int i = 1; i < P; ++i) {
      const ResampleSpan& sp = ctx.span[i];
      const V3* q = b + sp.j - 1;
      p[i] = r.pos + (q[0] * sp.w[0] + q[1] * sp.w[1] + q[2] * sp.w[2] + q[3] * sp.w[3]) * fL;
    }
#endif
  }
  p[0] = r.pos;

  if (ctx.splinePoints) StyleBySplines(ctx, r, fL, p);
  if (ctx.curlOn) Curl(ctx, r, w, p);
}

// The per-strand worker: shape, clumping, strays, noise, stack, widths, burn and colour.
void BuildStrand(const BuildContext& ctx, std::size_t s, Scratch& scratch) {
  const GenSettings& st = *ctx.s;
  StrandSet& out = *ctx.out;
  const RootSample& r = (*ctx.roots)[s];
  const int P = ctx.P;
  const std::uint32_t id = r.id;
  V3* p = out.points.data() + s * std::size_t(P);
  float* widths = out.widths.data() + s * std::size_t(P);

  BaseShape(ctx, r, scratch, p);
  const Bary w = RootBary(ctx, r);

  float wet = 0.f;
  if (ctx.wetness) {
    wet = BaryScalar(ctx.wetness, w);
    out.wet[s] = wet;
  }

  const bool stray = (1.f - wet) * st.strayFraction > StrandRand(id, kSaltStray);
  int clump = -1;
  if (!stray) {
    // Sub-clumps copy the centre's shape but keep the strand's own root.
    if (ctx.subClumps.count > 0) {
      const int c = ctx.subClumps.Nearest(p[0]);
      if (c >= 0 && std::size_t(c) != s) {
        const float B = (1.f - StrandRand(id, kSaltSubClump) * st.clumpRandom) * st.clump2Amount;
        const V3* Q = ctx.subClumps.Shape(c);
        PullToSubCentre(p, Q, p[0] - Q[0], ctx.tPowSubClump, B, P);
      }
    }
    // Main clumps pull towards the centre strand itself, so tips converge.
    if (ctx.mainClumps.count > 0) {
      clump = ctx.mainClumps.Nearest(p[0]);
      if (clump >= 0 && std::size_t(clump) != s) {
        const float E = (1.f - StrandRand(id, kSaltClump) * st.clumpRandom) * st.clumpAmount;
        const float a = E + (std::max(st.wetClump, E) - E) * wet;  // wet hair clumps harder
        const V3* Q = ctx.mainClumps.Shape(clump);
        PullToCentre(p, Q, ctx.tPowClump, a, P);
      }
    }
  }
  out.clumpIndex[s] = clump;

  const float phaseB = StrandRand(id, kSaltPhaseB) * 89.f;
  const float phaseH = StrandRand(id, kSaltPhaseH) * 97.f;
  float fw = (StrandRand(id, kSaltWidth) - 0.5f) * st.widthRandom * 2.f + 1.f;
  if (ctx.widthSampler) fw *= ctx.widthSampler->Sample(r.tri, r.u, r.v);

  const std::vector<V3>& normals = ctx.guides->normals;
  const V3 N = UnitOr(normals[std::size_t(w.a)] * w.w0 + normals[std::size_t(w.b)] * w.w1 +
                          normals[std::size_t(w.c)] * w.w2,
                      V3(0, 0, 1));
  out.rootNormal[s] = N;

  const float stackHeight = st.stackOn ? StrandRand(id, kSaltStack) * st.stackThickness : 0.f;
  const float W0 = fw * st.rootWidth, W1 = fw * st.tipWidth;

  const float L = Length(p[P - 1] - p[0]) / std::max(st.length, 1e-6f);
  const float E = std::min(std::max(L, 0.05f), 1.f);

  // Kink, frizz, stack and width of a point read only that point, the root and per-strand
  // values, so each runs as its own pass over the points with the same result as taking
  // them point by point; the noise lines are then set up only when a pass runs.
  const V3 p0 = p[0];
  if (st.kinkAmount > 0.f) {
    FurNoiseLines3 noise(phaseB, 0.5f, phaseB + 7.3f, 13.6f, phaseB + 47.2f, 4.2f);
    for (int i = 1; i < P; ++i) {
      const float t = ctx.t[i];
      const float x = t * st.kinkFreq + phaseH;
      const float F = st.kinkAmount * t * E;
      p[i] += noise(x) * F;
    }
  }
  // M can only be positive with a positive end value or the stray term.
  if (st.frizzRoot > 0.f || st.frizzTip > 0.f || stray) {
    FurNoiseLines3 noise(phaseH, 9.5f, phaseH + 7.3f, 22.6f, phaseH + 47.2f, 13.2f);
    for (int i = 1; i < P; ++i) {
      const float t = ctx.t[i];
      float M = (st.frizzRoot + (st.frizzTip - st.frizzRoot) * t) * E;
      if (stray) M += t * st.strayAmount * E;
      if (!(M > 0.f)) continue;
      const float x = t * st.frizzFreq + phaseB;
      p[i] += noise(x) * M;
    }
  }
  if (st.stackOn) {
    // Near the root the strand is lifted to lie on the stack; the lift fades out by 0.35.
    for (int i = 1; i < P && ctx.t[i] < 0.35f; ++i) {
      const float t = ctx.t[i];
      const float d = Dot(p[i] - p0, N);
      const float floorH = std::min(4.f * t, 1.f) * stackHeight + 0.5f * W0;
      if (d < floorH) {
        const float g = Clamp01((t - 0.1f) * 4.f);
        p[i] += N * (1.f - (3.f - 2.f * g) * (g * g)) * (floorH - d);
      }
    }
  }
  for (int i = 0; i < P; ++i) {
    const float k = ctx.widthK[i];
    switch (ctx.widthRule[i]) {
      case WidthRule::kRoot: widths[i] = W0; break;
      case WidthRule::kTowardsTip: widths[i] = W0 + (W1 - W0) * k; break;
      case WidthRule::kNarrowedTip: widths[i] = (W0 + (W1 - W0) * k) * ctx.widthF[i]; break;
      case WidthRule::kTowardsRoot: widths[i] = W1 + (W0 - W1) * k; break;
      case WidthRule::kBulge: widths[i] = W0 + (W1 - W0) * k + ctx.widthF[i] * (W0 - W1); break;
    }
  }

  float burn = 0.f;
  if (ctx.burn) {
    burn = Clamp01(BaryScalar(ctx.burn, w));
    if (burn > 0.f) {
      const float G = std::max(1.f - burn, 0.06f);
      const float phaseB2 = 1.3f * phaseB;
      FurNoiseLines3 noise(phaseB2, 25.2f, phaseB2 + 7.3f, 34.6f, phaseB2 + 47.2f, 21.5f);
      for (int i = 1; i < P; ++i) {
        const float t = ctx.t[i];
        p[i] = p0 + (p[i] - p0) * G;
        const float x = 9.f * t + phaseH;
        p[i] += noise(x) * (st.length * 0.12f * burn * t);
      }
      if (burn > 0.9f || (burn - 0.75f) * 4.f > StrandRand(id, kSaltBurnHide))
        std::fill(widths, widths + P, 0.f);
    }
  }

  // The colour stage writes highlights and glow only where they apply.
  if (ctx.splitHighlights) {
    out.hiColour[s] = 0xFF000000u;
    out.hiStart[s] = 2.0f;
    out.hiSoft[s] = 0.0f;
  }
  if (ctx.glowOn) out.glow[s] = 0.f;
  ColourStrand(ctx.colour, r, burn, s, out);
  out.strandId[s] = id;
  out.triIndex[s] = r.tri;
}

// The surface arrays the worker indexes must agree with each other.
bool SurfaceUsable(const GuideSet& g) {
  const std::size_t V = g.VertexCount();
  if (g.normals.size() != V || g.tangents.size() != V || g.triangles.size() % 3 != 0) return false;
  for (const std::int32_t k : g.triangles)
    if (k < 0 || std::size_t(k) >= V) return false;
  return true;
}

// Roots [0, count) must name existing triangles.
bool RootsUsable(const std::vector<RootSample>& roots, std::size_t count, std::size_t triangles) {
  for (std::size_t i = 0; i < count; ++i)
    if (roots[i].tri < 0 || std::size_t(roots[i].tri) >= triangles) return false;
  return true;
}

double SurfaceArea(const GuideSet& g) {
  double area = 0;
  const std::size_t T = g.TriangleCount();
  for (std::size_t k = 0; k < T; ++k) {
    const V3& a = g.vertices[std::size_t(g.triangles[3 * k])];
    const V3& b = g.vertices[std::size_t(g.triangles[3 * k + 1])];
    const V3& c = g.vertices[std::size_t(g.triangles[3 * k + 2])];
    area += 0.5 * double(Length(Cross(b - a, c - a)));
  }
  return area;
}

// The rules of WidthAt point by point; the factors are computed as WidthAt computes them.
void FillWidthRules(BuildContext& ctx, int profile) {
  const float e = ctx.taperStart;
  for (int i = 0; i < ctx.P; ++i) {
    const float t = ctx.t[i];
    WidthRule& rule = ctx.widthRule[i];
    float& k = ctx.widthK[i];
    float& f = ctx.widthF[i];
    switch (profile) {
      case 1: {
        if (t < e) {
          rule = WidthRule::kRoot;
          break;
        }
        const float c = (t - e) / (1.f - e);
        k = Smooth(Clamp01(c));
        rule = WidthRule::kTowardsTip;
        if (c > 0.85f) {
          f = 1.f - 0.9f * (c - 0.85f) / 0.15f;
          rule = WidthRule::kNarrowedTip;
        }
        break;
      }
      case 2:
        rule = WidthRule::kRoot;
        break;
      case 3:
        rule = WidthRule::kTowardsRoot;
        k = t;
        break;
      case 4:
        rule = WidthRule::kBulge;
        k = t;
        f = std::sin(kPi * t) * 0.6f;
        break;
      case 5:
        rule = t < e ? WidthRule::kTowardsRoot : WidthRule::kRoot;
        k = Smooth(Clamp01(t / std::max(e, 1e-4f)));
        break;
      default:
        rule = WidthRule::kTowardsTip;
        k = t;
        break;
    }
  }
}

void FillPerBuildConstants(BuildContext& ctx) {
  const GenSettings& s = *ctx.s;
  const int P = ctx.P;
  for (int i = 0; i < P; ++i) {
    const float t = float(i) / float(P - 1);
    ctx.t[i] = t;
    ctx.tPowClump[i] = std::pow(t, s.clumpTip);
    ctx.tPowSubClump[i] = std::pow(t, s.clump2Tip);
    ctx.curlFade[i] = std::min(6.f * t, 1.f);
  }
  ctx.taperStart = TaperStart(s);
  FillWidthRules(ctx, s.widthProfile);

  const int Gb = ctx.blendCount;
  ctx.resample = P != ctx.G;
  if (ctx.resample) {
    for (int i = 0; i < P; ++i) {
      const float x = float(Gb - 1) * float(i) / float(P - 1);
      const int j = std::min(int(std::floor(x)), Gb - 2);
      const float f = x - float(j);
      const float f2 = f * f, f3 = f2 * f;
      ResampleSpan& sp = ctx.span[i];
      sp.j = j;
      sp.w[0] = 0.5f * (-f3 + 2.f * f2 - f);
      sp.w[1] = 0.5f * (3.f * f3 - 5.f * f2 + 2.f);
      sp.w[2] = 0.5f * (-3.f * f3 + 4.f * f2 + f);
      sp.w[3] = 0.5f * (f3 - f2);
    }
  }
  if (s.faceOn) ctx.face = MakeFaceAxes(s);
  ctx.curlOn = s.curlTurns > 0.f && s.curlRadius != 0.f;
}

// Sizes a clump table and stores the base shape of each of its centres (roots 0..K-1).
void FillClumpTable(const BuildContext& ctx, ClumpTable& table, int count, double area, std::size_t strands) {
  PrepareClumpTable(table, count, ctx.P);
  if (table.count == 0) return;
  const RootSample* roots = ctx.roots->data();
  ParallelFor(
      std::uint64_t(table.count),
      [&](std::uint64_t begin, std::uint64_t end) {
        Scratch scratch;
        for (std::uint64_t k = begin; k < end; ++k) BaseShape(ctx, roots[k], scratch, table.Shape(int(k)));
      },
      kClumpGrain);
  BuildClumpGrid(table, area, strands);
}

}  // namespace

int PointsPerStrand(const GenSettings& s) {
  const int base = std::clamp(s.segments, 2, kMaxStrandPoints - 1) + 1;
  float b = float(base);
  if (s.curlRadius > 0.f && s.curlTurns > 0.f) b = std::max(b, (s.curlRandom * 0.5f + 1.f) * s.curlTurns * 10.f + 1.f);
  if (s.frizzRoot > 0.f || s.frizzTip > 0.f) b = std::max(b, s.frizzFreq * 6.f + 1.f);
  if (s.kinkAmount > 0.f) b = std::max(b, s.kinkFreq * 6.f + 1.f);
  const float capped = std::min(256.f, std::ceil(b));
  return std::max(base, int(capped));
}

float WidthProfile(const GenSettings& s, float a, float b, float t) {
  return WidthAt(s.widthProfile, TaperStart(s), a, b, t);
}

std::size_t StrandCountFor(std::size_t roots, double fraction) {
  if (!(fraction > 0.0)) return 0;
  return std::min(std::size_t(std::ceil(double(roots) * std::min(fraction, 1.0))), roots);
}

void BuildStrands(const GuideSet& guides, const std::vector<RootSample>& roots,
                  const std::vector<V3>& guidePoints, const GenSettings& settings,
                  const BuildInputs& in, double fraction, StrandSet& out) {
  const int P = PointsPerStrand(settings);
  out.pointsPerStrand = P;

  const std::size_t R = roots.size();
  const std::size_t V = guides.VertexCount();
  const int G = guides.guidePointCount;
  const std::size_t n = StrandCountFor(R, fraction);
  if (n == 0 || G < 2 || guidePoints.size() != V * std::size_t(G) || !SurfaceUsable(guides)) {
    out.Clear();
    return;
  }

  BuildContext ctx;
  ctx.guides = &guides;
  ctx.roots = &roots;
  ctx.guidePoints = guidePoints.data();
  ctx.s = &settings;
  ctx.in = &in;
  ctx.lengthSampler = in.lengthSampler;
  ctx.widthSampler = in.widthSampler;
  ctx.colourSampler = in.colourSampler;
  ctx.out = &out;
  ctx.P = P;
  ctx.G = G;
  ctx.blendCount = std::min(G, kMaxBlendPoints);
  FillPerBuildConstants(ctx);
  ctx.colour = MakeColourContext(settings, in, guides);

  const SplineSet* splines = in.splines;
  if (splines && splines->pointCount > 0 && !splines->points.empty() &&
      splines->points.size() % std::size_t(splines->pointCount) == 0 && settings.splineInfluence > 0.f &&
      splines->pointCount == P) {
    ctx.splinePoints = splines->points.data();
    ctx.splineCount = splines->SplineCount();
  }
  if (in.wetness.size() == V) ctx.wetness = in.wetness.data();
  if (in.burn.size() == V) ctx.burn = in.burn.data();

  const int mainCount =
      ClumpCentreCount(R, settings.clumpCount, settings.clumpAmount, in.brushActive, n);
  const int subCount =
      ClumpCentreCount(R, settings.clump2Count, settings.clump2Amount, in.brushActive, n);
  const std::size_t rootsRead = std::max({n, std::size_t(mainCount), std::size_t(subCount)});
  if (!RootsUsable(roots, rootsRead, guides.TriangleCount())) {
    out.Clear();
    return;
  }

  const GuideSegments segments = MakeGuideSegments(guidePoints.data(), V, G, ctx.blendCount);
  ctx.segX = segments.x.data();
  ctx.segY = segments.y.data();
  ctx.segZ = segments.z.data();
  ctx.segLength = segments.length.data();
  const double area = SurfaceArea(guides);
  FillClumpTable(ctx, ctx.mainClumps, mainCount, area, n);
  FillClumpTable(ctx, ctx.subClumps, subCount, area, n);

  // Every array below is written in full by the workers: sized without initialising, so
  // each page is first touched by the thread that fills it.
  const std::size_t nP = n * std::size_t(P);
  ResizeForOverwrite(out.points, nP);
  ResizeForOverwrite(out.widths, nP);
  ResizeForOverwrite(out.rootColour, n);
  ResizeForOverwrite(out.tipColour, n);
  ResizeForOverwrite(out.strandId, n);
  ResizeForOverwrite(out.rootNormal, n);
  ResizeForOverwrite(out.clumpIndex, n);
  ResizeForOverwrite(out.triIndex, n);
  // Arrays without an input this build are emptied rather than left from an earlier one.
  ctx.splitHighlights = SplitHighlights(settings);
  for (StrandArray<float>* a : {&out.hiStart, &out.hiSoft}) {
    if (ctx.splitHighlights) ResizeForOverwrite(*a, n);
    else a->clear();
  }
  if (ctx.splitHighlights) ResizeForOverwrite(out.hiColour, n);
  else out.hiColour.clear();
  if (ctx.wetness) ResizeForOverwrite(out.wet, n);
  else out.wet.clear();
  ctx.glowOn = in.glow.size() == V;
  if (ctx.glowOn) ResizeForOverwrite(out.glow, n);
  else out.glow.clear();

  ParallelFor(
      n,
      [&ctx](std::uint64_t begin, std::uint64_t end) {
        Scratch scratch;
        for (std::uint64_t s = begin; s < end; ++s) BuildStrand(ctx, std::size_t(s), scratch);
      },
      kStrandGrain);
}

}  // namespace crn
