#include "host/time.h"

#include <cmath>

namespace host {

namespace {
int g_ticksPerFrame = TICKS_PER_SECOND / 30;
}

int GetTicksPerFrame() { return g_ticksPerFrame; }
void SetTicksPerFrame(int ticks) { g_ticksPerFrame = ticks > 0 ? ticks : 1; }
int GetFrameRate() { return TICKS_PER_SECOND / g_ticksPerFrame; }

TimeValue FramesToTicks(double frames) {
  double t = std::round(frames * g_ticksPerFrame);
  t = std::clamp(t, double(TIME_NegInfinity) + 1, double(TIME_PosInfinity) - 1);
  return TimeValue(t);
}

double TicksToFrames(TimeValue t) { return double(t) / g_ticksPerFrame; }

}  // namespace host
