#pragma once
// The CUDA runtime as the rest of the system sees it. Builds without CUDA, and machines
// without a device, report no device and no memory.
#include <cstdint>

namespace crn::gpu {

// CUDA devices present; asked once per process, 0 without CUDA.
int DeviceCount();

// Free bytes on CUDA device 0; 0 when the build has no CUDA or no device is present.
std::uint64_t FreeDeviceMemory();

}  // namespace crn::gpu
