// The CPU twin of the simulation step for processors with AVX2: 8 guides per pack. The build
// compiles this file alone with -mavx2; sim_step.cpp calls it only where the processor has
// AVX2. Its lanes compute exactly what the baseline's do.
#include "kernels/sim_step_lanes.h"

CRN_SIM_STEP_LANE_ENTRY_POINTS(Avx2)
