#include "material/hair_mtl.h"

#include <cmath>
#include <vector>

#include "resources/strings.h"

namespace crn {

using namespace host;
using namespace crn::res;

const char* HairMtlDesc::ClassName() { return GetString(IDS_MTL_CLASS_NAME); }
const char* HairMtlDesc::Category() { return GetString(IDS_CATEGORY); }
const char* HairMtlDesc::GetRsrcString(int id) { return GetString(id); }

namespace {

struct Row {
  short id;
  const char* name;
  ParamType2 type;
  PBValue defaultValue;
  double rangeMin, rangeMax;
  int label;
  float step;
};

Color ToColor(const V3& v) { return Color(v.x, v.y, v.z); }
V3 ToV3(const Color& c) { return V3(c.r, c.g, c.b); }

// Parameters in id order; defaults from the model's default record, so both agree.
const std::vector<Row>& Rows() {
  static const std::vector<Row> rows = [] {
    const HairShadeParams d = hrt::DefaultHairParams();
    using namespace mp;
    return std::vector<Row>{
        {useStrandColor, "useStrandColor", TYPE_BOOL, d.useStrandColor, 0, 1, IDS_MTL_useStrandColor, 0},
        {melanin, "melanin", TYPE_FLOAT, d.melanin, 0, 1, IDS_MTL_melanin, 0.01f},
        {pheomelanin, "pheomelanin", TYPE_FLOAT, d.pheomelanin, 0, 1, IDS_MTL_pheomelanin, 0.01f},
        {dyeColor, "dyeColor", TYPE_RGBA, ToColor(d.dyeColor), 0, 0, IDS_MTL_dyeColor, 0},
        {dyeAmount, "dyeAmount", TYPE_FLOAT, d.dyeAmount, 0, 1, IDS_MTL_dyeAmount, 0.01f},
        {tipLighten, "tipLighten", TYPE_FLOAT, d.tipLighten, 0, 1, IDS_MTL_tipLighten, 0.01f},
        {specAmount, "specAmount", TYPE_FLOAT, d.specAmount, 0, 5, IDS_MTL_specAmount, 0.01f},
        {trtAmount, "trtAmount", TYPE_FLOAT, d.trtAmount, 0, 5, IDS_MTL_trtAmount, 0.01f},
        {ttAmount, "ttAmount", TYPE_FLOAT, d.ttAmount, 0, 5, IDS_MTL_ttAmount, 0.01f},
        {roughness, "roughness", TYPE_FLOAT, d.roughness, 0.02, 1, IDS_MTL_roughness, 0.01f},
        {azRoughness, "azRoughness", TYPE_FLOAT, d.azRoughness, 0.02, 1, IDS_MTL_azRoughness, 0.01f},
        {cuticleTilt, "cuticleTilt", TYPE_FLOAT, d.cuticleTilt, -10, 10, IDS_MTL_cuticleTilt, 0.1f},
        {ior, "ior", TYPE_FLOAT, d.ior, 1, 3, IDS_MTL_ior, 0.01f},
        {specTint, "specTint", TYPE_RGBA, ToColor(d.specTint), 0, 0, IDS_MTL_specTint, 0},
        {diffuseAmount, "diffuseAmount", TYPE_FLOAT, d.diffuseAmount, 0, 2, IDS_MTL_diffuseAmount, 0.01f},
        {shadowOpacity, "shadowOpacity", TYPE_FLOAT, d.shadowOpacity, 0, 1, IDS_MTL_shadowOpacity, 0.01f},
        {tipFade, "tipFade", TYPE_FLOAT, d.tipFade, 0, 1, IDS_MTL_tipFade, 0.01f},
        {glints, "glints", TYPE_FLOAT, d.glints, 0, 1, IDS_MTL_glints, 0.01f},
        {scatterColor, "scatterColor", TYPE_RGBA, ToColor(d.scatterColor), 0, 0, IDS_MTL_scatterColor, 0},
        {scatterAmount, "scatterAmount", TYPE_FLOAT, d.scatterAmount, 0, 3, IDS_MTL_scatterAmount, 0.01f},
        {scatterSpread, "scatterSpread", TYPE_FLOAT, d.scatterSpread, 0, 1, IDS_MTL_scatterSpread, 0.01f},
        {waveAmount, "waveAmount", TYPE_FLOAT, d.waveAmount, 0, 2, IDS_MTL_waveAmount, 0.01f},
        {waveFreq, "waveFreq", TYPE_FLOAT, d.waveFreq, 0, 100, IDS_MTL_waveFreq, 0.1f},
        {waveRandom, "waveRandom", TYPE_FLOAT, d.waveRandom, 0, 1, IDS_MTL_waveRandom, 0.01f},
        {iridescence, "iridescence", TYPE_FLOAT, d.iridescence, 0, 1, IDS_MTL_iridescence, 0.01f},
        {filmThickness, "filmThickness", TYPE_FLOAT, d.filmThickness, 100, 1200, IDS_MTL_filmThickness, 5.f},
        {wetness, "wetness", TYPE_FLOAT, d.wetness, 0, 1, IDS_MTL_wetness, 0.01f},
        {emission, "emission", TYPE_RGBA, ToColor(d.emission), 0, 0, IDS_MTL_emission, 0},
        {melaninRandom, "melaninRandom", TYPE_FLOAT, d.melaninRandom, 0, 1, IDS_MTL_melaninRandom, 0.01f},
        {greyFraction, "greyFraction", TYPE_FLOAT, d.greyFraction, 0, 1, IDS_MTL_greyFraction, 0.01f},
        {physical, "physical", TYPE_BOOL, d.physical, 0, 1, IDS_MTL_physical, 0},
        {ttTint, "ttTint", TYPE_RGBA, ToColor(d.ttTint), 0, 0, IDS_MTL_ttTint, 0},
        {trtTint, "trtTint", TYPE_RGBA, ToColor(d.trtTint), 0, 0, IDS_MTL_trtTint, 0},
    };
  }();
  return rows;
}

// Multi-materials nest; a deeper tree than this is taken for a cycle.
constexpr int kMaxMtlDepth = 64;

bool FindIn(Mtl* mtl, TimeValue t, HairShadeParams& out, int depth) {
  if (!mtl || depth > kMaxMtlDepth) return false;
  if (mtl->ClassID() == kHairMtlClassID) {
    auto* hair = static_cast<HairMtl*>(mtl);
    if (!hair->pblock) return false;
    Interval valid = FOREVER;
    out = ReadHairParams(*hair->pblock, t, valid);
    return true;
  }
  for (int i = 0; i < mtl->NumSubMtls(); ++i)
    if (FindIn(mtl->GetSubMtl(i), t, out, depth + 1)) return true;
  return false;
}

float PowPositive(float x, float e) { return std::pow(std::max(x, 0.f), e); }

}  // namespace

std::unique_ptr<ParamBlockDesc2> MakeHairMtlParamBlockDesc(ClassDesc2* cd) {
  auto pbd = std::make_unique<ParamBlockDesc2>(kHairMtlParamsBlockId, "params", IDS_PARAMS, cd,
                                               P_AUTO_CONSTRUCT | P_AUTO_UI, 0);
  pbd->AddRollout({0, 1900, IDS_MTL_ROLLOUT, true});
  for (const Row& r : Rows()) {
    ParamDef d;
    d.id = r.id;
    d.internalName = r.name;
    d.type = r.type;
    d.flags = r.type == TYPE_BOOL ? 0 : P_ANIMATABLE;
    d.defaultValue = r.defaultValue;
    d.hasRange = r.type == TYPE_FLOAT;
    d.rangeMin = r.rangeMin;
    d.rangeMax = r.rangeMax;
    d.labelStringId = r.label;
    d.spinnerScale = r.step;
    pbd->AddParam(std::move(d));
  }
  return pbd;
}

const std::vector<HairMtlGroup>& HairMtlGroups() {
  using namespace mp;
  static const std::vector<HairMtlGroup> groups = {
      {IDS_MTL_GROUP_COLOUR,
       {useStrandColor, melanin, pheomelanin, dyeColor, dyeAmount, tipLighten, melaninRandom, greyFraction}},
      {IDS_MTL_GROUP_SPECULAR,
       {specAmount, trtAmount, ttAmount, roughness, azRoughness, cuticleTilt, ior, specTint, physical,
        ttTint, trtTint}},
      {IDS_MTL_GROUP_BODY, {diffuseAmount, shadowOpacity, tipFade, glints}},
      {IDS_MTL_GROUP_SCATTERING, {scatterColor, scatterAmount, scatterSpread}},
      {IDS_MTL_GROUP_WAVES, {waveAmount, waveFreq, waveRandom}},
      {IDS_MTL_GROUP_SPECIAL, {iridescence, filmThickness, wetness, emission}},
  };
  return groups;
}

HairShadeParams ReadHairParams(IParamBlock2& pb, TimeValue t, Interval& valid) {
  HairShadeParams p = hrt::DefaultHairParams();
  auto f = [&](short id, float& v) { pb.GetValue(id, t, v, valid); };
  auto c = [&](short id, V3& v) {
    Color col = ToColor(v);
    pb.GetValue(id, t, col, valid);
    v = ToV3(col);
  };
  auto b = [&](short id, std::int32_t& v) {
    int i = v;
    pb.GetValue(id, t, i, valid);
    v = i != 0 ? 1 : 0;
  };
  using namespace mp;
  b(useStrandColor, p.useStrandColor);
  f(melanin, p.melanin);
  f(pheomelanin, p.pheomelanin);
  c(dyeColor, p.dyeColor);
  f(dyeAmount, p.dyeAmount);
  f(tipLighten, p.tipLighten);
  f(specAmount, p.specAmount);
  f(trtAmount, p.trtAmount);
  f(ttAmount, p.ttAmount);
  f(roughness, p.roughness);
  f(azRoughness, p.azRoughness);
  f(cuticleTilt, p.cuticleTilt);
  f(ior, p.ior);
  c(specTint, p.specTint);
  f(diffuseAmount, p.diffuseAmount);
  f(shadowOpacity, p.shadowOpacity);
  f(tipFade, p.tipFade);
  f(glints, p.glints);
  c(scatterColor, p.scatterColor);
  f(scatterAmount, p.scatterAmount);
  f(scatterSpread, p.scatterSpread);
  f(waveAmount, p.waveAmount);
  f(waveFreq, p.waveFreq);
  f(waveRandom, p.waveRandom);
  f(iridescence, p.iridescence);
  f(filmThickness, p.filmThickness);
  f(wetness, p.wetness);
  c(emission, p.emission);
  f(melaninRandom, p.melaninRandom);
  f(greyFraction, p.greyFraction);
  b(physical, p.physical);
  c(ttTint, p.ttTint);
  c(trtTint, p.trtTint);
  return p;
}

bool FindHairParams(Mtl* mtl, TimeValue t, HairShadeParams& out) {
  out = hrt::FallbackHairParams();
  if (FindIn(mtl, t, out, 0)) return true;
  out = hrt::FallbackHairParams();
  return false;
}

HairMtl::HairMtl() : cache_(hrt::FallbackHairParams()), valid_(NEVER) {
  GetHairMtlDesc()->MakeAutoParamBlocks(this);
}

HairMtl::~HairMtl() {
  IParamBlock2* pb = pblock;
  DeleteAllRefsFromMe();
  delete pb;  // the material owns its block
}

void HairMtl::SetReference(int i, ReferenceTarget* target) {
  if (i == 0) pblock = static_cast<IParamBlock2*>(target);
}

RefResult HairMtl::NotifyRefChanged(const Interval& changeInt, ReferenceTarget* hTarget,
                                    PartID& partID, RefMessage message, bool propagate) {
  if (message == REFMSG_TARGET_DELETED && hTarget == pblock) {
    pblock = nullptr;
    return REF_SUCCEED;
  }
  if (message == REFMSG_CHANGE) {
    valid_ = NEVER;  // the cache no longer holds any time
    if (propagate) NotifyDependents(changeInt, partID, message);
  }
  return REF_SUCCEED;
}

void HairMtl::Update(TimeValue t, Interval& valid) {
  if (!valid_.InInterval(t)) {
    valid_ = FOREVER;
    if (pblock) cache_ = ReadHairParams(*pblock, t, valid_);
  }
  valid &= valid_;
}

Interval HairMtl::Validity(TimeValue t) {
  Interval valid = FOREVER;
  Update(t, valid);
  return valid;
}

void HairMtl::Reset() {
  // A fresh block: defaults everywhere and no animation.
  IParamBlock2* old = pblock;
  GetHairMtlDesc()->MakeAutoParamBlocks(this);
  delete old;
  valid_ = NEVER;
}

Color HairMtl::GetDiffuse(int, bool) {
  return ToColor(hrt::HairColour(cache_, V3(0.3f, 0.2f, 0.12f), 0.5f, 0.5f));
}
Color HairMtl::GetAmbient(int mtlNum, bool backFace) { return GetDiffuse(mtlNum, backFace); }
Color HairMtl::GetSpecular(int, bool) { return ToColor(cache_.specTint); }
float HairMtl::GetShininess(int, bool) { return 1.f - cache_.roughness; }
float HairMtl::GetShinStr(int, bool) { return cache_.specAmount; }

void HairMtl::Shade(ShadeContext& sc) {
  if (GetGBufID() != 0) sc.SetGBufferID(GetGBufID());
  Point3 dP[3];
  sc.DPdUVW(dP, 1);
  V3 tangent(dP[1].x, dP[1].y, dP[1].z);
  if (LengthSq(tangent) < 1e-20f) {
    const Point3 n = sc.Normal(), t = CrossProd(n, dP[0]);
    tangent = V3(t.x, t.y, t.z);
  }
  tangent = UnitOr(tangent, V3(0, 0, 1));
  const float v = sc.UVW(1).y;
  const Point3 vc = sc.UVW(0);
  const V3 strand(PowPositive(vc.x, 2.2f), PowPositive(vc.y, 2.2f), PowPositive(vc.z, 2.2f));
  const Point3 P = sc.P();
  const float rColour = std::fabs(std::sin(3.1f * P.x + 5.7f * P.y));
  const float rLobe = std::fabs(std::sin(12.1f * P.x + 7.7f * P.y + 3.3f * P.z));
  const V3 c = hrt::HairColour(cache_, strand, v, rColour);
  const Point3 view = -sc.V();
  const V3 wo(view.x, view.y, view.z);
  V3 sum;
  for (int i = 0; i < sc.nLights; ++i) {
    LightDesc* light = sc.Light(i);
    if (!light) continue;
    Color colour;
    Point3 dir;
    float dotNL = 0, diffuseCoef = 0;
    if (!light->Illuminate(sc, sc.Normal(), colour, dir, dotNL, diffuseCoef)) continue;
    const hrt::HairLobes lobes = hrt::EvalHairLobes(cache_, tangent, V3(dir.x, dir.y, dir.z), wo, c, rLobe, v);
    sum += Mul(hrt::LobeSum(lobes), ToV3(colour)) * hrt::kPi;
  }
  const V3 out = Mul(c, ToV3(sc.ambientLight)) * 0.5f + sum + cache_.emission;
  sc.out.c = ToColor(out);
  float transparency = 0;
  if (cache_.tipFade > 0 && v > 0.6f) {
    const float f = (v - 0.6f) / 0.4f;
    transparency = cache_.tipFade * f * f;
  }
  sc.out.t = Color(transparency, transparency, transparency);
}

ReferenceTarget* HairMtl::Clone(RemapDir&) {
  auto* copy = new HairMtl();
  IParamBlock2* fresh = copy->pblock;
  copy->ReplaceReference(0, pblock ? pblock->Clone(copy) : nullptr);
  delete fresh;
  copy->SetGBufID(GetGBufID());
  return copy;
}

// The base material data: the G-buffer id. Parameters persist with the block.
IOResult HairMtl::Save(ISave* isave) {
  isave->WriteI32(GetGBufID());
  return IO_OK;
}

IOResult HairMtl::Load(ILoad* iload) {
  std::int32_t id = 0;
  if (iload->ReadI32(id) != IO_OK) return IO_ERROR;
  SetGBufID(id);
  valid_ = NEVER;
  return IO_OK;
}

}  // namespace crn
