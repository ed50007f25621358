// Device side of the path-tracing pass and the denoiser; compiled with exact IEEE arithmetic
// (see CMakeLists.txt) like their CPU twins in render_kernels.cpp.
#include "kernels/denoise_pixel.h"
#include "kernels/gpu_runtime.h"
#include "kernels/path_trace.h"
#include "kernels/render_kernels.h"

namespace hrt {

namespace {

constexpr unsigned kBlockX = 16, kBlockY = 8;

dim3 GridFor(int width, int height) {
  return dim3((unsigned(width) + kBlockX - 1) / kBlockX, (unsigned(height) + kBlockY - 1) / kBlockY);
}

enum class Launch { kFail, kNothing, kGo };

// A launch needs a device; an image without pixels has nothing to launch (an empty grid is a
// launch error).
Launch Check(int width, int height, std::string& error) {
  if (crn::gpu::DeviceCount() <= 0) {
    error = crn::gpu::kNoDeviceText;
    return Launch::kFail;
  }
  return width > 0 && height > 0 ? Launch::kGo : Launch::kNothing;
}

}  // namespace

__global__ void kPass(DevScene scene, Camera cam, int width, int height, int pass, F4* beauty,
                      F4* normalDepth, F4* albedoCoverage, F4* layers,
                      unsigned long long* rayCount) {
  const int x = int(blockIdx.x * blockDim.x + threadIdx.x);
  const int y = int(blockIdx.y * blockDim.y + threadIdx.y);
  if (x >= width || y >= height) return;
  const PixelSample s = TracePixel(scene, cam, x, y, width, height, pass);
  AccumulateSample(s, std::size_t(y) * std::size_t(width) + std::size_t(x),
                   std::size_t(width) * std::size_t(height), pass, beauty, normalDepth,
                   albedoCoverage, layers);
  if (rayCount != nullptr) atomicAdd(rayCount, (unsigned long long)s.rays);
}

__global__ void DenoisePrep(int width, int height, const F4* beauty, const F4* normalDepth,
                            const F4* albedoCoverage, float invPasses, F4* colour,
                            F4* guideNormalDepth, F4* guideAlbedo) {
  const int x = int(blockIdx.x * blockDim.x + threadIdx.x);
  const int y = int(blockIdx.y * blockDim.y + threadIdx.y);
  if (x >= width || y >= height) return;
  const int i = y * width + x;
  DenoisePrepPixel(beauty[i], normalDepth[i], albedoCoverage[i], invPasses, colour[i],
                   guideNormalDepth[i], guideAlbedo[i]);
}

__global__ void DenoisePass(int width, int height, int step, const F4* in,
                            const F4* guideNormalDepth, const F4* guideAlbedo, F4* out) {
  const int x = int(blockIdx.x * blockDim.x + threadIdx.x);
  const int y = int(blockIdx.y * blockDim.y + threadIdx.y);
  if (x >= width || y >= height) return;
  out[y * width + x] = DenoisePassPixel(x, y, width, height, step, in, guideNormalDepth, guideAlbedo);
}

__global__ void DenoiseFinish(int width, int height, F4* colour, const F4* guideAlbedo) {
  const int x = int(blockIdx.x * blockDim.x + threadIdx.x);
  const int y = int(blockIdx.y * blockDim.y + threadIdx.y);
  if (x >= width || y >= height) return;
  const int i = y * width + x;
  colour[i] = DenoiseFinishPixel(colour[i], guideAlbedo[i]);
}

bool PassOnGpu(const DevScene& scene, const Camera& cam, int width, int height, int pass,
               const PassBuffers& b, unsigned long long* rayCount, std::string& error) {
  if (const Launch l = Check(width, height, error); l != Launch::kGo) return l == Launch::kNothing;
  // A pass keeps its traversal stack and shadow crossings in thread-local memory, close to the
  // runtime's default 1 KiB per thread: make room once, with a margin.
  static const bool stackSet = [] {
    std::size_t limit = 0;
    if (cudaDeviceGetLimit(&limit, cudaLimitStackSize) == cudaSuccess && limit < 4096)
      cudaDeviceSetLimit(cudaLimitStackSize, 4096);
    cudaGetLastError();
    return true;
  }();
  (void)stackSet;
  kPass<<<GridFor(width, height), dim3(kBlockX, kBlockY)>>>(scene, cam, width, height, pass,
                                                            b.beauty, b.normalDepth,
                                                            b.albedoCoverage, b.layers, rayCount);
  return crn::gpu::LaunchSucceeded(error);
}

bool DenoisePrepOnGpu(int width, int height, const F4* beauty, const F4* normalDepth,
                      const F4* albedoCoverage, float invPasses, F4* colour, F4* guideNormalDepth,
                      F4* guideAlbedo, std::string& error) {
  if (const Launch l = Check(width, height, error); l != Launch::kGo) return l == Launch::kNothing;
  DenoisePrep<<<GridFor(width, height), dim3(kBlockX, kBlockY)>>>(
      width, height, beauty, normalDepth, albedoCoverage, invPasses, colour, guideNormalDepth,
      guideAlbedo);
  return crn::gpu::LaunchSucceeded(error);
}

bool DenoisePassOnGpu(int width, int height, int step, const F4* in, const F4* guideNormalDepth,
                      const F4* guideAlbedo, F4* out, std::string& error) {
  if (const Launch l = Check(width, height, error); l != Launch::kGo) return l == Launch::kNothing;
  DenoisePass<<<GridFor(width, height), dim3(kBlockX, kBlockY)>>>(width, height, step, in,
                                                                   guideNormalDepth, guideAlbedo, out);
  return crn::gpu::LaunchSucceeded(error);
}

bool DenoiseFinishOnGpu(int width, int height, F4* colour, const F4* guideAlbedo, std::string& error) {
  if (const Launch l = Check(width, height, error); l != Launch::kGo) return l == Launch::kNothing;
  DenoiseFinish<<<GridFor(width, height), dim3(kBlockX, kBlockY)>>>(width, height, colour, guideAlbedo);
  return crn::gpu::LaunchSucceeded(error);
}

}  // namespace hrt
