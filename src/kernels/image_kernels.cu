// Device side of the image output kernels; compiled with exact IEEE arithmetic (see
// CMakeLists.txt) so that the results match the CPU twins in image_kernels.cpp.
#include "kernels/image_kernels.h"
#include "kernels/image_pixel.h"

namespace hrt {

namespace {

constexpr unsigned kThreads = 256;

__device__ std::size_t PixelIndex() {
  return std::size_t(blockIdx.x) * blockDim.x + threadIdx.x;
}

unsigned BlocksFor(std::size_t pixels) { return unsigned((pixels + kThreads - 1) / kThreads); }

// Checks what a launch needs before it is queued: a device, and buffers that hold every pixel
// the kernel will touch.
bool Launchable(std::size_t pixels, std::size_t inCapacity, std::size_t outCapacity,
                std::string& error) {
  if (crn::gpu::DeviceCount() <= 0) {
    error = crn::gpu::kNoDeviceText;
    return false;
  }
  if (inCapacity < pixels || outCapacity < pixels) {
    error = "GPU image buffer is smaller than the image.";
    return false;
  }
  return true;
}

}  // namespace

__global__ void kAverage(const F4* __restrict__ sums, F4* __restrict__ out, std::size_t pixels) {
  const std::size_t i = PixelIndex();
  if (i < pixels) out[i] = AveragePixel(sums[i]);
}

__global__ void kToBGRA(const F4* __restrict__ image, float exposure, std::uint32_t* __restrict__ out,
                        std::size_t pixels) {
  const std::size_t i = PixelIndex();
  if (i < pixels) out[i] = BGRAPixel(image[i], exposure);
}

bool AverageOnGpu(const crn::gpu::DeviceBuffer<F4>& sums, crn::gpu::DeviceBuffer<F4>& out,
                  std::size_t pixels, std::string& error) {
  if (!Launchable(pixels, sums.Capacity(), out.Capacity(), error)) return false;
  if (pixels == 0) return true;  // an empty grid is a launch error
  kAverage<<<BlocksFor(pixels), kThreads>>>(sums.Data(), out.Data(), pixels);
  return crn::gpu::LaunchSucceeded(error);
}

bool ToBGRAOnGpu(const crn::gpu::DeviceBuffer<F4>& image, float exposure,
                 crn::gpu::DeviceBuffer<std::uint32_t>& out, std::size_t pixels, std::string& error) {
  if (!Launchable(pixels, image.Capacity(), out.Capacity(), error)) return false;
  if (pixels == 0) return true;
  kToBGRA<<<BlocksFor(pixels), kThreads>>>(image.Data(), exposure, out.Data(), pixels);
  return crn::gpu::LaunchSucceeded(error);
}

}  // namespace hrt
