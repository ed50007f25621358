// The colour stage of a strand and its procedural sources. Every function here is a pure
// function of its inputs (no allocation, no shared state): it runs once per strand on the
// worker threads of the strand build.
#include "hair/strand_colour.h"

#include <algorithm>
#include <cmath>

#include "hair/colour_pack.h"

namespace crn {

namespace {

constexpr float kPi = 3.14159265358979f;

inline float SC(float x) { return Smooth(Clamp01(x)); }
inline float Noise(const V3& p) { return FurNoise3(p.x, p.y, p.z); }
inline float SignOf(float x) { return x > 0.f ? 1.f : -1.f; }
inline float Fract(float x) { return x - std::floor(x); }

// CellNoise3(p).f1 with one square root instead of 27: the root is monotone, so the
// smallest squared distance gives the same nearest distance bit for bit.
float CellF1(const V3& p) {
  const std::int32_t bi = std::int32_t(std::floor(p.x)), bj = std::int32_t(std::floor(p.y)),
                     bk = std::int32_t(std::floor(p.z));
  float best = 1e30f;
  for (int di = -1; di <= 1; ++di)
    for (int dj = -1; dj <= 1; ++dj)
      for (int dk = -1; dk <= 1; ++dk) {
        best = std::fmin(best, LengthSq(p - CellFeaturePoint(bi + di, bj + dj, bk + dk)));
      }
  return std::sqrt(best);
}

// Moves c towards x by k per channel.
inline void MoveTowards(V3& c, const V3& x, float k) { c = c + (x - c) * k; }

// Floor to a cell coordinate; saturates instead of overflowing on huge inputs.
inline std::int32_t FloorCell(float x) {
  const float f = std::floor(x);
  if (!(f > -2147483520.f)) return INT32_MIN;  // also NaN
  if (f > 2147483520.f) return INT32_MAX;
  return std::int32_t(f);
}

// Barycentric glow at the root, or 0 when the root's triangle is out of range.
float RootGlow(const GuideSet& g, std::span<const float> glow, const RootSample& r) {
  if (r.tri < 0 || std::size_t(r.tri) * 3 + 2 >= g.triangles.size()) return 0.f;
  const std::int32_t* t = g.triangles.data() + std::size_t(r.tri) * 3;
  const std::size_t n = glow.size();
  if (t[0] < 0 || t[1] < 0 || t[2] < 0 || std::size_t(t[0]) >= n || std::size_t(t[1]) >= n ||
      std::size_t(t[2]) >= n)
    return 0.f;
  return (1.f - r.u - r.v) * glow[t[0]] + r.u * glow[t[1]] + r.v * glow[t[2]];
}

// --- coat patterns; each yields mark I, second c and tip mark z before the amount

struct RawPattern {
  float mark = 0, second = 0, tip = 0;
};

// Tiger (1) and zebra (8) share one recipe; the tiger adds band breaks, forks and belly.
RawPattern StripePattern(const GenSettings& s, const PatternFrame& f, const V3& p, const V3& n,
                         const V3& pc, float M, bool zebra) {
  const V3& X = f.extent;
  const V3 rel = p - f.centre;
  const float side = Dot(rel, f.side);
  const float theta = std::atan2(side, (p.z - f.centre.z) - 0.15f * X.z);
  const float g = std::fmin(std::fabs(theta) / kPi, 1.f);  // 0 on the back, 1 on the belly
  const float sg = SignOf(theta);

  const float W0 = Dot(p - f.b0, f.longAxis) / f.scale;
  const float W = W0 + 0.1f * Noise(pc * 0.25f) + 0.18f * g * sg + 0.06f * std::sin(9.f * g + W0);
  const float tau = zebra ? 1.f - 0.5f * f.width : 1.f - (0.2f - 0.12f * g) * f.width;
  const float b1 = SC((1.f - 2.f * std::fabs(W - std::floor(W) - 0.5f) - tau) / 0.05f);

  // Leg bands run around the body, by height.
  const float V = 0.22f * Noise(pc * 0.3f) + (p.z - f.b0.z) / (1.05f * f.scale) +
                  0.08f * Noise(pc * 1.1f);
  const float tau2 =
      zebra ? 1.f - 0.5f * f.width
            : 1.f - ((0.5f * FurNoise3(3.1f * std::floor(V), 2.f, 5.f) + 0.5f) * 0.16f + 0.1f) *
                        f.width;
  float b2 = SC((1.f - 2.f * std::fabs(V - std::floor(V) - 0.5f) - tau2) / 0.05f);
  if (!zebra)
    b2 *= SC((Noise(pc * 0.55f + V3(7.f, 1.f, 3.f)) + 0.55f - 0.4f * s.patternBreaks) / 0.45f) *
          SC((M - 0.1f) / 0.14f);

  const float Z = 1.f - SC((M - 0.28f) / 0.14f);
  float I = b1 + (b2 - b1) * Z;  // bands low on the body, stripes above
  if (zebra) return {I, 0.f, 0.f};

  if (FurNoise3(0.7f * W0, 3.f * g, 4.2f) > 0.75f - s.patternBreaks && Z < 0.5f) {
    const float F = W0 - std::floor(W0);
    const float edge = F < 0.5f ? 0.08f : 0.92f;
    I = std::fmax(I, SC((1.f - 2.f * std::fabs(F - edge) - 0.9f) / 0.05f));
  }

  const float e = SC((n.z + 0.25f) / -0.45f);
  const float k1 = SC((-Dot(f.side, n) * SignOf(side) - 0.15f) / 0.4f) * Z *
                   SC((std::fabs(side) / std::fmax(X.x + X.y, 1e-6f) - 0.02f) / 0.04f);
  float c = std::fmax(k1, e);
  I *= SC(4.f * (FurNoise3(1.3f * W0, 5.f * g, 11.f) + 1.35f - s.patternBreaks - 0.6f * g)) *
       SC((M - 0.03f) / 0.07f) * (1.f - c);
  c *= 0.95f;
  return {I, c, 0.f};
}

const V3 kWarpY(31.7f, 7.3f, 13.1f), kWarpZ(-11.9f, 47.2f, 3.7f);

// Leopard / jaguar: broken rosettes, small spots low on the body and on the face.
RawPattern RosettePattern(const GenSettings& s, const ColourContext& ctx, const V3& p,
                          const V3& n, const V3& pc, float M) {
  const V3 q = pc * 0.6f;
  const V3 pw = pc * 0.9f + V3(Noise(q), Noise(q + kWarpY), Noise(q + kWarpZ)) * 0.2f;
  const float F1 = CellF1(pw);
  const float r0 = 0.08f * ctx.pattern.width;
  const float t = Clamp01((F1 - 0.18f) / r0);
  const float v = Clamp01((F1 - r0 - 0.38f) / -0.08f);
  const float ang =
      std::atan2(Noise(pw * 2.f + V3(3.f, 1.f, 7.f)), Noise(pw * 2.f + V3(9.f, 4.f, 2.f)));
  const float o = Clamp01(2.f * (std::sin(3.f * ang + 9.f * F1) + 0.75f));
  const float ring = Smooth(v) * Smooth(t) * Smooth(o);
  const float centre = 0.25f * SC((F1 - 0.2f) / -0.1f);
  const float rosette = std::fmax(centre, ring);

  const V3 ps = pc * 2.2f + V3(Noise(pc), Noise(pc + kWarpY), Noise(pc + kWarpZ)) * 0.15f;
  const float spot = SC((CellF1(ps) - 0.3f) / -0.1f);

  float share = 1.f - SC((M - 0.25f) / 0.15f);
  if (s.faceOn) {
    const V3 fq = FaceCoords(s, ctx.face, p);
    if (InsideFace(fq))
      share = 1.f;
    else
      share = std::fmax(share, SC((Length(V3(fq.x, fq.y, fq.z + 0.6f)) - 1.6f) * -2.f));
  }

  const float e = SC((n.z + 0.25f) / -0.45f);
  const float d = SC((CellF1(pc * 0.7f) - 0.24f) / -0.08f);
  const float I = (rosette + (spot - rosette) * share) * (1.f - e) + 0.9f * d * e;
  return {I, 1.f - SC((M - 0.1f) / 0.2f), 0.f};
}

}  // namespace

PatternFrame MakePatternFrame(const GenSettings& s) {
  PatternFrame f;
  f.b0 = s.bboxMin;
  f.b1 = s.bboxMax;
  const V3 X = f.b1 - f.b0;
  f.extent = X;
  if (X.x < X.y && X.z <= X.y)
    f.longAxis = V3(0, 1, 0);
  else if (X.x < X.z && X.z > X.y)
    f.longAxis = V3(0, 0, 1);
  else
    f.longAxis = V3(1, 0, 0);
  f.side = UnitOr(Cross(V3(0, 0, 1), f.longAxis), V3(1, 0, 0));
  f.centre = (f.b0 + f.b1) * 0.5f;
  f.scale = std::fmax(s.patternScale, 1e-6f);
  f.width = std::fmax(s.patternWidth, 0.1f);
  return f;
}

StreakFrame MakeStreakFrame(const GenSettings& s) {
  StreakFrame f;
  f.invWidth = 1.f / std::fmax(s.hiWidth, 1e-6f);
  f.seedPhase = float(s.hiSeed % 9973) * 0.731f;
  const std::uint32_t seed = std::uint32_t(s.hiSeed);
  f.cellSalt = Mix32(seed + 300u);
  f.densitySalt = Mix32(seed + 301u);
  f.shadeSalt = Mix32(seed + 302u);
  return f;
}

ColourContext MakeColourContext(const GenSettings& settings, const BuildInputs& inputs,
                                const GuideSet& guides) {
  ColourContext c;
  c.settings = &settings;
  c.inputs = &inputs;
  c.guides = &guides;
  c.colourSampler = inputs.colourSampler;
  c.face = MakeFaceAxes(settings);
  c.pattern = MakePatternFrame(settings);
  c.streak = MakeStreakFrame(settings);
  c.glowOn = !inputs.glow.empty() && inputs.glow.size() == guides.VertexCount();
  return c;
}

PatternWeights CoatPattern(const ColourContext& ctx, const V3& p, const V3& n, std::uint32_t id) {
  const GenSettings& s = *ctx.settings;
  const PatternFrame& f = ctx.pattern;
  if (s.pattern == 6) {
    // Greying: a random share of whole strands takes the second colour, unscaled.
    const float g = 0.5f * s.patternAmount > StrandRand(id, 0x0A2DC151u) ? 1.f : 0.f;
    return {0.f, g, 0.f};
  }
  if (s.pattern < 1 || s.pattern > 8) return {};

  const float M = f.extent.z <= 1e-6f ? 0.5f : (p.z - f.b0.z) / f.extent.z;
  const V3 pc = (p - f.b0) / f.scale;
  RawPattern r;
  switch (s.pattern) {
    case 1:
    case 8:
      r = StripePattern(s, f, p, n, pc, M, s.pattern == 8);
      break;
    case 2:
      r = RosettePattern(s, ctx, p, n, pc, M);
      break;
    case 3:
      r.mark = SC((CellF1(pc * 1.6f) - 0.38f) / -0.1f);
      r.second = 1.f - SC((M - 0.1f) / 0.2f);
      break;
    case 4: {
      const float D = std::sin(2.f * kPi * (2.2f * Noise(pc * 0.5f) + 0.8f * Dot(f.longAxis, pc)));
      r.mark = 0.5f * SC(4.f * (M - 0.7f)) + 0.85f * SC((D - 0.2f) / 0.4f);
      r.second = 1.f - SC(4.f * (M - 0.05f));
      break;
    }
    case 5:
      r.mark = SC(4.f * (M - 0.75f));
      r.second = 1.f - SC((0.08f * Noise(pc) + M - 0.15f) / 0.4f);
      break;
    case 7:
      r.mark = SC((0.15f * Noise(pc * 0.7f) + M - 0.7f) / 0.3f);
      r.second = 1.f - SC((M - 0.1f) / 0.3f);
      r.tip = 0.75f;  // a dark band at every tip
      break;
    default:
      break;
  }
  const float a = s.patternAmount;
  return {std::fmin(r.mark, 1.f) * a, std::fmin(r.second, 1.f) * a, r.tip * a};
}

PatternWeights CoatPattern(const GenSettings& settings, const V3& p, const V3& n,
                           std::uint32_t id) {
  static const GuideSet kNoGuides;
  static const BuildInputs kNoInputs;
  return CoatPattern(MakeColourContext(settings, kNoInputs, kNoGuides), p, n, id);
}

float StreakWeight(const ColourContext& ctx, const V3& p, std::uint32_t id) {
  const GenSettings& s = *ctx.settings;
  const StreakFrame& f = ctx.streak;
  const std::uint32_t hid = id * 0x9E3779B9u;
  // The per-strand test first: it is cheap and needs no noise.
  if (!(Unit24(Mix32(f.densitySalt ^ hid)) < s.hiDensity)) return 0.f;

  const V3& d = s.up;
  const float e = Dot(d, p) * s.hiAlong;  // removes a share of the along-fall component
  const float r = (p.x - e * d.x) * f.invWidth;
  const float m = (p.y - e * d.y) * f.invWidth;
  const float fz = (p.z - e * d.z) * f.invWidth;
  const float t = f.seedPhase + 0.5f * r, o = 0.5f * m + 3.3f, u = 0.5f * fz + 1.7f;
  const std::int32_t cy = FloorCell(0.6f * FurNoise3(t + 31.7f, o + 7.3f, u + 13.1f) + m);
  const std::int32_t cz = FloorCell(0.6f * FurNoise3(t - 11.9f, o + 47.2f, u + 3.7f) + fz);
  const std::int32_t cx = FloorCell(0.6f * FurNoise3(t, o, u) + r);
  if (!(Unit24(Mix32(f.cellSalt ^ (CellKey(cx, cy, cz) * 0x9E3779B9u))) < s.hiAmount)) return 0.f;
  return 1.f - Unit24(Mix32(f.shadeSalt ^ hid)) * s.hiRandom;
}

float StreakWeight(const GenSettings& settings, const V3& p, std::uint32_t id) {
  ColourContext c;
  c.settings = &settings;
  c.streak = MakeStreakFrame(settings);
  return StreakWeight(c, p, id);
}

FaceMarkWeights FaceMarks(const GenSettings& s, const V3& q) {
  const float d = std::fabs(q.x), y = q.y, z = q.z;
  auto ellipse = [&](float cy, float ry, float cx, float rx) {
    const float a = (y - cy) / ry, b = (d - cx) / rx;
    return SC((a * a + b * b - 1.f) / -0.4f);
  };

  // Light areas: around the eyes, the cheeks and the muzzle.
  float f = std::fmax(ellipse(0.32f, 0.09f, 0.3f, 0.15f), ellipse(-0.22f, 0.28f, 0.46f, 0.24f));
  float h;
  if (s.HasNoseTip()) {
    const float b = s.noseTipZ - z;
    const float h1 = SC((b - 0.04f) / 0.08f) * SC((b - 0.6f) / -0.18f) *
                     SC((s.noseTipY - y + 0.02f) / 0.08f) * SC((d - 0.07f) / 0.06f);
    const float h2 = SC((b - 0.7f) / -0.2f) * SC((b - 0.05f) / 0.1f) *
                     SC((s.noseTipY - y - 0.18f) / 0.1f);
    h = std::fmax(h1, h2);
  } else {
    h = ellipse(-0.44f, 0.14f, 0.12f, 0.22f);
  }
  f = std::fmax(f, h);

  // Dark marks: eye line, forehead stripes, cheek bars, whisker spots.
  float m = 0.f;
  const float l = (d - 0.34f) / 0.22f;
  if (l > 0.f && l < 1.f)
    m = std::fmax(m, SC((l - 1.f) / -0.4f) *
                         SC((std::fabs(y - (0.12f - 0.1f * l)) - 0.035f) / -0.02f));
  if (y > 0.4f && d < 0.5f)
    m = std::fmax(m, SC((std::sin(kPi * (0.7f * FurNoise3(3.f * d, 2.f * y, 1.f) + 11.f * d)) -
                         0.8f) / 0.1f) *
                         SC((y - 0.4f) / 0.12f) *
                         SC((FurNoise3(4.f * d, 6.f * y, 2.f) + 0.3f) / 0.35f));
  if (d > 0.4f && y > -0.75f && y < 0.2f) {
    const float r = std::sqrt((y - 0.25f) * (y - 0.25f) + (d - 0.3f) * (d - 0.3f));
    const float t = 0.35f * FurNoise3(3.f * d, 3.f * y, 5.f) + 5.2f * r;
    const float k = std::floor(t);
    if (k >= 2.f && k <= 4.f) {
      const float w = 0.17f - 0.03f * (k - 2.f);
      m = std::fmax(m, SC((d - 0.4f) / 0.1f) * SC((std::fabs(t - k - 0.5f) - w) / (-0.6f * w)) *
                           SC((FurNoise3(2.f * t, 4.f * d, 8.f) + 0.45f) / 0.3f));
    }
  }
  if (d > 0.08f && d < 0.3f && y > -0.56f && y < -0.32f)
    m = std::fmax(m, 0.6f * SC((std::sin(55.f * y) * std::sin(70.f * d) - 0.85f) / 0.12f));

  // Keep the nose bridge clear.
  const float o =
      1.f - SC((y + 0.35f) / 0.15f) * SC((d - 0.16f) / -0.08f) * SC((y - 0.35f) / -0.1f);
  return {s.faceMarks * o * m, s.faceMarks * o * f * (1.f - o * m)};
}

void ColourStrand(const ColourContext& ctx, const RootSample& root, float burn, std::size_t s,
                  StrandSet& out) {
  const GenSettings& st = *ctx.settings;
  const BuildInputs& in = *ctx.inputs;
  const std::uint32_t id = root.id;
  const V3& p = root.pos;

  // 1-2. Brightness and base colours.
  const float beta = (StrandRand(id, 0x51C2F1F4u) - 0.5f) * st.colorVar * 2.f + 1.f;
  V3 cr = st.rootColor, ct = st.tipColor;

  // 3. Colour map; a mid-grey sample leaves the colours as they are.
  if (ctx.colourSampler) {
    V3 m = (*ctx.colourSampler)(root.tri, root.u, root.v);
    if (st.mapSat != 1.f) {
      const float Y = 0.2126f * m.x + 0.7152f * m.y + 0.0722f * m.z;
      m = V3(std::fmax(0.f, (m.x - Y) * st.mapSat + Y), std::fmax(0.f, (m.y - Y) * st.mapSat + Y),
             std::fmax(0.f, (m.z - Y) * st.mapSat + Y));
    }
    cr = Mul(st.rootColor, m) * 2.f;
    ct = Mul(st.tipColor, m) * 2.f;
  }

  // 4. Coat pattern.
  if (st.pattern != 0) {
    const PatternWeights k = CoatPattern(ctx, p, root.normal, id);
    cr = Lerp(Lerp(cr, st.patternSecond, k.second), st.patternColor, k.mark);
    ct = Lerp(Lerp(ct, st.patternSecond, k.second), st.patternColor, std::fmax(k.tipMark, k.mark));
  }

  // 5. Highlight streaks: split along the strand when the arrays exist, else whole strands.
  if (st.hiOn && st.hiAmount > 0.f) {
    const float J = StreakWeight(ctx, p, id);
    if (J > 0.f) {
      if (s < out.hiColour.size() && s < out.hiStart.size() && s < out.hiSoft.size()) {
        const V3 base = Lerp(cr, ct, st.hiStart);
        out.hiColour[s] = PackColourByTable(Lerp(base, st.hiColor, J) * beta);
        out.hiStart[s] = st.hiStart;
        out.hiSoft[s] = st.hiSoft;
      } else {
        cr = cr + (st.hiColor - cr) * J * st.hiRoot;
        ct = ct + (st.hiColor - ct) * J;
      }
    }
  }

  // 6-7. Face marks, ruff and face tone.
  if (st.faceOn) {
    const V3 q = FaceCoords(st, ctx.face, p);
    const bool inside = InsideFace(q);
    if (inside) {
      const FaceMarkWeights k = FaceMarks(st, q);
      cr = Lerp(Lerp(cr, st.patternSecond, k.light), st.patternColor, k.dark);
      ct = Lerp(Lerp(ct, st.patternSecond, k.light), st.patternColor, k.dark);
    }
    const float ruff = RuffWeight(st, q);
    if (ruff > 0.f) {
      MoveTowards(cr, st.ruffColor, 0.5f * ruff);
      MoveTowards(ct, st.ruffColor, 0.85f * ruff);
    }
    if (st.faceTone > 0.f) {
      float b = inside ? 1.f : 0.f;
      if (st.HasNoseTip()) {
        const float a = Clamp01((std::fabs(q.x) - 0.8f) * -4.f);
        const float c = Clamp01((st.noseTipZ - q.z - 1.1f) / -0.3f);
        b = std::fmax(b, Smooth(a) * Smooth(c));
      }
      const float K = st.faceTone * b;
      if (K > 0.f) {
        MoveTowards(cr, in.coatColour, K);
        MoveTowards(ct, in.coatColour, K);
      }
    }
  }

  // 8. Embers; a glowing strand is never charred beyond 0.85.
  float d = Clamp01(burn);
  if (ctx.glowOn) {
    const float gv = std::fmin(RootGlow(*ctx.guides, in.glow, root), 1.f);
    if (gv > 0.f) {
      const float g = (StrandRand(id, 0x519090C1u) * 0.4f + 0.6f) * gv;
      MoveTowards(ct, V3(1.8f, 0.62f, 0.12f), g);
      if (s < out.glow.size()) out.glow[s] = g;
      MoveTowards(cr, V3(0.9f, 0.31f, 0.06f), 0.25f * gv);
      d = std::fmin(d, 0.85f);
    }
  }

  // 9. Char.
  if (d > 0.f) {
    const float d2 = 2.f * d, a = std::fmin(d2, 1.f), o = std::fmax(d2 - 1.f, 0.f);
    const V3 brown(0.07f, 0.04f, 0.02f), black(0.012f, 0.01f, 0.009f);
    MoveTowards(cr, brown, 0.7f * a);
    MoveTowards(cr, black, o);
    MoveTowards(ct, brown, a);
    MoveTowards(ct, black, std::fmin(1.4f * o, 1.f));
  }

  // 10. Eye rims: a dark ring from 0.95 to 1.75 eye radii.
  const std::size_t eyes = std::min(in.eyeCentres.size(), in.eyeRadii.size());
  for (std::size_t i = 0; i < eyes; ++i) {
    const float re = std::fmax(in.eyeRadii[i], 1e-6f);
    const float D = Length(p - in.eyeCentres[i]);
    const float a = Clamp01((D - 1.75f * re) / (-0.4f * re));
    const float b = Clamp01((D - 0.95f * re) / (0.2f * re));
    const float O = Smooth(a) * Smooth(b);
    if (O > 0.f) {
      MoveTowards(cr, V3(0.025f, 0.02f, 0.018f), 0.85f * O);
      MoveTowards(ct, V3(0.025f, 0.02f, 0.018f), 0.85f * O);
    }
  }

  // 11. Pack.
  out.rootColour[s] = PackColourByTable(cr * beta);
  out.tipColour[s] = PackColourByTable(ct * beta);
}

void ColourStrand(const GenSettings& settings, const BuildInputs& inputs, const GuideSet& guides,
                  const RootSample& root, float burn, std::size_t s, StrandSet& out) {
  ColourStrand(MakeColourContext(settings, inputs, guides), root, burn, s, out);
}

V3 StrandColourAt(const StrandSet& set, std::size_t s, float t) {
  if (s >= set.rootColour.size() || s >= set.tipColour.size()) return {};
  const V3 root = UnpackColour(set.rootColour[s]), tip = UnpackColour(set.tipColour[s]);
  const V3 base = root + (tip - root) * t;
  if (s >= set.hiColour.size() || s >= set.hiStart.size() || s >= set.hiSoft.size()) return base;

  const V3 h = UnpackColour(set.hiColour[s]);
  const float a = set.hiStart[s], w = set.hiSoft[s];
  const float lo = a - w / 2.f, hi = a + w / 2.f;
  const float k = lo >= hi ? (t < lo ? 0.f : 1.f) : Smooth(Clamp01((t - lo) / (hi - lo)));
  const V3 target(h.x + (std::fmax(h.x, tip.x) - h.x) * t, h.y + (std::fmax(h.y, tip.y) - h.y) * t,
                  h.z + (std::fmax(h.z, tip.z) - h.z) * t);
  return base + (target - base) * k;
}

}  // namespace crn
