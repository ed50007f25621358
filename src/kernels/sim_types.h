#pragma once
// The records the simulation step shares between the host and the device: points, wind
// records, the collider grid and the per-frame parameters. Their layouts are fixed (the GPU
// buffers hold them byte for byte).
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "kernels/vec3.h"

namespace hsim {

// Three 32-bit floats: positions, velocities and accelerations of the simulation.
using F3 = crn::V3;
static_assert(sizeof(F3) == 12 && offsetof(F3, x) == 0 && offsetof(F3, y) == 4 &&
                  offsetof(F3, z) == 8,
              "F3 is three packed floats");

// One wind space warp at one time.
struct Wind {
  std::int32_t type = 0;   // 0 directional, 1 spherical (from a point), 2 vortex
  F3 pos;                  // wind object position (world)
  F3 dir;                  // unit direction: the wind object's local Z axis
  float strength = 0;      // acceleration at rest, world units / s^2
  float turbulence = 0;    // turbulence amount (0 = off)
  float turbScale = 1;     // spatial scale of the turbulence noise
  float turbSpeed = 0;     // drift of the noise field along dir
  float gustAmp = 0;       // gust amplitude (0 = off)
  float gustFreq = 0;      // Hz
  float range = 0;         // falloff radius (0 = infinite)
  float vortexPull = 0;    // vortex: pull towards the axis
  float time = 0;          // evaluation time in seconds (not read by the step)
  float seed = 0;          // noise phase offset
  std::int32_t octaves = 1;
  std::int32_t curl = 0;   // 1 = divergence-free turbulence
  float gustTravel = 0;    // speed of gusts along dir (0 = everywhere at once)
  float flutter = 0;       // tip flutter (0 = off)
  float coupling = 1;      // how strongly hair follows the air (>= 0.1)
  float shadow = 0;        // how much hair shelters hair behind it
};
static_assert(std::is_trivially_copyable_v<Wind> && sizeof(Wind) == 92, "Wind is 92 bytes");
static_assert(offsetof(Wind, pos) == 4 && offsetof(Wind, dir) == 16 &&
                  offsetof(Wind, strength) == 28 && offsetof(Wind, turbulence) == 32 &&
                  offsetof(Wind, turbScale) == 36 && offsetof(Wind, turbSpeed) == 40 &&
                  offsetof(Wind, gustAmp) == 44 && offsetof(Wind, gustFreq) == 48 &&
                  offsetof(Wind, range) == 52 && offsetof(Wind, vortexPull) == 56 &&
                  offsetof(Wind, time) == 60 && offsetof(Wind, seed) == 64 &&
                  offsetof(Wind, octaves) == 68 && offsetof(Wind, curl) == 72 &&
                  offsetof(Wind, gustTravel) == 76 && offsetof(Wind, flutter) == 80 &&
                  offsetof(Wind, coupling) == 84 && offsetof(Wind, shadow) == 88,
              "Wind field offsets");

// The collider acceleration grid. Cell (cx, cy, cz) has index (cz * ny + cy) * nx + cx and
// lists the triangles cellItems[cellStart[i]] ... cellItems[cellStart[i + 1] - 1]. A grid
// whose cellStart is null is empty.
struct Grid {
  F3 origin;
  float cell = 1;  // cell edge length
  std::int32_t nx = 0, ny = 0, nz = 0;
  std::int32_t unused = 0;
  const std::int32_t* cellStart = nullptr;  // cells + 1 prefix sums
  const std::int32_t* cellItems = nullptr;  // triangle indices
  const F3* triVerts = nullptr;             // three per triangle
  const F3* triNormals = nullptr;           // one unit normal per triangle
};
static_assert(std::is_trivially_copyable_v<Grid> && sizeof(Grid) == 64, "Grid is 64 bytes");
static_assert(offsetof(Grid, cell) == 12 && offsetof(Grid, nx) == 16 && offsetof(Grid, ny) == 20 &&
                  offsetof(Grid, nz) == 24 && offsetof(Grid, unused) == 28 &&
                  offsetof(Grid, cellStart) == 32 && offsetof(Grid, cellItems) == 40 &&
                  offsetof(Grid, triVerts) == 48 && offsetof(Grid, triNormals) == 56,
              "Grid field offsets");

// The solver settings of one frame.
struct Params {
  float dt = 0;                // frameTime / substeps
  std::int32_t substeps = 1;
  std::int32_t iterations = 1;
  float bendStiffness = 0;
  float shapePull = 0;
  float damping = 0;
  float drag = 0;
  float offset = 0;            // collision offset, world units
  float friction = 0;
  F3 gravity;
  std::int32_t collide = 0;
  std::int32_t windCount = 0;
  float time0 = 0;             // time of the previous frame, seconds
  float frameTime = 0;         // seconds per frame
};
static_assert(std::is_trivially_copyable_v<Params> && sizeof(Params) == 64, "Params is 64 bytes");
static_assert(offsetof(Params, substeps) == 4 && offsetof(Params, iterations) == 8 &&
                  offsetof(Params, bendStiffness) == 12 && offsetof(Params, shapePull) == 16 &&
                  offsetof(Params, damping) == 20 && offsetof(Params, drag) == 24 &&
                  offsetof(Params, offset) == 28 && offsetof(Params, friction) == 32 &&
                  offsetof(Params, gravity) == 36 && offsetof(Params, collide) == 48 &&
                  offsetof(Params, windCount) == 52 && offsetof(Params, time0) == 56 &&
                  offsetof(Params, frameTime) == 60,
              "Params field offsets");

// Points per guide the GPU step handles (its per-thread scratch).
constexpr int kMaxGpuPoints = 65;

}  // namespace hsim
