#pragma once
// The renderer class and its descriptor; built with the other descriptors but not listed in
// the module's class table. Rendering itself comes with the path tracer.
#include "host/class_desc.h"
#include "host/object.h"

namespace crn {

constexpr host::Class_ID kHairRendererClassID{0x92755AE3, 0xAAFAFCB8};

class HairRenderer : public host::Animatable {
 public:
  host::Class_ID ClassID() const override { return kHairRendererClassID; }
  host::SClass_ID SuperClassID() const override { return host::RENDERER_CLASS_ID; }
};

class HairRendDesc : public host::ClassDesc2 {
 public:
  void* Create(bool) override { return new HairRenderer(); }
  const char* ClassName() override;
  const char* NonLocalizedClassName() override;
  host::SClass_ID SuperClassID() override { return host::RENDERER_CLASS_ID; }
  host::Class_ID ClassID() override { return kHairRendererClassID; }
  const char* Category() override;
  const char* InternalName() override { return "CrinelRenderer"; }
  const char* GetRsrcString(int id) override;
};

HairRendDesc* GetHairRendDesc();

}  // namespace crn
