// What the hair object keeps of the simulation and the effects: simulated guide points and
// wetness handed over by the driver, and the per-build effect arrays.
#include "hair/hair_hooks.h"
#include "hair/hair_object.h"

namespace crn {

using namespace host;

void HairObject::ApplySimPositions(TimeValue t, std::vector<V3> positions) {
  std::lock_guard lock(evalLock_);
  simPositions_ = std::move(positions);
  simTime_ = t;
  hasSim_ = true;
  ++changeCounter_;
}

void HairObject::ApplySimWetness(TimeValue t, std::vector<float> wetness) {
  std::lock_guard lock(evalLock_);
  simWetness_ = std::move(wetness);
  simWetTime_ = t;
}

bool HairObject::HoldsSimPositions(TimeValue t) {
  std::lock_guard lock(evalLock_);
  return hasSim_ && simTime_ == t;
}

void HairObject::ClearSimPositions() {
  std::lock_guard lock(evalLock_);
  if (!hasSim_ && simWetness_.empty()) return;
  simPositions_.clear();
  simWetness_.clear();
  hasSim_ = false;
  ++changeCounter_;
}

void HairObject::EffectInputs(TimeValue t, const GuideSet& g, std::span<const float>& wetness,
                              std::vector<float>& burn, std::vector<float>& glow) {
  std::lock_guard lock(evalLock_);
  wetness = {};
  if (simWetTime_ == t && simWetness_.size() == g.VertexCount() && !simWetness_.empty())
    wetness = simWetness_;
  burn.clear();
  glow.clear();
  if (auto burnAt = GetHairHooks().burnAt; burnAt && !g.Empty()) burnAt(*this, t, g, burn, glow);
}

}  // namespace crn
