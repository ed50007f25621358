#include "groom/brush_state.h"

#include <atomic>

namespace crn {

namespace {
std::atomic<bool> g_brushActive{false};
}

bool BrushActive() { return g_brushActive.load(std::memory_order_relaxed); }
void SetBrushActive(bool on) { g_brushActive.store(on, std::memory_order_relaxed); }

}  // namespace crn
