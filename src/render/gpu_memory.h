#pragma once
// Free memory of the CUDA device, for budgets.
#include <cstdint>

namespace crn {

// Free bytes on CUDA device 0; 0 when the build has no CUDA or no device is present.
std::uint64_t FreeGpuMemory();

}  // namespace crn
