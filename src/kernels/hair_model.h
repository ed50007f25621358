#pragma once
// The hair fibre shading model, one source for the material's CPU shading, the path-tracing
// kernel and its CPU twin: the flat material record, the hair colour, the absorption and the
// lobe evaluation of both variants (a physically based fibre model after Chiang et al. 2016
// and a cheaper Gaussian artist model).
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "kernels/hd.h"
#include "kernels/vec3.h"

namespace hrt {

using crn::V3;

// The material's parameters as 45 four-byte words in parameter-id order. It is the CPU
// material cache and, unchanged, the element of the GPU material array, so the layout is
// binding.
struct HairShadeParams {
  std::int32_t useStrandColor;  // 0/1
  float melanin;
  float pheomelanin;
  V3 dyeColor;
  float dyeAmount;
  float tipLighten;
  float specAmount;
  float trtAmount;
  float ttAmount;
  float roughness;
  float azRoughness;
  float cuticleTilt;  // degrees
  float ior;
  V3 specTint;
  float diffuseAmount;
  float shadowOpacity;
  float tipFade;
  float glints;
  V3 scatterColor;
  float scatterAmount;
  float scatterSpread;
  float waveAmount;
  float waveFreq;
  float waveRandom;
  float iridescence;
  float filmThickness;
  float wetness;
  V3 emission;
  float melaninRandom;
  float greyFraction;
  std::int32_t physical;  // 0/1
  V3 ttTint;
  V3 trtTint;
};
static_assert(sizeof(HairShadeParams) == 180, "HairShadeParams is 45 words");
static_assert(offsetof(HairShadeParams, melanin) == 4);
static_assert(offsetof(HairShadeParams, dyeColor) == 12);
static_assert(offsetof(HairShadeParams, dyeAmount) == 24);
static_assert(offsetof(HairShadeParams, specAmount) == 32);
static_assert(offsetof(HairShadeParams, roughness) == 44);
static_assert(offsetof(HairShadeParams, cuticleTilt) == 52);
static_assert(offsetof(HairShadeParams, ior) == 56);
static_assert(offsetof(HairShadeParams, specTint) == 60);
static_assert(offsetof(HairShadeParams, diffuseAmount) == 72);
static_assert(offsetof(HairShadeParams, shadowOpacity) == 76);
static_assert(offsetof(HairShadeParams, tipFade) == 80);
static_assert(offsetof(HairShadeParams, glints) == 84);
static_assert(offsetof(HairShadeParams, scatterColor) == 88);
static_assert(offsetof(HairShadeParams, scatterAmount) == 100);
static_assert(offsetof(HairShadeParams, scatterSpread) == 104);
static_assert(offsetof(HairShadeParams, waveAmount) == 108);
static_assert(offsetof(HairShadeParams, waveFreq) == 112);
static_assert(offsetof(HairShadeParams, waveRandom) == 116);
static_assert(offsetof(HairShadeParams, iridescence) == 120);
static_assert(offsetof(HairShadeParams, filmThickness) == 124);
static_assert(offsetof(HairShadeParams, wetness) == 128);
static_assert(offsetof(HairShadeParams, emission) == 132);
static_assert(offsetof(HairShadeParams, melaninRandom) == 144);
static_assert(offsetof(HairShadeParams, greyFraction) == 148);
static_assert(offsetof(HairShadeParams, physical) == 152);
static_assert(offsetof(HairShadeParams, ttTint) == 156);
static_assert(offsetof(HairShadeParams, trtTint) == 168);

// One evaluation of the fibre's scattering: primary reflection, transmission, secondary
// reflection and the rest (higher orders plus diffuse and forward scatter).
struct HairLobes {
  V3 R, TT, TRT, residual;
};

// The model's constants as the kernel writes them.
constexpr float kPi = 3.14159f;
constexpr float kInvPi = 0.3183f;
constexpr float kInv2Pi = 0.1591549f;
constexpr float kDegToRad = 0.0174533f;
// Passing this as the fibre offset h integrates across the fibre with Gauss-Legendre.
constexpr float kIntegrateAcrossFibre = 2.f;

// The parameter defaults of a new material.
CRN_HD inline HairShadeParams DefaultHairParams() {
  HairShadeParams p{};
  p.useStrandColor = 1;
  p.melanin = 0.5f;
  p.pheomelanin = 0.15f;
  p.dyeColor = {1, 1, 1};
  p.dyeAmount = 0;
  p.tipLighten = 0.15f;
  p.specAmount = 1;
  p.trtAmount = 1;
  p.ttAmount = 1;
  p.roughness = 0.2f;
  p.azRoughness = 0.3f;
  p.cuticleTilt = 3.0f;
  p.ior = 1.55f;
  p.specTint = {1, 1, 1};
  p.diffuseAmount = 0.1f;
  p.shadowOpacity = 0.35f;
  p.tipFade = 0.3f;
  p.glints = 0.2f;
  p.scatterColor = {1, 0.8f, 0.6f};
  p.scatterAmount = 0.3f;
  p.scatterSpread = 0.5f;
  p.waveAmount = 0;
  p.waveFreq = 6;
  p.waveRandom = 0.5f;
  p.iridescence = 0;
  p.filmThickness = 400;
  p.wetness = 0;
  p.emission = {0, 0, 0};
  p.melaninRandom = 0.1f;
  p.greyFraction = 0;
  p.physical = 1;
  p.ttTint = {1, 1, 1};
  p.trtTint = {1, 1, 1};
  return p;
}

// What hair without a hair material is shaded with: the defaults, rougher and more diffuse.
CRN_HD inline HairShadeParams FallbackHairParams() {
  HairShadeParams p = DefaultHairParams();
  p.roughness = 0.3f;
  p.azRoughness = 0.5f;
  p.diffuseAmount = 0.35f;
  return p;
}

namespace model {

CRN_HD inline float Clampf(float x, float lo, float hi) { return x < lo ? lo : (x > hi ? hi : x); }
CRN_HD inline float Maxf(float a, float b) { return a > b ? a : b; }
CRN_HD inline float Fract(float x) { return x - floorf(x); }
CRN_HD inline V3 Exp3(const V3& v) { return {expf(v.x), expf(v.y), expf(v.z)}; }

// Eumelanin and pheomelanin concentrations for a strand with random value r.
CRN_HD inline void Melanins(const HairShadeParams& p, float r, float& e, float& ph) {
  const float g = (r - 0.5f) * p.melaninRandom;
  e = 8.f * p.melanin * p.melanin * (1.f + 2.f * g);
  ph = 8.f * p.pheomelanin * p.pheomelanin * (1.f + 2.f * g);
}

CRN_HD inline bool IsGrey(const HairShadeParams& p, float r) {
  return p.greyFraction > 0.f && p.greyFraction > Fract(7.919f * r);
}

// Colour of the R lobe (specular tint) with thin-film iridescence at the cosine cosFilm.
CRN_HD inline V3 SpecColour(const HairShadeParams& p, float cosFilm) {
  V3 s = p.specTint;
  const float i = p.iridescence;
  if (i > 0.f) {
    const float psi = 2.f * kPi * 2.8f * p.filmThickness * Maxf(cosFilm, 0.05f);
    s.x = s.x * (1.f + i * (0.5f + 0.5f * cosf(psi / 650.f) - 1.f));
    s.y = s.y * (1.f + i * (0.5f + 0.5f * cosf(psi / 550.f) - 1.f));
    s.z = s.z * (1.f + i * (0.5f + 0.5f * cosf(psi / 450.f) - 1.f));
  }
  return s;
}

CRN_HD inline float WaveFactor(const HairShadeParams& p, float r, float v) {
  if (!(p.waveAmount > 0.f)) return 1.f;
  return Maxf(0.f, 1.f + p.waveAmount * sinf(2.f * kPi * p.waveRandom * r + 2.f * kPi * p.waveFreq * v));
}

CRN_HD inline float GlintFactor(const HairShadeParams& p, float r, float phi) {
  if (!(p.glints > 0.f)) return 1.f;
  return 1.f + 2.f * p.glints * Maxf(0.f, sinf(12.9898f * r + 7.f * phi));
}

// I0 by its power series, k = 0 ... 10.
CRN_HD inline float BesselI0(float a) {
  const float q = a * a / 4.f;
  float term = 1.f, sum = 1.f;
  for (int k = 1; k <= 10; ++k) {
    term = term * q / float(k * k);
    sum += term;
  }
  return sum;
}

CRN_HD inline float LogBesselI0(float a) {
  if (a > 12.f) return a + 0.5f * (-logf(2.f * kPi) + logf(1.f / a) + 1.f / (8.f * a));
  return logf(BesselI0(a));
}

// The terms of the longitudinal scattering that depend on its variance nu alone, worked out
// once per shading point: 1 / nu and log(1 / (2 nu)) for a narrow lobe (nu <= 0.1), else
// 2 nu sinh(1 / nu).
struct MpVariance {
  float nu;
  bool narrow;
  float invNu, logScale, norm;
};

CRN_HD inline MpVariance MpVarianceOf(float nu) {
  MpVariance v{nu, nu <= 0.1f, 1.f / nu, 0.f, 0.f};
  if (v.narrow)
    v.logScale = logf(1.f / (2.f * nu));
  else
    v.norm = 2.f * nu * sinhf(v.invNu);
  return v;
}

// Longitudinal scattering with variance v.nu.
CRN_HD inline float Mp(float cosI, float cosO, float sinI, float sinO, const MpVariance& v) {
  const float a = cosI * cosO / v.nu, b = sinI * sinO / v.nu;
  if (v.narrow) return expf(LogBesselI0(a) - b - v.invNu + 0.6931f + v.logScale);
  return expf(-b) * BesselI0(a) / v.norm;
}

// Unpolarised dielectric reflectance at the incidence cosine cosI into relative index eta.
CRN_HD inline float Fresnel(float cosI, float eta) {
  const float sinT = sqrtf(Maxf(0.f, 1.f - cosI * cosI)) / eta;
  if (sinT >= 1.f) return 1.f;
  const float cosT = sqrtf(Maxf(0.f, 1.f - sinT * sinT));
  const float rs = (cosI - eta * cosT) / (cosI + eta * cosT);
  const float rp = (eta * cosI - cosT) / (eta * cosI + cosT);
  return 0.5f * (rs * rs + rp * rp);
}

// The share of a logistic of scale s that lies in [-pi, pi]: what trimming divides by.
CRN_HD inline float LogisticInPi(float s) { return 1.f / (1.f + expf(-kPi / s)) - 1.f / (1.f + expf(kPi / s)); }

// The azimuthal term: a logistic of scale s trimmed to [-pi, pi]; inPi = LogisticInPi(s).
CRN_HD inline float TrimmedLogistic(float x, float s, float inPi) {
  const float e = expf(-fabsf(x) / s);
  const float logistic = e / (s * (1.f + e) * (1.f + e));
  return logistic / inPi;
}

CRN_HD inline float Np(float phi, int p, float gammaO, float gammaT, float s, float inPi) {
  float d = phi - (2.f * float(p) * gammaT - 2.f * gammaO + float(p) * kPi);
  while (d > kPi) d -= 2.f * kPi;
  while (d < -kPi) d += 2.f * kPi;
  return TrimmedLogistic(d, s, inPi);
}

CRN_HD inline float Gaussian(float x, float beta) {
  return expf(-x * x / (2.f * beta * beta)) / (beta * 2.5066283f);
}

CRN_HD inline float Pow5(float x) { return x * x * x * x * x; }

// Projection of w onto the plane normal to t.
CRN_HD inline V3 Across(const V3& t, const V3& w) { return w - t * crn::Dot(t, w); }

}  // namespace model

// Linear hair colour in [0, 1] for a strand colour at v (0 root, 1 tip) and the strand's
// random value r, with the given wetness (the material's, or the larger of the material's and
// the strand's).
CRN_HD inline V3 HairColour(const HairShadeParams& p, const V3& strandColour, float v, float r,
                            float wetness) {
  using namespace model;
  V3 c;
  if (p.useStrandColor) {
    c = strandColour;
  } else {
    float e, ph;
    Melanins(p, r, e, ph);
    c = Exp3(V3(-(0.419f * e + 0.187f * ph), -(0.697f * e + 0.4f * ph), -(1.37f * e + 1.05f * ph)));
  }
  const float d = p.dyeAmount;
  if (d > 0.f) c = crn::Mul(p.dyeColor, c) * (1.6f * d) + c * (1.f - d);
  const float l = p.tipLighten;
  if (l > 0.f) {
    const float x = 0.6f * l * v * v;
    c = c + (V3(1, 1, 1) - c) * x;
  }
  if (IsGrey(p, r)) c = V3(0.82f, 0.81f, 0.79f);
  if (wetness > 0.f) {
    const float k = 1.f + 1.5f * wetness;
    c = V3(powf(Maxf(c.x, 0.f), k), powf(Maxf(c.y, 0.f), k), powf(Maxf(c.z, 0.f), k));
  }
  return V3(Clampf(c.x, 0.f, 1.f), Clampf(c.y, 0.f, 1.f), Clampf(c.z, 0.f, 1.f));
}

CRN_HD inline V3 HairColour(const HairShadeParams& p, const V3& strandColour, float v, float r) {
  return HairColour(p, strandColour, v, r, p.wetness);
}

// Absorption coefficient sigma_a of the fibre for the finished hair colour c.
CRN_HD inline V3 HairAbsorption(const HairShadeParams& p, const V3& c, float r) {
  using namespace model;
  if (p.useStrandColor) {
    const float b = Clampf(p.azRoughness, 0.05f, 1.f);
    const float b2 = b * b, b3 = b2 * b, b4 = b3 * b, b5 = b4 * b;
    const float k = 5.969f - 0.215f * b + 2.532f * b2 - 10.73f * b3 + 5.574f * b4 + 0.245f * b5;
    const float x = logf(Maxf(c.x, 0.001f)) / k, y = logf(Maxf(c.y, 0.001f)) / k,
                z = logf(Maxf(c.z, 0.001f)) / k;
    return V3(x * x, y * y, z * z);
  }
  float e, ph;
  Melanins(p, r, e, ph);
  if (IsGrey(p, r)) {
    e *= 0.02f;
    ph *= 0.02f;
  }
  V3 s = V3(0.419f, 0.697f, 1.37f) * e + V3(0.187f, 0.4f, 1.05f) * ph;
  const float d = p.dyeAmount;
  if (d > 0.f)
    s += V3(-logf(Maxf(p.dyeColor.x, 0.001f)), -logf(Maxf(p.dyeColor.y, 0.001f)),
            -logf(Maxf(p.dyeColor.z, 0.001f))) * d;
  return s;
}

// What the physical model needs at one shading point before the light's direction is known:
// everything that depends on the fibre, the viewer, the colour and the strand. Evaluating
// several light directions at one point then repeats only what depends on them.
struct PhysicalView {
  V3 T, wo, c;
  float wetness;
  float sinO, cosO;
  bool alongFibre;  // wo is (nearly) along T: the azimuth frame comes from the light
  V3 P;             // unit projection of wo across the fibre
  model::MpVariance mpR, mpTT, mpWide;  // nu, nu / 4 (TT) and 4 nu (TRT and the residual)
  float sinR, cosR, sinTT, cosTT, sinTRT, cosTRT;
  float s, inPi;
  int count;  // fibre offsets evaluated: 1 for a given h, else four Gauss-Legendre nodes
  float weight[4], gammaO[4], gammaT[4], f[4];
  V3 a1[4], a2[4], a3[4];
  float W;  // wave factor
  V3 spec;  // R-lobe colour
};

// The physical model's view at a shading point. h in [-1, 1] evaluates one fibre offset;
// anything else integrates across the fibre with four-point Gauss-Legendre.
CRN_HD inline PhysicalView PreparePhysical(const HairShadeParams& p, const V3& T, const V3& wo, const V3& c,
                                           float r, float v, float wetness, float h) {
  using namespace model;
  PhysicalView view;
  view.T = T;
  view.wo = wo;
  view.c = c;
  view.wetness = wetness;
  const float sinO = Clampf(crn::Dot(T, wo), -1.f, 1.f), cosO = sqrtf(Maxf(0.f, 1.f - sinO * sinO));
  view.sinO = sinO;
  view.cosO = cosO;
  const V3 proj = Across(T, wo);
  view.alongFibre = crn::LengthSq(proj) < 1e-10f;
  view.P = view.alongFibre ? V3(0, 0, 1) : crn::UnitOr(proj, V3(0, 0, 1));

  const float betaM = Clampf((1.f - 0.6f * wetness) * p.roughness, 0.02f, 1.f);
  const float betaN = Clampf(p.azRoughness, 0.05f, 1.f);
  const float bm2 = betaM * betaM, bm4 = bm2 * bm2, bm8 = bm4 * bm4, bm16 = bm8 * bm8;
  const float nuRoot = 0.726f * betaM + 0.812f * bm2 + 3.7f * (bm16 * bm4);
  const float nu = nuRoot * nuRoot;
  view.mpR = MpVarianceOf(nu);
  view.mpTT = MpVarianceOf(nu / 4.f);
  view.mpWide = MpVarianceOf(4.f * nu);

  // Cuticle tilt shifts the outgoing angle of each lobe.
  const float alpha = p.cuticleTilt * kDegToRad;
  const float c1 = cosf(alpha), s1 = sinf(alpha), c2 = cosf(2.f * alpha), s2 = sinf(2.f * alpha),
              c4 = cosf(4.f * alpha), s4 = sinf(4.f * alpha);
  view.sinR = sinO * c2 - cosO * s2;
  view.cosR = fabsf(cosO * c2 + sinO * s2);
  view.sinTT = sinO * c1 + cosO * s1;
  view.cosTT = fabsf(cosO * c1 - sinO * s1);
  view.sinTRT = sinO * c4 + cosO * s4;
  view.cosTRT = fabsf(cosO * c4 - sinO * s4);

  const float eta = Maxf(1.01f, p.ior);
  const float sinOEta = sinO / eta;
  const float cosThetaT = sqrtf(Maxf(1e-6f, 1.f - sinOEta * sinOEta));
  const float etaP = sqrtf(Maxf(0.f, eta * eta - sinO * sinO)) / Maxf(cosO, 1e-4f);
  const V3 sigma = HairAbsorption(p, c, r);

  const float bn2 = betaN * betaN, bn4 = bn2 * bn2, bn8 = bn4 * bn4, bn16 = bn8 * bn8;
  view.s = 0.626657f * (0.265f * betaN + 1.194f * bn2 + 5.372f * (bn16 * bn4 * bn2));
  view.inPi = LogisticInPi(view.s);

  const float nodes[4] = {-0.861136f, -0.339981f, 0.339981f, 0.861136f};
  const float weights[4] = {0.1739274f, 0.3260726f, 0.3260726f, 0.1739274f};
  const bool single = h >= -1.f && h <= 1.f;
  view.count = single ? 1 : 4;
  for (int k = 0; k < view.count; ++k) {
    const float hk = single ? h : nodes[k];
    view.weight[k] = single ? 1.f : weights[k];
    view.gammaO[k] = asinf(hk);
    const float sinGT = Clampf(hk / etaP, -1.f, 1.f);
    view.gammaT[k] = asinf(sinGT);
    const float cosGT = sqrtf(Maxf(0.f, 1.f - sinGT * sinGT));
    const float path = 2.f * cosGT / cosThetaT;
    const V3 tr = Exp3(V3(-sigma.x * path, -sigma.y * path, -sigma.z * path));
    const float f = Fresnel(Clampf(cosO * sqrtf(Maxf(0.f, 1.f - hk * hk)), 0.f, 1.f), eta);
    view.f[k] = f;
    const float g = (1.f - f) * (1.f - f);
    view.a1[k] = tr * g;
    view.a2[k] = crn::Mul(view.a1[k], tr) * f;
    const V3 ft = tr * f;
    const V3& a2 = view.a2[k];
    view.a3[k] = V3(a2.x * ft.x / Maxf(1e-4f, 1.f - ft.x), a2.y * ft.y / Maxf(1e-4f, 1.f - ft.y),
                    a2.z * ft.z / Maxf(1e-4f, 1.f - ft.z));
  }
  view.W = WaveFactor(p, r, v);
  view.spec = SpecColour(p, cosO);
  return view;
}

// The physical model's lobes for light from wi at a prepared shading point (r: the strand's
// random value the view was prepared with).
CRN_HD inline HairLobes PhysicalLobes(const HairShadeParams& p, const PhysicalView& view, const V3& wi, float r) {
  using namespace model;
  HairLobes out{};
  const V3 &T = view.T, &wo = view.wo, &c = view.c;
  const float sinI = Clampf(crn::Dot(T, wi), -1.f, 1.f), cosI = sqrtf(Maxf(0.f, 1.f - sinI * sinI));

  V3 P = view.P;
  if (view.alongFibre) {
    const V3 proj = Across(T, wi);
    if (crn::LengthSq(proj) < 1e-10f) return out;
    P = crn::UnitOr(proj, V3(0, 0, 1));
  }
  const float phi = atan2f(crn::Dot(wi, crn::Cross(T, P)), crn::Dot(wi, P));

  const float mR = Mp(cosI, view.cosR, sinI, view.sinR, view.mpR);
  const float mTT = Mp(cosI, view.cosTT, sinI, view.sinTT, view.mpTT);
  const float mTRT = Mp(cosI, view.cosTRT, sinI, view.sinTRT, view.mpWide);
  const float mRes = Mp(cosI, view.cosO, sinI, view.sinO, view.mpWide);

  for (int k = 0; k < view.count; ++k) {
    const float w = view.weight[k], gammaO = view.gammaO[k], gammaT = view.gammaT[k];
    const float nR = w * mR * Np(phi, 0, gammaO, gammaT, view.s, view.inPi) * view.f[k];
    out.R += V3(nR, nR, nR);
    out.TT += view.a1[k] * (w * mTT * Np(phi, 1, gammaO, gammaT, view.s, view.inPi));
    out.TRT += view.a2[k] * (w * mTRT * Np(phi, 2, gammaO, gammaT, view.s, view.inPi));
    out.residual += view.a3[k] * (w * mRes * kInv2Pi);
  }

  const float W = view.W;
  const float G = GlintFactor(p, r, phi);
  const float wetness = view.wetness;
  out.R = crn::Mul(out.R * (W * p.specAmount * (1.f + 1.5f * wetness)), view.spec);
  out.TT = crn::Mul(out.TT * p.ttAmount, p.ttTint);
  out.TRT = crn::Mul(out.TRT * (W * p.trtAmount * G), p.trtTint);

  const float D = p.diffuseAmount, spread = p.scatterSpread;
  const float k = Clampf(crn::Dot(wo, wi), -1.f, 1.f);
  const float sc = p.scatterAmount * kInvPi * cosI * (1.f - spread + spread * (1.f - k));
  out.residual = (crn::Mul(c, p.scatterColor) * sc + c * (D * kInvPi * cosI)) * 0.5f +
                 out.residual * (1.f - 0.5f * D);
  return out;
}

// The physical model for one pair of directions. h in [-1, 1] evaluates one fibre offset;
// anything else integrates across the fibre with four-point Gauss-Legendre.
CRN_HD inline HairLobes PhysicalLobes(const HairShadeParams& p, const V3& T, const V3& wi,
                                      const V3& wo, const V3& c, float r, float v, float wetness,
                                      float h) {
  return PhysicalLobes(p, PreparePhysical(p, T, wo, c, r, v, wetness, h), wi, r);
}

// The artist model: Gaussian longitudinal lobes with Schlick Fresnel.
CRN_HD inline HairLobes ArtistLobes(const HairShadeParams& p, const V3& T, const V3& wi,
                                    const V3& wo, const V3& c, float r, float v, float wetness) {
  using namespace model;
  HairLobes out{};
  const float sinI = Clampf(crn::Dot(T, wi), -1.f, 1.f), sinO = Clampf(crn::Dot(T, wo), -1.f, 1.f);
  const float thI = asinf(sinI), thO = asinf(sinO);
  const float cosI = sqrtf(Maxf(0.f, 1.f - sinI * sinI));

  const V3 pi_ = Across(T, wi), po = Across(T, wo);
  const float li = crn::LengthSq(pi_), lo = crn::LengthSq(po);
  float cosPhi = 1.f;
  if (li > 1e-12f && lo > 1e-12f) cosPhi = Clampf(crn::Dot(pi_, po) / sqrtf(li * lo), -1.f, 1.f);
  const float phi = acosf(cosPhi);

  const float beta = Maxf(0.02f, 0.35f * (1.f - 0.6f * wetness) * p.roughness);
  const float alpha = p.cuticleTilt * kDegToRad;
  const float thH = (thI + thO) / 2.f;
  const float cosD = cosf((thI - thO) / 2.f);
  const float f0r = (p.ior - 1.f) / (p.ior + 1.f), F0 = f0r * f0r;
  const float cosHalfPhi = cosf(phi / 2.f);
  const float FR = F0 + (1.f - F0) * Pow5(1.f - Clampf(cosHalfPhi * cosD, 0.f, 1.f));
  const float Fd = F0 + (1.f - F0) * Pow5(1.f - Clampf(cosD, 0.f, 1.f));

  const float G = GlintFactor(p, r, phi);
  const float nR = cosHalfPhi / 4.f;
  const float nTRT = nR * G;
  const float sigma = Maxf(0.05f, 0.6f * p.azRoughness);
  const float nTT = expf(-(kPi - phi) * (kPi - phi) / (2.f * sigma * sigma));
  const float W = WaveFactor(p, r, v);
  const V3 S = SpecColour(p, cosHalfPhi * cosD);

  out.R = S * (Gaussian(thH + alpha, beta) * (1.f + 1.5f * wetness) * p.specAmount * nR * FR * W * cosI);
  out.TT = c * (Gaussian(thH - alpha / 2.f, beta / 2.f) * p.ttAmount * nTT * (1.f - Fd) * (1.f - Fd) * cosI);
  out.TRT = crn::Mul(c, c) * (Gaussian(thH - 1.5f * alpha, 2.f * beta) * p.trtAmount * nTRT * Fd *
                              (1.f - Fd) * (1.f - Fd) * 8.f * W * cosI);
  const float k = Clampf(crn::Dot(wo, wi), -1.f, 1.f);
  const float spread = p.scatterSpread;
  const float sc = p.scatterAmount * ((0.5f - 0.5f * k) * 2.f * spread + 1.f - spread);
  out.residual = (crn::Mul(c, p.scatterColor) * sc + c * p.diffuseAmount) * (cosI / kPi);
  return out;
}

// The lobes for light arriving from wi (towards the light) seen from wo (towards the viewer)
// on a fibre along T; all unit vectors. c is the hair colour, r the strand's random value for
// absorption, glints and waves, v the position along the strand.
CRN_HD inline HairLobes EvalHairLobes(const HairShadeParams& p, const V3& T, const V3& wi,
                                      const V3& wo, const V3& c, float r, float v, float wetness,
                                      float h = kIntegrateAcrossFibre) {
  if (p.physical) return PhysicalLobes(p, T, wi, wo, c, r, v, wetness, h);
  return ArtistLobes(p, T, wi, wo, c, r, v, wetness);
}

CRN_HD inline HairLobes EvalHairLobes(const HairShadeParams& p, const V3& T, const V3& wi,
                                      const V3& wo, const V3& c, float r, float v) {
  return EvalHairLobes(p, T, wi, wo, c, r, v, p.wetness);
}

CRN_HD inline V3 LobeSum(const HairLobes& l) { return l.R + l.TT + l.TRT + l.residual; }

}  // namespace hrt
