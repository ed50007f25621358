#include "groom/brush_state.h"

#include <algorithm>
#include <atomic>
#include <cmath>

namespace crn {

namespace {
std::atomic<bool> g_brushActive{false};
}

bool BrushActive() { return g_brushActive.load(std::memory_order_relaxed); }
void SetBrushActive(bool on) { g_brushActive.store(on, std::memory_order_relaxed); }

BrushState& Brush() {
  static BrushState state;
  return state;
}

void SetBrushKind(int kind) { Brush().brushKind = std::clamp(kind, 0, 14); }

void SetBrushRadius(float radius) {
  Brush().brushRadius = std::isnan(radius) ? 2.f : std::max(radius, 2.f);
}

void SetBrushStrength(float strength) {
  Brush().brushStrength = std::isnan(strength) ? 0.f : std::clamp(strength, 0.f, 1.f);
}

}  // namespace crn
