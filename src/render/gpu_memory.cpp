#include "render/gpu_memory.h"

#if defined(CRINEL_WITH_CUDA)
#include <cuda_runtime_api.h>
#endif

namespace crn {

std::uint64_t FreeGpuMemory() {
#if defined(CRINEL_WITH_CUDA)
  int devices = 0;
  if (cudaGetDeviceCount(&devices) != cudaSuccess || devices <= 0) {
    cudaGetLastError();  // clear the sticky error of a missing driver
    return 0;
  }
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

}  // namespace crn
