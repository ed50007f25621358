#pragma once
// Class identities: a two-word class id and a super class id.
#include <cstdint>
#include <functional>

namespace host {

using ULONG = std::uint32_t;
using SClass_ID = std::uint32_t;

class Class_ID {
 public:
  constexpr Class_ID() = default;
  constexpr Class_ID(ULONG a, ULONG b) : a_(a), b_(b) {}
  constexpr ULONG PartA() const { return a_; }
  constexpr ULONG PartB() const { return b_; }
  constexpr bool operator==(const Class_ID&) const = default;
  constexpr bool operator<(const Class_ID& o) const { return a_ < o.a_ || (a_ == o.a_ && b_ < o.b_); }

 private:
  ULONG a_ = 0xFFFFFFFF, b_ = 0xFFFFFFFF;
};

// Super class ids used by this host.
constexpr SClass_ID GEOMOBJECT_CLASS_ID = 0x10;
constexpr SClass_ID CAMERA_CLASS_ID = 0x20;
constexpr SClass_ID LIGHT_CLASS_ID = 0x30;
constexpr SClass_ID SHAPE_CLASS_ID = 0x40;
constexpr SClass_ID HELPER_CLASS_ID = 0x70;
constexpr SClass_ID WSM_OBJECT_CLASS_ID = 0x830;
constexpr SClass_ID MATERIAL_CLASS_ID = 0xC00;
constexpr SClass_ID TEXMAP_CLASS_ID = 0xC10;
constexpr SClass_ID RENDERER_CLASS_ID = 0xF00;
constexpr SClass_ID PARAMETER_BLOCK2_CLASS_ID = 0x82;

// Built-in classes of the host.
constexpr Class_ID triObjectClassID{0x0009, 0};
constexpr Class_ID splineShapeClassID{0x0000000A, 0};
constexpr Class_ID dummyClassID{0x876234, 0};
constexpr Class_ID genCameraClassID{0x1001, 0};
constexpr Class_ID genLightClassID{0x1002, 0};
constexpr Class_ID stdMtlClassID{0x2, 0};
constexpr Class_ID multiMtlClassID{0x200, 0};

}  // namespace host
