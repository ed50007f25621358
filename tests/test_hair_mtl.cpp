// The hair material: its records, the colour, absorption and lobe functions of the fibre
// model, CPU shading and the lookup through multi-materials.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "host/interface.h"
#include "host/std_mtl.h"
#include "material/hair_mtl.h"
#include "scene/module_session.h"

namespace {

using crn::HairMtl;
using crn::V3;
using hrt::HairLobes;
using hrt::HairShadeParams;

constexpr float kPi = 3.14159265f;

void ExpectNear(const V3& a, const V3& b, float tol, const char* what) {
  EXPECT_NEAR(a.x, b.x, tol) << what;
  EXPECT_NEAR(a.y, b.y, tol) << what;
  EXPECT_NEAR(a.z, b.z, tol) << what;
}

class HairMaterial : public ::testing::Test {
 protected:
  std::unique_ptr<HairMtl> NewMtl() { return std::unique_ptr<HairMtl>(new HairMtl()); }
  crn::scene::ModuleSession module;
};

TEST_F(HairMaterial, NewMaterialHasTheDefaultsAndTheFallbackDiffers) {
  auto m = NewMtl();
  // Before the first Update the cache holds the fallback record.
  EXPECT_FLOAT_EQ(m->Params().roughness, 0.3f);
  host::Interval valid = host::FOREVER;
  m->Update(0, valid);
  const HairShadeParams d = hrt::DefaultHairParams(), p = m->Params();
  EXPECT_EQ(std::memcmp(&p, &d, sizeof p), 0);
  const HairShadeParams f = hrt::FallbackHairParams();
  EXPECT_FLOAT_EQ(f.roughness, 0.3f);
  EXPECT_FLOAT_EQ(f.azRoughness, 0.5f);
  EXPECT_FLOAT_EQ(f.diffuseAmount, 0.35f);
  EXPECT_EQ(m->Requirements(0), 0x10019u);
  EXPECT_EQ(m->MappingsRequired(0), (std::vector<int>{0, 1}));
  EXPECT_EQ(m->pblock->GetDesc()->Count(), 33);
}

TEST_F(HairMaterial, ParameterChangesReachTheCache) {
  auto m = NewMtl();
  host::Interval valid = host::FOREVER;
  m->Update(0, valid);
  m->pblock->SetValue(crn::mp::roughness, 0, 0.7f);
  m->pblock->SetValue(crn::mp::specTint, 0, host::Color(0.1f, 0.2f, 0.3f));
  m->pblock->SetValue(crn::mp::physical, 0, 0);
  m->Update(0, valid);
  EXPECT_FLOAT_EQ(m->Params().roughness, 0.7f);
  EXPECT_FLOAT_EQ(m->Params().specTint.z, 0.3f);
  EXPECT_EQ(m->Params().physical, 0);
  EXPECT_FLOAT_EQ(m->GetShininess(), 0.3f);
  m->Reset();
  m->Update(0, valid);
  EXPECT_FLOAT_EQ(m->Params().roughness, 0.2f);
}

TEST_F(HairMaterial, FindHairParamsThroughMultiMaterials) {
  host::Interface& ip = *host::GetCOREInterface();
  auto* hair = static_cast<HairMtl*>(ip.AddMtl(NewMtl()));
  hair->pblock->SetValue(crn::mp::roughness, 0, 0.7f);
  auto* plain = static_cast<host::StdMat*>(ip.AddMtl(std::make_unique<host::StdMat>()));
  auto* multi = static_cast<host::MultiMtl*>(ip.AddMtl(std::make_unique<host::MultiMtl>()));
  multi->subs = {plain, hair};
  auto* none = static_cast<host::MultiMtl*>(ip.AddMtl(std::make_unique<host::MultiMtl>()));
  none->subs = {plain, nullptr};
  auto* cycle = static_cast<host::MultiMtl*>(ip.AddMtl(std::make_unique<host::MultiMtl>()));
  cycle->subs = {cycle};

  HairShadeParams p{};
  EXPECT_TRUE(crn::FindHairParams(multi, 0, p));
  EXPECT_FLOAT_EQ(p.roughness, 0.7f);
  for (host::Mtl* m : {static_cast<host::Mtl*>(nullptr), static_cast<host::Mtl*>(none),
                       static_cast<host::Mtl*>(plain), static_cast<host::Mtl*>(cycle)}) {
    EXPECT_FALSE(crn::FindHairParams(m, 0, p));
    EXPECT_FLOAT_EQ(p.roughness, 0.3f) << "the fallback record, not the parameter default";
  }
  ip.ResetScene();
}

TEST(HairColour, DefaultsLightenTheStrandColourTowardsTheTip) {
  const HairShadeParams p = hrt::DefaultHairParams();
  const V3 strand(0.4f, 0.2f, 0.1f);
  for (float v : {0.f, 0.5f, 1.f}) {
    const float x = 0.09f * v * v;
    ExpectNear(hrt::HairColour(p, strand, v, 0.3f), strand + (V3(1, 1, 1) - strand) * x, 1e-6f, "tip lighten");
  }
}

TEST(HairColour, GreyHairsAreGreyAndThinInPigment) {
  HairShadeParams p = hrt::DefaultHairParams();
  p.greyFraction = 1;
  p.tipLighten = 0;
  ExpectNear(hrt::HairColour(p, V3(0.1f, 0.05f, 0.02f), 0.5f, 0.37f), V3(0.82f, 0.81f, 0.79f), 0, "grey");
  p.useStrandColor = 0;
  p.melaninRandom = 0;
  HairShadeParams dark = p;
  dark.greyFraction = 0;
  const V3 grey = hrt::HairAbsorption(p, V3(), 0.37f), full = hrt::HairAbsorption(dark, V3(), 0.37f);
  ExpectNear(grey, full * 0.02f, 1e-6f, "2% of the melanin");
}

TEST(HairLobesModel, ParallelDirections) {
  HairShadeParams p = hrt::DefaultHairParams();
  const V3 T(0, 0, 1), c(0.5f, 0.4f, 0.3f);
  const HairLobes physical = hrt::EvalHairLobes(p, T, T, T, c, 0.3f, 0.5f);
  for (const V3& l : {physical.R, physical.TT, physical.TRT, physical.residual})
    EXPECT_EQ(l, V3(0, 0, 0));
  // The artist model takes cos(phi) = 1 and still evaluates.
  p.physical = 0;
  const HairLobes artist = hrt::EvalHairLobes(p, T, V3(1, 0, 0), T, c, 0.3f, 0.5f);
  EXPECT_TRUE(std::isfinite(artist.R.x));
  EXPECT_GT(artist.R.x, 0.f);
}

TEST(HairLobesModel, IorBelowTheMinimumIsTheMinimum) {
  HairShadeParams low = hrt::DefaultHairParams(), min = low;
  low.ior = 1.0f;
  min.ior = 1.01f;
  const V3 T(0, 0, 1), wi = crn::UnitOr(V3(0.3f, 0.8f, 0.2f), V3()), wo = crn::UnitOr(V3(-0.5f, 0.6f, -0.1f), V3());
  const HairLobes a = hrt::EvalHairLobes(low, T, wi, wo, V3(0.5f, 0.4f, 0.3f), 0.2f, 0.4f);
  const HairLobes b = hrt::EvalHairLobes(min, T, wi, wo, V3(0.5f, 0.4f, 0.3f), 0.2f, 0.4f);
  EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0);
}

// White furnace: a white, non-absorbing fibre without the artistic extras scatters at most
// the light it receives, summed over all directions, lobe by lobe and in total.
TEST(HairLobesModel, WhiteFurnaceReturnsNoMoreThanItReceives) {
  HairShadeParams p = hrt::DefaultHairParams();
  p.useStrandColor = 1;
  p.tipLighten = 0;
  p.diffuseAmount = 0;
  p.scatterAmount = 0;
  p.glints = 0;
  const V3 white(1, 1, 1), T(1, 0, 0);
  const int nTheta = 360, nPhi = 720;
  struct Case {
    float roughness, azRoughness, thetaO, cuticle;
  };
  for (const Case& k : {Case{0.2f, 0.3f, 0.3f, 3.f}, Case{0.5f, 0.6f, -0.9f, 0.f}, Case{0.35f, 0.3f, 1.2f, -5.f}}) {
    p.roughness = k.roughness;
    p.azRoughness = k.azRoughness;
    p.cuticleTilt = k.cuticle;
    const V3 wo(std::sin(k.thetaO), std::cos(k.thetaO), 0);
    V3 sum[4];
    for (int i = 0; i < nTheta; ++i) {
      const float th = -kPi / 2 + (float(i) + 0.5f) * kPi / float(nTheta);
      for (int j = 0; j < nPhi; ++j) {
        const float ph = -kPi + (float(j) + 0.5f) * 2 * kPi / float(nPhi);
        const V3 wi(std::sin(th), std::cos(th) * std::cos(ph), std::cos(th) * std::sin(ph));
        const HairLobes l = hrt::EvalHairLobes(p, T, wi, wo, white, 0.5f, 0.5f);
        const float dw = std::cos(th) * (kPi / float(nTheta)) * (2 * kPi / float(nPhi));
        sum[0] += l.R * dw;
        sum[1] += l.TT * dw;
        sum[2] += l.TRT * dw;
        sum[3] += l.residual * dw;
      }
    }
    const V3 total = sum[0] + sum[1] + sum[2] + sum[3];
    for (const V3& s : sum) EXPECT_LE(s.x, 1.01f);
    // Nothing is absorbed, so (up to the integration) all of it comes back.
    EXPECT_LE(total.x, 1.01f) << "roughness " << k.roughness;
    EXPECT_GT(total.x, 0.9f) << "roughness " << k.roughness;
  }
}

// A shade context with one light from a fixed direction.
class Light : public host::LightDesc {
 public:
  bool Illuminate(host::ShadeContext&, const host::Point3&, host::Color& colour, host::Point3& dir,
                  float& dotNL, float& diffuse) override {
    colour = host::Color(0.5f, 1.f, 2.f);
    dir = host::Normalize(host::Point3(0.3f, 0.2f, 0.9f));
    dotNL = diffuse = 1;
    return true;
  }
};

class Context : public host::ShadeContext {
 public:
  host::Point3 UVW(int channel) const override { return channel == 0 ? host::Point3(0.5f, 0.4f, 0.3f) : host::Point3(0.2f, v, 0); }
  host::Point3 P() const override { return host::Point3(1.5f, -2.f, 0.7f); }
  host::Point3 V() const override { return host::Normalize(host::Point3(0, -1, -0.2f)); }
  void DPdUVW(host::Point3 dP[3], int) const override {
    dP[0] = host::Point3(1, 0, 0);
    dP[1] = host::Point3(0, 0, 2);
    dP[2] = host::Point3();
  }
  host::LightDesc* Light(int) override { return &light; }
  float v = 0.5f;
  ::Light light;
};

TEST_F(HairMaterial, ShadeSumsTheLobesOfEachLightAndFadesTips) {
  auto m = NewMtl();
  m->pblock->SetValue(crn::mp::emission, 0, host::Color(0.01f, 0.02f, 0.03f));
  host::Interval valid = host::FOREVER;
  m->Update(0, valid);
  Context sc;
  sc.nLights = 1;
  sc.ambientLight = host::Color(0.2f, 0.2f, 0.2f);
  m->Shade(sc);
  const HairShadeParams& p = m->Params();
  const V3 strand(std::pow(0.5f, 2.2f), std::pow(0.4f, 2.2f), std::pow(0.3f, 2.2f));
  const float rc = std::fabs(std::sin(3.1f * 1.5f + 5.7f * -2.f));
  const float rl = std::fabs(std::sin(12.1f * 1.5f + 7.7f * -2.f + 3.3f * 0.7f));
  const V3 c = hrt::HairColour(p, strand, 0.5f, rc);
  const host::Point3 l = host::Normalize(host::Point3(0.3f, 0.2f, 0.9f));
  const host::Point3 view = -sc.V();
  const HairLobes lobes = hrt::EvalHairLobes(p, V3(0, 0, 1), V3(l.x, l.y, l.z), V3(view.x, view.y, view.z), c, rl, 0.5f);
  const V3 want = crn::Mul(c, V3(0.2f, 0.2f, 0.2f)) * 0.5f + crn::Mul(hrt::LobeSum(lobes), V3(0.5f, 1, 2)) * hrt::kPi +
                  V3(0.01f, 0.02f, 0.03f);
  ExpectNear(V3(sc.out.c.r, sc.out.c.g, sc.out.c.b), want, 1e-5f, "shaded colour");
  EXPECT_EQ(sc.out.t.r, 0.f);

  // Transparency: none with tipFade 0, tipFade itself at the tip.
  struct Case {
    float tipFade, v, t;
  };
  for (const Case& k : {Case{0.f, 1.f, 0.f}, Case{0.3f, 1.f, 0.3f}, Case{0.3f, 0.6f, 0.f}, Case{0.8f, 0.8f, 0.2f}}) {
    m->pblock->SetValue(crn::mp::tipFade, 0, k.tipFade);
    m->Update(0, valid);
    sc.v = k.v;
    m->Shade(sc);
    EXPECT_NEAR(sc.out.t.r, k.t, 1e-6f) << "tipFade " << k.tipFade << " v " << k.v;
  }
}

}  // namespace
