#pragma once
// The hair object: a procedural object whose settings live in the block "params".
#include <cstdint>
#include <string>

#include "host/class_desc.h"
#include "host/simple_object.h"

namespace crn {

constexpr host::Class_ID kHairObjectClassID{0x9133A3AD, 0x4C7F704D};

class HairObject : public host::SimpleObject2 {
 public:
  HairObject();
  ~HairObject() override;

  host::Class_ID ClassID() const override { return kHairObjectClassID; }
  std::string GetObjectName() const override { return "Crinel"; }
  std::string GetClassName() const { return "Crinel"; }

  host::RefResult NotifyRefChanged(const host::Interval& changeInt, host::ReferenceTarget* hTarget,
                                   host::PartID& partID, host::RefMessage message,
                                   bool propagate) override;

  // Incremented by every change notification; caches compare against it.
  std::uint64_t ChangeCounter() const { return changeCounter_; }

 private:
  std::uint64_t changeCounter_ = 0;
};

// The class descriptor of the hair object.
class HairObjDesc : public host::ClassDesc2 {
 public:
  int IsPublic() override { return 1; }
  void* Create(bool loading) override;
  const char* ClassName() override;
  const char* NonLocalizedClassName() override { return "Crinel"; }
  host::SClass_ID SuperClassID() override { return host::GEOMOBJECT_CLASS_ID; }
  host::Class_ID ClassID() override { return kHairObjectClassID; }
  const char* Category() override;
  const char* InternalName() override { return "Crinel"; }
  const char* GetRsrcString(int id) override;
};

HairObjDesc* GetHairObjDesc();

}  // namespace crn
