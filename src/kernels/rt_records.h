#pragma once
// The records the path tracer reads: lights, triangles, hair segments, BVH nodes, the scene
// description every pass receives and the camera. Their layouts are binding (the host fills
// them and copies them to the device unchanged), hence the static_asserts.
#include <cstddef>
#include <cstdint>

#include "kernels/hair_model.h"
#include "kernels/vec3.h"

namespace hrt {

using crn::V3;

enum LightType : std::int32_t { kOmniLight = 0, kSpotLight = 1, kDirectionalLight = 2 };

struct LightRec {
  std::int32_t type;
  V3 position;   // world
  V3 direction;  // the light's -Z axis: its direction of travel
  V3 colour;     // colour x intensity
  float cosHotspot;  // cosine of half the hotspot angle
  float cosFalloff;  // cosine of half the falloff angle
  float radius;      // soft-shadow size; gathering writes 0
  std::int32_t castShadows;
};
static_assert(sizeof(LightRec) == 56);
static_assert(offsetof(LightRec, position) == 4);
static_assert(offsetof(LightRec, direction) == 16);
static_assert(offsetof(LightRec, colour) == 28);
static_assert(offsetof(LightRec, cosHotspot) == 40);
static_assert(offsetof(LightRec, cosFalloff) == 44);
static_assert(offsetof(LightRec, radius) == 48);
static_assert(offsetof(LightRec, castShadows) == 52);

struct TriRec {
  V3 p0, p1, p2;
  V3 n0, n1, n2;
  V3 colour;
  std::int32_t objectId;
};
static_assert(sizeof(TriRec) == 88);
static_assert(offsetof(TriRec, n0) == 36);
static_assert(offsetof(TriRec, colour) == 72);
static_assert(offsetof(TriRec, objectId) == 84);

struct SegRec {
  V3 p0;
  float r0;  // half the strand width at p0
  V3 p1;
  float r1;
  std::uint32_t rootColour;  // packed 0x..RRGGBB, display-encoded
  std::uint32_t tipColour;
  float v0, v1;  // position along the strand at p0 and p1
  std::int32_t material;  // index into the material array
  std::int32_t strand;    // strand index within its hair instance
  float wetness;
  std::int32_t pad[3];
};
static_assert(sizeof(SegRec) == 72);
static_assert(offsetof(SegRec, r0) == 12);
static_assert(offsetof(SegRec, p1) == 16);
static_assert(offsetof(SegRec, r1) == 28);
static_assert(offsetof(SegRec, rootColour) == 32);
static_assert(offsetof(SegRec, tipColour) == 36);
static_assert(offsetof(SegRec, v0) == 40);
static_assert(offsetof(SegRec, v1) == 44);
static_assert(offsetof(SegRec, material) == 48);
static_assert(offsetof(SegRec, strand) == 52);
static_assert(offsetof(SegRec, wetness) == 56);

// A leaf (count > 0) covers primitives first ... first + count - 1 of the reordered array; an
// inner node (count 0) has its children at first and first + 1.
struct BvhNode {
  V3 lo;
  std::int32_t first;
  V3 hi;
  std::int32_t count;
};
static_assert(sizeof(BvhNode) == 32);
static_assert(offsetof(BvhNode, first) == 12);
static_assert(offsetof(BvhNode, hi) == 16);
static_assert(offsetof(BvhNode, count) == 28);

// Everything a pass reads about the scene; the pointers are device pointers on the GPU and
// host pointers for the CPU twin. A null pointer with count 0 is an empty array.
struct DevScene {
  const BvhNode* segNodes;
  const SegRec* segs;
  std::uint64_t segNodeCount;
  const BvhNode* triNodes;
  const TriRec* tris;
  std::uint64_t triNodeCount;
  const HairShadeParams* materials;
  std::uint64_t materialCount;
  const LightRec* lights;
  std::int32_t lightCount;
  V3 environment;
  V3 background;
  float envIntensity;
  float epsilon;  // ray offset
  std::int32_t pad;
};
static_assert(sizeof(void*) == 8, "the scene record holds 64-bit pointers");
static_assert(sizeof(DevScene) == 112);
static_assert(offsetof(DevScene, segs) == 8);
static_assert(offsetof(DevScene, segNodeCount) == 16);
static_assert(offsetof(DevScene, triNodes) == 24);
static_assert(offsetof(DevScene, tris) == 32);
static_assert(offsetof(DevScene, triNodeCount) == 40);
static_assert(offsetof(DevScene, materials) == 48);
static_assert(offsetof(DevScene, materialCount) == 56);
static_assert(offsetof(DevScene, lights) == 64);
static_assert(offsetof(DevScene, lightCount) == 72);
static_assert(offsetof(DevScene, environment) == 76);
static_assert(offsetof(DevScene, background) == 88);
static_assert(offsetof(DevScene, envIntensity) == 100);
static_assert(offsetof(DevScene, epsilon) == 104);

struct Camera {
  V3 position;  // world
  V3 right;     // unit
  V3 up;        // unit
  V3 forward;   // unit, the camera's -Z axis
  float tanHalfFov;
  float orthoHalfWidth;  // 0 = perspective
};
static_assert(sizeof(Camera) == 56);
static_assert(offsetof(Camera, right) == 12);
static_assert(offsetof(Camera, up) == 24);
static_assert(offsetof(Camera, forward) == 36);
static_assert(offsetof(Camera, tanHalfFov) == 48);
static_assert(offsetof(Camera, orthoHalfWidth) == 52);

// The render passes (layers) of the pass buffer, each width x height pixels.
enum PassLayer : int {
  kLayerDiffuse = 0,
  kLayerSpecularR,
  kLayerTransmissionTT,
  kLayerSecondaryTRT,
  kLayerDirect,
  kLayerIndirect,
  kLayerShadow,
  kLayerEmission,
  kLayerAlbedo,
  kLayerNormalDepth,
  kLayerPositionId,
  kLayerTangentV,
  kLayerMasks,
  kLayerCount
};

}  // namespace hrt
