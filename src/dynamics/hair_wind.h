#pragma once
// The wind space warp class and its descriptor. Its parameters and forces come with the
// wind code.
#include "host/class_desc.h"
#include "host/object.h"

namespace crn {

constexpr host::Class_ID kHairWindClassID{0xABF700AD, 0xD97FCF8A};

class HairWindObject : public host::Object {
 public:
  host::Class_ID ClassID() const override { return kHairWindClassID; }
  host::SClass_ID SuperClassID() const override { return host::WSM_OBJECT_CLASS_ID; }
  std::string GetObjectName() const override { return "Crinel Wind"; }
};

class HairWindDesc : public host::ClassDesc2 {
 public:
  void* Create(bool) override { return new HairWindObject(); }
  const char* ClassName() override;
  const char* NonLocalizedClassName() override { return "Crinel Wind"; }
  host::SClass_ID SuperClassID() override { return host::WSM_OBJECT_CLASS_ID; }
  host::Class_ID ClassID() override { return kHairWindClassID; }
  const char* Category() override;
  const char* InternalName() override { return "CrinelWind"; }
  const char* GetRsrcString(int id) override;
};

HairWindDesc* GetHairWindDesc();

}  // namespace crn
