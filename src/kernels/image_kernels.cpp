#include "kernels/image_kernels.h"

#include "kernels/image_pixel.h"

namespace hrt {

void AverageRange(std::size_t begin, std::size_t end, const F4* sums, F4* out) {
  for (std::size_t i = begin; i < end; ++i) out[i] = AveragePixel(sums[i]);
}

void ToBGRARange(std::size_t begin, std::size_t end, const F4* image, float exposure,
                 std::uint32_t* out) {
  for (std::size_t i = begin; i < end; ++i) out[i] = BGRAPixel(image[i], exposure);
}

#if !defined(CRINEL_WITH_CUDA)
// Without CUDA the launchers only report that there is no device.
bool AverageOnGpu(const crn::gpu::DeviceBuffer<F4>&, crn::gpu::DeviceBuffer<F4>&, std::size_t,
                  std::string& error) {
  error = crn::gpu::kNoDeviceText;
  return false;
}

bool ToBGRAOnGpu(const crn::gpu::DeviceBuffer<F4>&, float, crn::gpu::DeviceBuffer<std::uint32_t>&,
                 std::size_t, std::string& error) {
  error = crn::gpu::kNoDeviceText;
  return false;
}
#endif

}  // namespace hrt
