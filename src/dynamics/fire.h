#pragma once
// Fire: the voxel fires of the fire plug-in burn the hair. A per-vertex burn value grows over
// the frames of the animation (strands shrink, char and disappear) and a per-vertex glow marks
// the burning front (embers). The burn and glow of every frame computed so far are kept per
// hair object under a key of the vertex count, the fire nodes and the burn sensitivity.
#include <cstdint>
#include <map>
#include <vector>

#include "dynamics/fire_bridge.h"
#include "dynamics/sim_registry.h"
#include "hair/gen_types.h"

namespace host {
class INode;
class Object;
}  // namespace host

namespace crn {

// The fire module's bridge when the module is already loaded in the process, exports the
// entry and reports a version above 0; otherwise null.
const PyrBridge* FireBridge();

// The fire nodes of the hair at t: the accepted nodes of `fireNodes`, or when none, every
// accepted node of the scene (roots first, children depth first). Empty without a bridge.
std::vector<host::INode*> FireNodes(host::Object& hair, host::TimeValue t);

// Per-vertex exposure at t: the brightest voxel at each vertex and half and one reach out
// along its normal, times fireBurn * 0.004. changed: some exposure is above 0.
struct FireExposureResult {
  bool changed = false;
  std::vector<float> exposure;
};
FireExposureResult FireExposure(const PyrBridge& bridge, const std::vector<host::INode*>& fires,
                                host::TimeValue t, const std::vector<V3>& vertices,
                                const std::vector<V3>& normals, float reach, float fireBurn);

// One frame of burning: B' = 1 - e^(-exposure) (1 - B) per vertex, glow = min(18 (B' - B), 1)
// while B' < 0.95, else 0. burn starts at zeros when it has no entry per vertex.
void AccumulateBurn(const std::vector<float>& exposure, std::vector<float>& burn,
                    std::vector<float>& glow);

// The burn and glow caches of one hair object.
struct BurnCache {
  std::map<int, std::vector<float>> burnFrames, glowFrames;
  std::uint64_t burnKey = 0;
};

// The cache key: vertex count, the fire nodes in order and fireBurn in thousandths.
std::uint64_t BurnKey(std::size_t vertexCount, const std::vector<host::INode*>& fires, float fireBurn);

// The per-vertex burn of the frame at t (empty when none) and its glow (empty unless it has
// one entry per vertex), computed from the first frame on and cached; guides supplies the
// surface when the surface cannot be evaluated at a frame. Runs under the hair's lock.
bool BurnAt(host::Object& hair, host::TimeValue t, const GuideSet& guides,
            std::vector<float>& burn, std::vector<float>& glow);

// The caches of an object (created on first use) and their removal.
BurnCache& BurnCacheOf(SimObjectId id);
void ClearBurn(SimObjectId id);

}  // namespace crn
