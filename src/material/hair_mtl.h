#pragma once
// The hair material: one parameter block of the fibre model's settings, cached as the flat
// record the shading model reads, CPU shading for host renderers that draw hair as ribbons,
// and the lookup of a node's hair material through multi-materials.
#include <memory>

#include "host/class_desc.h"
#include "host/object.h"
#include "host/param_block.h"
#include "kernels/hair_model.h"

namespace crn {

using hrt::HairShadeParams;

constexpr host::Class_ID kHairMtlClassID{0xAF7EB205, 0xC958E368};
constexpr host::BlockID kHairMtlParamsBlockId = 0;

// Parameter ids of the material's block, in record order.
namespace mp {
enum ParamId : short {
  useStrandColor = 0, melanin, pheomelanin, dyeColor, dyeAmount, tipLighten, specAmount,
  trtAmount, ttAmount, roughness, azRoughness, cuticleTilt, ior, specTint, diffuseAmount,
  shadowOpacity, tipFade, glints, scatterColor, scatterAmount, scatterSpread, waveAmount,
  waveFreq, waveRandom, iridescence, filmThickness, wetness, emission, melaninRandom,
  greyFraction, physical, ttTint, trtTint, kCount
};
}  // namespace mp

// What Requirements reports: two-sided, transparency, UVs, and bit 16.
constexpr host::ULONG kHairMtlRequirements = 0x10019;

class HairMtl : public host::Mtl {
 public:
  HairMtl();
  ~HairMtl() override;

  host::Class_ID ClassID() const override { return kHairMtlClassID; }
  std::string GetObjectName() const override { return "Crinel Material"; }

  int NumRefs() override { return 1; }
  host::ReferenceTarget* GetReference(int i) override { return i == 0 ? pblock : nullptr; }
  host::RefResult NotifyRefChanged(const host::Interval& changeInt, host::ReferenceTarget* hTarget,
                                   host::PartID& partID, host::RefMessage message,
                                   bool propagate) override;

  // Reads the parameters at t into the cache unless it holds t; narrows valid to its interval.
  void Update(host::TimeValue t, host::Interval& valid) override;
  host::Interval Validity(host::TimeValue t) override;
  void Reset() override;
  void Shade(host::ShadeContext& sc) override;
  host::ULONG Requirements(int) override { return kHairMtlRequirements; }
  std::vector<int> MappingsRequired(int) override { return {0, 1}; }
  host::Color GetDiffuse(int = 0, bool = false) override;
  host::Color GetAmbient(int = 0, bool = false) override;
  host::Color GetSpecular(int = 0, bool = false) override;
  float GetShininess(int = 0, bool = false) override;
  float GetShinStr(int = 0, bool = false) override;
  host::ReferenceTarget* Clone(host::RemapDir& remap) override;
  host::IOResult Save(host::ISave* isave) override;
  host::IOResult Load(host::ILoad* iload) override;

  // The cached record (filled by Update).
  const HairShadeParams& Params() const { return cache_; }

  host::IParamBlock2* pblock = nullptr;

 protected:
  void SetReference(int i, host::ReferenceTarget* target) override;

 private:
  HairShadeParams cache_;
  host::Interval valid_;
};

// The parameters of the material's block at t as the flat record.
HairShadeParams ReadHairParams(host::IParamBlock2& pb, host::TimeValue t, host::Interval& valid);

// Fills out with the fallback record, then looks for a hair material in mtl and, depth first
// in index order, its sub-materials; true with its parameters at t when one is found.
bool FindHairParams(host::Mtl* mtl, host::TimeValue t, HairShadeParams& out);

// The six groups of the material's rollout, in order: a label string id and the parameters.
struct HairMtlGroup {
  int label;
  std::vector<short> params;
};
const std::vector<HairMtlGroup>& HairMtlGroups();

class HairMtlDesc : public host::ClassDesc2 {
 public:
  void* Create(bool) override { return new HairMtl(); }
  const char* ClassName() override;
  const char* NonLocalizedClassName() override { return "Crinel Material"; }
  host::SClass_ID SuperClassID() override { return host::MATERIAL_CLASS_ID; }
  host::Class_ID ClassID() override { return kHairMtlClassID; }
  const char* Category() override;
  const char* InternalName() override { return "CrinelMaterial"; }
  const char* GetRsrcString(int id) override;
};

HairMtlDesc* GetHairMtlDesc();
// The material's parameter block descriptor, registered with cd (built once at module load).
std::unique_ptr<host::ParamBlockDesc2> MakeHairMtlParamBlockDesc(host::ClassDesc2* cd);

}  // namespace crn
