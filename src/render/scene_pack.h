#pragma once
// The host side of a scene upload: the gathered scene as the path tracer's records, with the
// triangle and segment BVHs built and the records in BVH order, and the ray offset.
#include <vector>

#include "kernels/rt_records.h"
#include "render/bvh_build.h"
#include "render/scene_gather.h"

namespace crn {

struct PackedScene {
  BvhNodes triNodes, segNodes;
  std::vector<hrt::TriRec> tris;
  std::vector<hrt::SegRec, CacheLineAllocator<hrt::SegRec>> segs;
  std::vector<hrt::HairShadeParams> materials;  // never empty
  std::vector<hrt::LightRec> lights;
  V3 environment, background;
  float envIntensity = 1.0f;
  float epsilon = 2e-6f;
};

// What a triangle without colour or id gets.
constexpr V3 kDefaultTriangleColour{0.6f, 0.6f, 0.6f};
constexpr std::int32_t kDefaultObjectId = 1000;

void PackScene(const GatheredScene& scene, PackedScene& out);

// The scene record with the packed arrays' own (host) pointers, for the CPU twin.
hrt::DevScene HostSceneRecord(const PackedScene& p);

}  // namespace crn
