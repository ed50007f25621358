#pragma once
// The scene at a time as flat arrays for the path tracer: triangles of every renderable mesh,
// the strands of every hair object with its material, lights, and the background and
// environment colours. Shared by the final render and the live view.
#include <cstdint>
#include <vector>

#include "hair/gen_types.h"
#include "host/time.h"
#include "host/view.h"
#include "kernels/rt_records.h"

namespace crn {

struct HairInstance {
  StrandSet strands;
  hrt::HairShadeParams material;
};

struct GatheredScene {
  std::vector<V3> triPositions;  // three world-space corners per triangle
  std::vector<V3> triNormals;    // three per triangle
  std::vector<V3> triColours;    // one per triangle
  std::vector<std::int32_t> triObjectIds;  // one per triangle
  std::vector<HairInstance> hair;
  std::vector<hrt::LightRec> lights;
  V3 environment, background;
  float envIntensity = 1.0f;

  std::size_t TriangleCount() const { return triPositions.size() / 3; }
  std::size_t SegmentCount() const;
};

// Colours of the two default lights that light a scene without lights.
constexpr V3 kKeyLightColour{1.0f, 0.98f, 0.95f};
constexpr V3 kFillLightColour{0.35f, 0.38f, 0.45f};
// The darkest environment: the background lifted to at least this.
constexpr V3 kMinEnvironment{0.08f, 0.08f, 0.09f};

// Gathers the host scene at t as seen from view. live takes the hair objects' cached
// viewport strands instead of building render strands. Always succeeds.
bool Gather(host::TimeValue t, const host::View& view, bool live, GatheredScene& out);

// The key and fill lights for a view whose camera axes are right, up and back (world).
void AddDefaultLights(const V3& right, const V3& up, const V3& back, std::vector<hrt::LightRec>& lights);

}  // namespace crn
