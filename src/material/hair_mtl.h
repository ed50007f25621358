#pragma once
// The hair material class and its descriptor. The shading model and the material's
// parameters come with the shading code.
#include "host/class_desc.h"
#include "host/object.h"

namespace crn {

constexpr host::Class_ID kHairMtlClassID{0xAF7EB205, 0xC958E368};

class HairMtl : public host::Mtl {
 public:
  host::Class_ID ClassID() const override { return kHairMtlClassID; }
  std::string GetObjectName() const override { return "Crinel Material"; }
};

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

}  // namespace crn
