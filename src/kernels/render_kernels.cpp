#include "kernels/render_kernels.h"

#include <algorithm>

#include "kernels/denoise_pixel.h"
#include "kernels/gpu_runtime.h"
#include "kernels/path_trace.h"

namespace hrt {

std::uint64_t PassTileRange(std::size_t begin, std::size_t end, const DevScene& scene,
                            const Camera& cam, int width, int height, int pass,
                            const PassBuffers& buffers, const WideScene* wide) {
  const int tilesX = (width + kTileSize - 1) / kTileSize;
  const std::size_t pixels = std::size_t(width) * std::size_t(height);
  std::uint64_t rays = 0;
  for (std::size_t tile = begin; tile < end; ++tile) {
    const int x0 = int(tile % std::size_t(tilesX)) * kTileSize;
    const int y0 = int(tile / std::size_t(tilesX)) * kTileSize;
    const int x1 = std::min(x0 + kTileSize, width), y1 = std::min(y0 + kTileSize, height);
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) {
        const PixelSample s = TracePixel(scene, cam, x, y, width, height, pass, wide);
        rays += s.rays;
        AccumulateSample(s, std::size_t(y) * std::size_t(width) + std::size_t(x), pixels, pass,
                         buffers.beauty, buffers.normalDepth, buffers.albedoCoverage, buffers.layers);
      }
  }
  return rays;
}

void DenoisePrepRange(std::size_t begin, std::size_t end, const F4* beauty, const F4* normalDepth,
                      const F4* albedoCoverage, float invPasses, F4* colour, F4* guideNormalDepth,
                      F4* guideAlbedo) {
  for (std::size_t i = begin; i < end; ++i)
    DenoisePrepPixel(beauty[i], normalDepth[i], albedoCoverage[i], invPasses, colour[i],
                     guideNormalDepth[i], guideAlbedo[i]);
}

void DenoisePassRange(std::size_t begin, std::size_t end, int width, int height, int step,
                      const F4* in, const F4* guideNormalDepth, const F4* guideAlbedo, F4* out) {
  for (std::size_t i = begin; i < end; ++i)
    out[i] = DenoisePassPixel(int(i % std::size_t(width)), int(i / std::size_t(width)), width,
                              height, step, in, guideNormalDepth, guideAlbedo);
}

void DenoiseFinishRange(std::size_t begin, std::size_t end, F4* colour, const F4* guideAlbedo) {
  for (std::size_t i = begin; i < end; ++i) colour[i] = DenoiseFinishPixel(colour[i], guideAlbedo[i]);
}

#if !defined(CRINEL_WITH_CUDA)
// Without CUDA the launchers only report that there is no device.
bool PassOnGpu(const DevScene&, const Camera&, int, int, int, const PassBuffers&,
               unsigned long long*, std::string& error) {
  error = crn::gpu::kNoDeviceText;
  return false;
}
bool DenoisePrepOnGpu(int, int, const F4*, const F4*, const F4*, float, F4*, F4*, F4*,
                      std::string& error) {
  error = crn::gpu::kNoDeviceText;
  return false;
}
bool DenoisePassOnGpu(int, int, int, const F4*, const F4*, const F4*, F4*, std::string& error) {
  error = crn::gpu::kNoDeviceText;
  return false;
}
bool DenoiseFinishOnGpu(int, int, F4*, const F4*, std::string& error) {
  error = crn::gpu::kNoDeviceText;
  return false;
}
#endif

}  // namespace hrt
