#pragma once
// What passes between the hair and the fire plug-in "Pyrelle.dlo": the bridge its exported
// function "PYR_GetBridge" returns, and one voxel frame of a fire node. Both layouts are fixed
// (64-bit).
#include <cstddef>
#include <cstdint>

#include "host/time.h"

namespace host {
class INode;
}

namespace crn {

// A voxel frame of one fire node, zeroed by the caller before GetFireFrame.
struct FireFrame {
  std::int32_t nx, ny, nz;   // voxel counts
  float voxel;               // voxel edge length, metres
  float origin[3];           // grid origin in grid space
  float gridToWorld[12];     // X axis, Y axis, Z axis, translation (metres)
  std::uint8_t unused0[12];
  const float* colours;      // 3 * nx * ny * nz, voxel (i, j, k) at (i * ny + j) * nz + k
  std::uint8_t unused1[32];
  void* handle;              // passed to ReleaseFireFrame
  std::uint8_t unused2[8];
};
static_assert(sizeof(FireFrame) == 144 && offsetof(FireFrame, voxel) == 12 &&
                  offsetof(FireFrame, origin) == 16 && offsetof(FireFrame, gridToWorld) == 28 &&
                  offsetof(FireFrame, colours) == 88 && offsetof(FireFrame, handle) == 128,
              "FireFrame layout");

struct PyrBridge {
  std::int32_t version;  // used only when > 0
  bool (*IsFireNode)(host::INode* node);
  bool (*GetFireFrame)(host::INode* node, host::TimeValue t, FireFrame* frame);
  void (*ReleaseFireFrame)(void* handle);  // may be null
};
static_assert(sizeof(PyrBridge) == 32 && offsetof(PyrBridge, IsFireNode) == 8 &&
                  offsetof(PyrBridge, GetFireFrame) == 16 &&
                  offsetof(PyrBridge, ReleaseFireFrame) == 24,
              "PyrBridge layout");

using PyrGetBridgeFn = const PyrBridge* (*)();

// The fire module's file name and bridge entry.
inline constexpr const char* kFireModuleName = "Pyrelle.dlo";
inline constexpr const char* kFireBridgeEntry = "PYR_GetBridge";

}  // namespace crn
