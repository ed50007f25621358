#include "kernels/gpu_runtime.h"

#if defined(CRINEL_WITH_CUDA)
#include <cuda_runtime_api.h>
#endif

namespace crn::gpu {

int DeviceCount() {
#if defined(CRINEL_WITH_CUDA)
  static const int count = [] {
    int devices = 0;
    if (cudaGetDeviceCount(&devices) != cudaSuccess) {
      cudaGetLastError();  // clear the sticky error of a missing driver
      devices = 0;
    }
    return devices;
  }();
  return count;
#else
  return 0;
#endif
}

std::uint64_t FreeDeviceMemory() {
#if defined(CRINEL_WITH_CUDA)
  if (DeviceCount() <= 0) return 0;
  std::size_t freeBytes = 0, totalBytes = 0;
  if (cudaMemGetInfo(&freeBytes, &totalBytes) != cudaSuccess) {
    cudaGetLastError();
    return 0;
  }
  return freeBytes;
#else
  return 0;
#endif
}

}  // namespace crn::gpu
