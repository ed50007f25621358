#pragma once
// Water: particles of the particle systems in `waterNodes` wet the guides they touch, lift
// and drag them with the current; wet hair is heavier, clumps and looks darker.
#include <vector>

#include "dynamics/cell_hash.h"
#include "host/time.h"

namespace host {
class Object;
class IParamBlock2;
}  // namespace host

namespace crn {

// The particles of one frame in world space, hashed by cells of the particle radius.
struct WaterGrid {
  std::vector<V3> positions, velocities;  // velocities in world units per second
  float radius = 1.f;                     // max(waterRadius, 1e-4): the cell size
  CellBuckets cells;
  bool Empty() const { return positions.empty(); }
};

// The particles of every water node with particle support, updated to t.
WaterGrid BuildWaterGrid(host::Object& hair, host::TimeValue t);
// Gathers particles into a grid (positions and velocities in world space).
void HashWater(WaterGrid& grid);

struct WaterSample {
  V3 velocity;
  float density = 0;  // min(total weight / 1.5, 1)
};
// The current at p: particles within the radius weighted by (1 - d^2/r^2)^2.
WaterSample SampleWater(const WaterGrid& grid, const V3& p);

// The water parameters of the hair object at t.
struct WaterSettings {
  float buoyancy = 1.2f, drag = 0.6f, wetSpeed = 0.6f, dryTime = 20.f;
};
WaterSettings ReadWaterSettings(const host::IParamBlock2& pb, host::TimeValue t);

// Per guide (on the worker pool): buoyancy and the pull of the current on points from index
// 2 on, then the guide's wetness soaks by the deepest contact (the root at half weight) or
// dries by frameTime / dryTime. wetness starts at zeros when it has no entry per guide.
void AddWaterForces(const WaterGrid& grid, const WaterSettings& ws, const std::vector<V3>& x,
                    const std::vector<V3>& v, int P, float frameTime, std::vector<V3>& E,
                    std::vector<float>& wetness);

}  // namespace crn
