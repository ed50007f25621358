// The CPU twin of the simulation step for the x86-64 baseline: 4 guides per pack (SSE2).
#include "kernels/sim_step_lanes.h"

CRN_SIM_STEP_LANE_ENTRY_POINTS(Sse2)
